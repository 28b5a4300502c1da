#include "DriveReport.h"

#include "ReportLines.h"

namespace tabulon {

namespace {

void PrintHeadingBlock(ReportSurface& surface, std::string_view filename) {
    surface.Print({report_text::kTitle});
    surface.Print({report_text::kCredit});
    surface.Print({report_text::kSlot});
    surface.Print();
    surface.Print();
    surface.Print({report_text::kFilenameIndent, filename});
    surface.Print();
    surface.Print();
}

void PrintSwitchLines(ReportSurface& surface) {
    surface.Print();
    surface.Print({report_text::kDmkNotFound});
    surface.Print();
}

}  // namespace

void DrawDriveReport(ReportSurface& surface, const Analysis& analysis, std::string_view filename) {
    surface.SetForeColor(kBlack);
    if (!analysis.Loaded) return;

    surface.Cls();
    surface.SetCurrentX(100);
    surface.SetCurrentY(200);
    surface.Print({report_text::kSearching});
    if (analysis.DmkGaveUp) PrintSwitchLines(surface);
    if (!analysis.Search) return;

    // The slot is decoded before the heading block: a sector too short for it ends the report here.
    const SectorLocation* const location = analysis.Location();
    if (location != nullptr && !analysis.Slot) return;
    PrintHeadingBlock(surface, filename);

    if (location == nullptr) {
        surface.SetForeColor(kRed);
        surface.Print({report_text::kNotFound});
        return;
    }
    if (!analysis.Marker) return;
    if (!*analysis.Marker) {
        surface.Print();
        surface.Print({report_text::kNotNewdos});
        return;
    }
    const DriveSpecs drive = DescribeDriveSlot(*analysis.Slot);
    surface.Print({FormatDiskSummaryLine(drive, location->FormatLabel())});
    surface.Print();
    surface.Print({FormatDriveLine(drive)});
    surface.Print();
    for (const std::string_view line : report_text::kLegend) surface.Print({line});
}

}  // namespace tabulon
