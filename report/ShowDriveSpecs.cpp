#include "ShowDriveSpecs.h"

#include "ReportLines.h"

namespace tabulon {

namespace {

void PrintHeadingBlock(ReportSurface& surface, const std::string& filename) {
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

void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record) {
    record = {};
    surface.SetForeColor(kBlack);
    LoadDiskData(file, data);
    record.Loaded = true;

    surface.Cls();
    surface.SetCurrentX(100);
    surface.SetCurrentY(200);
    surface.Print({report_text::kSearching});

    const SectorLocation location = LocateSystemSector(data, [&surface] { PrintSwitchLines(surface); });
    record.Location = location;
    std::string summaryLine;
    std::string driveLine;
    if (location.Found) {
        record.Specs = DecodeDriveSpecs(data, location.Base);
        summaryLine = FormatDiskSummaryLine(*record.Specs, location.FormatLabel);
        driveLine = FormatDriveLine(*record.Specs);
    }

    PrintHeadingBlock(surface, filename);

    if (!location.Found) {
        surface.SetForeColor(kRed);
        surface.Print({report_text::kNotFound});
        record.Outcome = ReportOutcome::NotFound;
        return;
    }
    record.Marker = HasNewdosMarker(data, location.Base);
    if (!*record.Marker) {
        surface.Print();
        surface.Print({report_text::kNotNewdos});
        record.Outcome = ReportOutcome::NotNewdos;
        return;
    }
    surface.Print({summaryLine});
    surface.Print();
    surface.Print({driveLine});
    surface.Print();
    for (const std::string_view line : report_text::kLegend) surface.Print({line});
    record.Outcome = ReportOutcome::DriveReport;
}

}  // namespace tabulon
