#include "ReportLines.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

DriveSpecs Example() {
    DriveSpecs drive;
    drive.InterfaceType = "A ";
    drive.DiskType = "A";
    drive.SidesDensity = "S/S S/D";
    drive.TrackCount = " 40";
    drive.SectorsPerTrack = " 10";
    drive.TrackStepRate = " 3";
    drive.GranulesPerLump = " 2";
    drive.DirectoryStartLump = " 17";
    drive.DirectoryGranules = " 2";
    return drive;
}

TEST(FormatDiskSummaryLine, MatchesTheReportToTheCharacter) {
    EXPECT_EQ(FormatDiskSummaryLine(Example(), "   DMK Format"),
              "                     40 Track  S/S S/D       DMK Format Disk");
    EXPECT_EQ(FormatDiskSummaryLine(Example(), "   JV  Format"),
              "                     40 Track  S/S S/D       JV  Format Disk");
}

TEST(FormatDiskSummaryLine, LengthFollowsTheTrackCountWithoutPadding) {
    DriveSpecs drive = Example();
    for (const auto& [trackCount, length] : {std::pair{" 0", 59u}, {" 40", 60u}, {" 255", 61u}}) {
        drive.TrackCount = trackCount;
        const std::string line = FormatDiskSummaryLine(drive, "   DMK Format");
        EXPECT_EQ(line.size(), length) << trackCount;
        EXPECT_EQ(line.substr(20, std::string(trackCount).size() + 8), std::string(trackCount) + " Track  ");
    }
}

TEST(FormatDriveLine, MatchesTheReportToTheCharacter) {
    EXPECT_EQ(FormatDriveLine(Example()),
              "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2");
}

TEST(FormatDriveLine, SuffixLetterLeavesTwoSpacesBeforeTd) {
    DriveSpecs drive = Example();
    drive.InterfaceType = "EL";
    drive.TrackCount = " 255";
    drive.DirectoryGranules = " 0";
    const std::string line = FormatDriveLine(drive);
    EXPECT_EQ(line, "  TI = EL  TD = A  TC = 255   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 0");
    EXPECT_EQ(line.size(), 61u + 4 + 3 + 2 + 2 + 3 + 2);
}

TEST(ReportText, LegendEqualsSignsStandInTheNinthColumn) {
    for (const std::string_view line : report_text::kLegend) {
        EXPECT_EQ(line.substr(0, 3), "   ");
        EXPECT_EQ(line[8], '=') << line;
    }
}

}  // namespace
}  // namespace tabulon
