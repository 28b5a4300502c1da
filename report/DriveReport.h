#pragma once

#include "Analysis.h"
#include "DiskData.h"
#include "ImageFile.h"
#include "LocateSector.h"
#include "ReportSurface.h"

#include <string>

namespace tabulon {

// How the load step takes the image.
enum class LoadStep {
    OnDemand,    // read as the analysis asks for it (the command line)
    WholeFirst,  // read to its end before anything is drawn, so a read error leaves the surface as it was (the window)
};

// One whole analysis of the image open in file: loads it into data, locates the
// system sector (mode), decodes the first PDRIVE slot and writes the drive
// report on surface. A stop (no open file, a read error, a read past the image)
// ends it quietly: what was drawn until then stays, and the returned Analysis
// says why. The image stays open in data for the caller, who closes it when done.
Analysis ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& filename, DiskData& data,
                        LocateMode mode, LoadStep load = LoadStep::OnDemand);

}  // namespace tabulon
