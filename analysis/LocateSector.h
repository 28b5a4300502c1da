#pragma once

#include "DiskData.h"
#include "Container.h"
#include "SectorLocation.h"

#include <functional>
#include <memory>
#include <optional>

namespace tabulon {

// How track 0, side 0, sector 2 is looked for.
enum class LocateMode {
    Auto,       // the container's structure when one is recognised, otherwise the byte scans
    Scan,       // the fixed DMK and JV byte scans (the window's way)
    Structure,  // the container's structure only
};

// What one search found: the sector (if any), how it was searched, and the
// container the image was opened as (none for the byte scans).
struct Located {
    std::optional<SectorLocation> Sector;
    LocateMethod Method = LocateMethod::Scan;
    std::shared_ptr<Container> Opened;
};

// Searches image for the sector at address (the byte scans know only track 0,
// side 0, sector 2) in the given mode. dmkGaveUp, when given, is called when the
// DMK byte scan gives up and the JV scan starts (the report writes its switch
// lines there); a search through the structure never calls it.
Located LocateSector(DiskData& image, LocateMode mode, const std::function<void()>& dmkGaveUp = {},
                     const SectorPosition& address = kSystemSector);

}  // namespace tabulon
