#include "DriveReport.h"

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
                    AnalysisRecord& record, SectorLocator& locator) {
    record = {};
    surface.SetForeColor(kBlack);
    LoadDiskData(file, data);
    record.Loaded = true;

    surface.Cls();
    surface.SetCurrentX(100);
    surface.SetCurrentY(200);
    surface.Print({report_text::kSearching});

    record.Location = locator.Locate(data, [&surface] { PrintSwitchLines(surface); });
    record.Located = true;
    std::string summaryLine;
    std::string driveLine;
    if (record.Location) {
        record.Slot = ReadDriveSlot(record.Location->Sector);
        const DriveSpecs drive = DescribeDriveSlot(*record.Slot);
        summaryLine = FormatDiskSummaryLine(drive, record.Location->FormatLabel());
        driveLine = FormatDriveLine(drive);
    }

    PrintHeadingBlock(surface, filename);

    if (!record.Location) {
        surface.SetForeColor(kRed);
        surface.Print({report_text::kNotFound});
        record.Outcome = ReportOutcome::NotFound;
        return;
    }
    record.Marker = HasNewdosMarker(*record.Location);
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

void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record) {
    ScanLocator scans;
    ShowDriveSpecs(surface, file, filename, data, record, scans);
}

}  // namespace tabulon
