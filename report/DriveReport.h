#pragma once

#include "DiskData.h"
#include "ImageFile.h"
#include "ReportSurface.h"
#include "SectorLocation.h"
#include "SectorLocator.h"
#include "SlotDecoding.h"

#include <optional>
#include <string>

namespace tabulon {

enum class ReportOutcome {
    DriveReport,  // found, marker right: summary, drive line and legend
    NotNewdos,    // found, marker wrong
    NotFound,     // the sector was not found
};

// What one analysis learnt, filled in as it goes, so that a caller still has
// the earlier findings when the analysis stops part way.
struct AnalysisRecord {
    bool Loaded = false;
    bool Located = false;                    // the search has finished
    std::optional<SectorLocation> Location;  // where the sector was found
    std::optional<DriveSlot> Slot;           // the first PDRIVE slot, once decoded
    std::optional<bool> Marker;
    std::optional<ReportOutcome> Outcome;
};

// One whole analysis of the image open in file: loads it into data, locates the
// system sector with locator, decodes the first PDRIVE slot and writes the drive
// report on surface. A stop (no open file, a read error, a read past the image)
// throws AnalysisStopped and leaves on the surface what was drawn until then.
// The image stays open in data for the caller, who closes it when done.
void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record, SectorLocator& locator);

// The same with the byte scans, the window's way.
void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record);

}  // namespace tabulon
