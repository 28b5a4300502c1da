#include "PackedCells.h"

namespace tabulon {

PackedCells PackedCells::EveryOther(std::size_t phase) const {
    PackedCells half;
    half.size_ = phase == 0 ? (size_ + 1) / 2 : size_ / 2;
    const std::size_t words = (half.size_ + kWordCells - 1) / kWordCells;
    half.words_.reserve(words);
    // Within a word, cell j is bit 63 - j: phase 0 takes the odd bits, phase 1 the even.
    const unsigned align = phase == 0 ? 1 : 0;
    for (std::size_t n = 0; n < words; ++n) {
        const std::uint64_t first = EvenBits(WordAt(2 * n) >> align);
        const std::uint64_t second = EvenBits(WordAt(2 * n + 1) >> align);
        half.words_.push_back((first << 32) | second);
    }
    return half;
}

PackedCells CellPacker::Finish() && {
    const std::size_t size = Size();
    if (pending_ != 0) words_.push_back(held_ << (kWordCells - pending_));
    return {std::move(words_), size};
}

}  // namespace tabulon
