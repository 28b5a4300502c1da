#include "ReportLines.h"

namespace tabulon {

namespace {

std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string line;
    for (const std::string_view piece : pieces) line += piece;
    return line;
}

}  // namespace

std::string FormatDiskSummaryLine(const DriveSpecs& specs, std::string_view formatLabel) {
    return Join({"                    ", specs.TrackCount, " Track  ", specs.SidesDensity, "    ", formatLabel,
                 " Disk"});
}

std::string FormatDriveLine(const DriveSpecs& specs) {
    return Join({"  TI = ", specs.InterfaceType, "  TD = ", specs.DiskType, "  TC =", specs.TrackCount,
                 "   SPT =", specs.SectorsPerTrack, "  TSR =", specs.TrackStepRate, "  GPL =",
                 specs.GranulesPerLump, "  DDSL =", specs.DirectoryStartLump, "  DDGA =",
                 specs.DirectoryGranules});
}

}  // namespace tabulon
