#include "StructureLocator.h"

namespace tabulon::cli {

std::optional<SectorLocation> StructureLocator::Locate(const DiskData& image, const std::function<void()>& dmkGaveUp) {
    container_.reset();
    method_ = mode_ == LocateMode::Scan ? LocateMethod::Scan : LocateMethod::Structure;
    if (mode_ != LocateMode::Scan) {
        container_ = IdentifyContainer(image);
        if (container_) return LocateInContainer(image, *container_);
        if (mode_ == LocateMode::Structure) return std::nullopt;
    }
    method_ = LocateMethod::Scan;
    return LocateSystemSector(image, dmkGaveUp);
}

}  // namespace tabulon::cli
