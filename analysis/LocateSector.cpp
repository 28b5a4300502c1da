#include "LocateSector.h"

namespace tabulon {

Located LocateSector(const DiskData& image, LocateMode mode, const std::function<void()>& dmkGaveUp) {
    if (mode != LocateMode::Scan) {
        Located found{std::nullopt, LocateMethod::Structure, IdentifyContainer(image)};
        if (found.Container) {
            found.Sector = LocateInContainer(image, *found.Container);
            return found;
        }
        if (mode == LocateMode::Structure) return found;
    }
    return {LocateSystemSector(image, dmkGaveUp), LocateMethod::Scan, std::nullopt};
}

}  // namespace tabulon
