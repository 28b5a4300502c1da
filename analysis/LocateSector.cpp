#include "LocateSector.h"

#include "ContainerList.h"

namespace tabulon {

Located LocateSector(DiskData& image, LocateMode mode, const std::function<void()>& dmkGaveUp,
                     const SectorPosition& address) {
    if (mode != LocateMode::Scan) {
        Located found{std::nullopt, LocateMethod::Structure, OpenContainer(image)};
        if (found.Opened) {
            found.Sector = found.Opened->FindSector(image, address);
            return found;
        }
        if (mode == LocateMode::Structure) return found;
    }
    return {LocateSystemSector(image, dmkGaveUp), LocateMethod::Scan, nullptr};
}

}  // namespace tabulon
