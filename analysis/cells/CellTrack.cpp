#include "CellTrack.h"

namespace tabulon {

const PackedCells& CellTrack::EveryNth(std::size_t stride, std::size_t phase) {
    if (stride == 1) return cells_;
    std::optional<PackedCells>& half = halves_.at(phase);
    if (!half) half = cells_.EveryOther(phase);
    return *half;
}

}  // namespace tabulon
