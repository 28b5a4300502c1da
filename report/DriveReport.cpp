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

// The steps of one analysis, filling in analysis as they go; throws AnalysisStopped.
void Run(Analysis& analysis, ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
         LocateMode mode, LoadStep load) {
    surface.SetForeColor(kBlack);
    LoadDiskData(file, data);
    if (load == LoadStep::WholeFirst) data.ReadEveryBlock();
    analysis.Loaded = true;

    surface.Cls();
    surface.SetCurrentX(100);
    surface.SetCurrentY(200);
    surface.Print({report_text::kSearching});

    analysis.Search = LocateSector(data, mode, [&surface] { PrintSwitchLines(surface); });
    const SectorLocation* const location = analysis.Location();
    std::string summaryLine;
    std::string driveLine;
    if (location != nullptr) {
        analysis.Slot = ReadDriveSlot(location->Sector);
        const DriveSpecs drive = DescribeDriveSlot(*analysis.Slot);
        summaryLine = FormatDiskSummaryLine(drive, location->FormatLabel());
        driveLine = FormatDriveLine(drive);
    }

    PrintHeadingBlock(surface, filename);

    if (location == nullptr) {
        surface.SetForeColor(kRed);
        surface.Print({report_text::kNotFound});
        analysis.Result = Outcome::NotFound;
        return;
    }
    analysis.Marker = HasNewdosMarker(*location);
    if (!*analysis.Marker) {
        surface.Print();
        surface.Print({report_text::kNotNewdos});
        analysis.Result = Outcome::NotNewdos;
        return;
    }
    surface.Print({summaryLine});
    surface.Print();
    surface.Print({driveLine});
    surface.Print();
    for (const std::string_view line : report_text::kLegend) surface.Print({line});
    analysis.Result = Outcome::DriveReport;
}

}  // namespace

Analysis ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                        LocateMode mode, LoadStep load) {
    Analysis analysis;
    try {
        Run(analysis, surface, file, filename, data, mode, load);
    } catch (const AnalysisStopped& stop) {
        AnalysisStopped::Reason reason = stop.WhyStopped();
        // A read past the image from a sector that starts at or past its end: the sector is not in the image at all.
        const SectorLocation* const location = analysis.Location();
        if (reason == AnalysisStopped::Reason::ReadOutsideImage && location != nullptr &&
            location->FileOffset >= data.FileLength()) {
            reason = AnalysisStopped::Reason::SectorBeyondImage;
        }
        analysis.Stop = reason;
        analysis.Result = OutcomeOfStop(reason);
    }
    return analysis;
}

}  // namespace tabulon
