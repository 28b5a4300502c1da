#pragma once

#include "ImageContainer.h"
#include "SectorLocator.h"

#include <optional>

namespace tabulon::cli {

// How tabulon-report finds track 0, side 0, sector 2.
enum class LocateMode {
    Auto,       // the container's structure when one is recognised, otherwise the byte scans
    Scan,       // the fixed DMK and JV byte scans (the window's way)
    Structure,  // the container's structure only
};

// Finds the sector through the container's own structure, and keeps what
// identifying the container learned for the rest of the command.
class StructureLocator final : public SectorLocator {
public:
    explicit StructureLocator(LocateMode mode) : mode_(mode) {}

    std::optional<SectorLocation> Locate(const DiskData& image, const std::function<void()>& dmkGaveUp) override;

    const std::optional<ContainerHeader>& Container() const { return container_; }
    // How the last image was searched: through its container's structure, or by the byte scans.
    LocateMethod Method() const { return method_; }

private:
    LocateMode mode_;
    std::optional<ContainerHeader> container_;
    LocateMethod method_ = LocateMethod::Scan;
};

}  // namespace tabulon::cli
