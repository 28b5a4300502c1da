#pragma once

#include "DiskData.h"
#include "SectorLocation.h"

#include <functional>
#include <optional>

namespace tabulon {

// A way of finding track 0, side 0, sector 2 in an image. dmkGaveUp is called
// when the DMK byte scan gives up and the JV scan starts (the report writes its
// switch lines there); a locator that never scans never calls it.
class SectorLocator {
public:
    virtual ~SectorLocator() = default;
    virtual std::optional<SectorLocation> Locate(const DiskData& image, const std::function<void()>& dmkGaveUp) = 0;
};

// The fixed DMK and JV byte scans: the window's way, and the default.
class ScanLocator final : public SectorLocator {
public:
    std::optional<SectorLocation> Locate(const DiskData& image, const std::function<void()>& dmkGaveUp) override {
        return LocateSystemSector(image, dmkGaveUp);
    }
};

}  // namespace tabulon
