#include "ReportLines.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

DriveSpecs Example() {
    DriveSpecs specs;
    specs.InterfaceType = "A ";
    specs.DiskType = "A";
    specs.SidesDensity = "S/S S/D";
    specs.TrackCount = " 40";
    specs.SectorsPerTrack = " 10";
    specs.TrackStepRate = " 3";
    specs.GranulesPerLump = " 2";
    specs.DirectoryStartLump = " 17";
    specs.DirectoryGranules = " 2";
    return specs;
}

TEST(FormatDiskSummaryLine, MatchesTheReportToTheCharacter) {
    EXPECT_EQ(FormatDiskSummaryLine(Example(), "   DMK Format"),
              "                     40 Track  S/S S/D       DMK Format Disk");
    EXPECT_EQ(FormatDiskSummaryLine(Example(), "   JV  Format"),
              "                     40 Track  S/S S/D       JV  Format Disk");
}

TEST(FormatDiskSummaryLine, LengthFollowsTheTrackCountWithoutPadding) {
    DriveSpecs specs = Example();
    for (const auto& [trackCount, length] : {std::pair{" 0", 59u}, {" 40", 60u}, {" 255", 61u}}) {
        specs.TrackCount = trackCount;
        const std::string line = FormatDiskSummaryLine(specs, "   DMK Format");
        EXPECT_EQ(line.size(), length) << trackCount;
        EXPECT_EQ(line.substr(20, std::string(trackCount).size() + 8), std::string(trackCount) + " Track  ");
    }
}

TEST(FormatDriveLine, MatchesTheReportToTheCharacter) {
    EXPECT_EQ(FormatDriveLine(Example()),
              "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2");
}

TEST(FormatDriveLine, SuffixLetterLeavesTwoSpacesBeforeTd) {
    DriveSpecs specs = Example();
    specs.InterfaceType = "EL";
    specs.TrackCount = " 255";
    specs.DirectoryGranules = " 0";
    const std::string line = FormatDriveLine(specs);
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
