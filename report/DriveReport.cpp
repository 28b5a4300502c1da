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

SectorLocation Locate(ReportSurface& surface, const DiskData& data, const AnalysisOptions& options,
                      AnalysisRecord& record) {
    if (options.Locate == LocateMode::Scan) {
        return LocateSystemSector(data, [&surface] { PrintSwitchLines(surface); });
    }
    record.Structure = LocateByStructure(data);
    if (!record.Structure) return {};
    return {true, static_cast<std::int32_t>(record.Structure->Offset), record.Structure->FormatLabel};
}

}  // namespace

SystemSectorBytes SystemSectorOf(const AnalysisRecord& record, const DiskData& image) {
    if (record.Structure) return {&record.Structure->Sector, 0};
    return {&image, record.Location ? record.Location->Base : 0};
}

void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record, const AnalysisOptions& options) {
    record = {};
    surface.SetForeColor(kBlack);
    LoadDiskData(file, data);
    record.Loaded = true;

    surface.Cls();
    surface.SetCurrentX(100);
    surface.SetCurrentY(200);
    surface.Print({report_text::kSearching});

    const SectorLocation location = Locate(surface, data, options, record);
    record.Location = location;
    const SystemSectorBytes sector = SystemSectorOf(record, data);
    std::string summaryLine;
    std::string driveLine;
    if (location.Found) {
        record.Drive = DecodeDriveSpecs(*sector.Data, sector.Base);
        summaryLine = FormatDiskSummaryLine(*record.Drive, location.FormatLabel);
        driveLine = FormatDriveLine(*record.Drive);
    }

    PrintHeadingBlock(surface, filename);

    if (!location.Found) {
        surface.SetForeColor(kRed);
        surface.Print({report_text::kNotFound});
        record.Outcome = ReportOutcome::NotFound;
        return;
    }
    record.Marker = HasNewdosMarker(*sector.Data, sector.Base);
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
