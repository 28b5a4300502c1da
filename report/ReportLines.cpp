#include "ReportLines.h"

namespace tabulon {

namespace {

std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string line;
    for (const std::string_view piece : pieces) line += piece;
    return line;
}

}  // namespace

std::string FormatDiskSummaryLine(const DriveSpecs& drive, std::string_view formatLabel) {
    return Join(
        {"                    ", drive.TrackCount, " Track  ", drive.SidesDensity, "    ", formatLabel, " Disk"});
}

std::string FormatDriveLine(const DriveSpecs& drive) {
    return Join({"  TI = ", drive.InterfaceType, "  TD = ", drive.DiskType, "  TC =", drive.TrackCount,
                 "   SPT =", drive.SectorsPerTrack, "  TSR =", drive.TrackStepRate, "  GPL =", drive.GranulesPerLump,
                 "  DDSL =", drive.DirectoryStartLump, "  DDGA =", drive.DirectoryGranules});
}

}  // namespace tabulon
