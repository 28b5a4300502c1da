#include "PackedCells.h"

namespace tabulon {

PackedCells CellPacker::Finish() && {
    const std::size_t size = Size();
    if (pending_ != 0) words_.push_back(held_);
    return {std::move(words_), size};
}

}  // namespace tabulon
