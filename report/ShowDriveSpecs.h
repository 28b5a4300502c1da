#pragma once

#include "DiskData.h"
#include "DriveSpecs.h"
#include "ImageFile.h"
#include "ReportSurface.h"
#include "SectorLocation.h"

#include <optional>
#include <string>

namespace tabulon {

enum class ReportOutcome {
    DriveReport,  // found, marker right: summary, drive line and legend
    NotNewdos,    // found, marker wrong
    NotFound,     // neither scan found the sector
};

// What one analysis learnt, filled in as it goes, so that a caller still has
// the earlier findings when the analysis stops part way.
struct AnalysisRecord {
    bool Loaded = false;
    std::optional<SectorLocation> Location;
    std::optional<DriveSpecs> Specs;
    std::optional<bool> Marker;
    std::optional<ReportOutcome> Outcome;
};

// One whole analysis of the image open in file: loads it into data, locates the
// system sector, decodes the first PDRIVE slot and writes the drive report on
// surface. A stop (no open file, a read error, a read past the image) throws
// AnalysisStopped and leaves on the surface what was drawn until then.
void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record);

}  // namespace tabulon
