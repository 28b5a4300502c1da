#pragma once

#include "DiskData.h"
#include "SlotDecoding.h"
#include "ImageFile.h"
#include "ReportSurface.h"
#include "SectorLocation.h"
#include "StructureLocation.h"

#include <optional>
#include <string>

namespace tabulon {

enum class ReportOutcome {
    DriveReport,  // found, marker right: summary, drive line and legend
    NotNewdos,    // found, marker wrong
    NotFound,     // neither scan found the sector
};

enum class LocateMode {
    Scan,       // the fixed DMK and JV byte scans (the window's way)
    Structure,  // the layout's own structure: DMK track tables, JV3 entries, JV1 offsets
};

struct AnalysisOptions {
    LocateMode Locate = LocateMode::Scan;
};

// What one analysis learnt, filled in as it goes, so that a caller still has
// the earlier findings when the analysis stops part way.
struct AnalysisRecord {
    bool Loaded = false;
    std::optional<SectorLocation> Location;
    std::optional<StructureLocation> Structure;  // structure mode, when the sector was found
    std::optional<DriveSpecs> Drive;
    std::optional<bool> Marker;
    std::optional<ReportOutcome> Outcome;
};

// One whole analysis of the image open in file: loads it into data, locates the
// system sector, decodes the first PDRIVE slot and writes the drive report on
// surface. A stop (no open file, a read error, a read past the image) throws
// AnalysisStopped and leaves on the surface what was drawn until then.
void ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                    AnalysisRecord& record, const AnalysisOptions& options = {});

// Where the found sector's bytes are: the image at Base after a scan, or the
// sector's own bytes from 0 after a structure walk.
struct SystemSectorBytes {
    const DiskData* Data;
    std::int64_t Base;
};
SystemSectorBytes SystemSectorOf(const AnalysisRecord& record, const DiskData& image);

}  // namespace tabulon
