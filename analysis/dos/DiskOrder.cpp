#include "DiskOrder.h"

namespace tabulon {

int CylinderLength(DiskSectors& disk, int cylinder) {
    if (cylinder < 0 || cylinder > kMostCylinders) return 0;
    return static_cast<int>(disk.Numbers({cylinder, 0}).size() + disk.Numbers({cylinder, 1}).size());
}

std::optional<SectorPosition> SectorAt(DiskSectors& disk, OrderPlace place) {
    if (place.Cylinder < 0 || place.Cylinder > kMostCylinders || place.Index < 0) return std::nullopt;
    const std::vector<int>& side0 = disk.Numbers({place.Cylinder, 0});
    const auto index = static_cast<std::size_t>(place.Index);
    if (index < side0.size()) return SectorPosition{place.Cylinder, 0, side0[index]};
    const std::vector<int>& side1 = disk.Numbers({place.Cylinder, 1});
    if (index - side0.size() < side1.size()) return SectorPosition{place.Cylinder, 1, side1[index - side0.size()]};
    return std::nullopt;
}

std::optional<OrderPlace> Step(DiskSectors& disk, OrderPlace place, int steps) {
    int index = place.Index + steps;
    int cylinder = place.Cylinder;
    while (index < 0) {
        if (--cylinder < 0) return std::nullopt;
        const int length = CylinderLength(disk, cylinder);
        if (length == 0) return std::nullopt;
        index += length;
    }
    for (int length = CylinderLength(disk, cylinder); index >= length; length = CylinderLength(disk, cylinder)) {
        if (length == 0 || ++cylinder > kMostCylinders) return std::nullopt;
        index -= length;
    }
    return OrderPlace{cylinder, index};
}

const ReadSector* ReadAt(DiskSectors& disk, OrderPlace place, int steps) {
    const auto moved = Step(disk, place, steps);
    if (!moved) return nullptr;
    const auto at = SectorAt(disk, *moved);
    return at ? disk.Read(*at) : nullptr;
}

}  // namespace tabulon
