#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tabulon {

// Bit cells in time order (a 1 is a flux transition), packed 64 to a word with
// the first in time in the least significant bit: the order in which HFE files
// keep them, so that eight file bytes read little-endian are a word of cells.
// Cells past the end read as 0.
class PackedCells {
public:
    static constexpr std::size_t kWordCells = 64;

    PackedCells() = default;
    // The words' bits past size must be 0.
    PackedCells(std::vector<std::uint64_t> words, std::size_t size) : words_(std::move(words)), size_(size) {}

    std::size_t Size() const noexcept { return size_; }
    std::size_t Words() const noexcept { return words_.size(); }
    const std::uint64_t* Data() const noexcept { return words_.data(); }

    // The index-th word of 64 cells.
    std::uint64_t WordAt(std::size_t index) const noexcept { return index < words_.size() ? words_[index] : 0; }
    // The 64 cells from cell n on, n lowest.
    std::uint64_t CellsFrom(std::size_t n) const noexcept {
        const std::size_t index = n / kWordCells;
        const auto shift = static_cast<unsigned>(n % kWordCells);
        const std::uint64_t low = WordAt(index);
        return shift == 0 ? low : (low >> shift) | (WordAt(index + 1) << (kWordCells - shift));
    }
    // 16 cells from n on, every stride-th (1 or 2), n lowest.
    std::uint16_t Cells16(std::size_t n, std::size_t stride) const noexcept;

    // The storage, for a container that fills it in place; Resize keeps the
    // rule that cells past size are 0 to whoever writes the words.
    std::vector<std::uint64_t>& Storage() noexcept { return words_; }
    void Resize(std::size_t size) noexcept { size_ = size; }

private:
    std::vector<std::uint64_t> words_;
    std::size_t size_ = 0;
};

// Bits 0, 2, ..., 62 of x, in order, as bits 0 to 31.
constexpr std::uint32_t EvenBits(std::uint64_t x) {
    x &= 0x5555555555555555u;
    x = (x | (x >> 1)) & 0x3333333333333333u;
    x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0Fu;
    x = (x | (x >> 4)) & 0x00FF00FF00FF00FFu;
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFu;
    x = (x | (x >> 16)) & 0x00000000FFFFFFFFu;
    return static_cast<std::uint32_t>(x);
}

inline std::uint16_t PackedCells::Cells16(std::size_t n, std::size_t stride) const noexcept {
    const std::uint64_t cells = CellsFrom(n);
    return static_cast<std::uint16_t>(stride == 1 ? cells : EvenBits(cells));
}

// 16 cells written the usual way, the first in time highest (0x4489), as a
// PackedCells holds them, the first lowest.
constexpr std::uint16_t InTimeOrder(std::uint16_t written) {
    unsigned out = 0;
    for (unsigned bit = 0; bit < 16; ++bit) out |= ((unsigned{written} >> bit) & 1u) << (15 - bit);
    return static_cast<std::uint16_t>(out);
}

// Packs cells as they come into a PackedCells.
class CellPacker {
public:
    static constexpr unsigned kWordCells = PackedCells::kWordCells;

    explicit CellPacker(std::size_t cells) { words_.reserve(cells / kWordCells + 1); }

    std::size_t Size() const noexcept { return words_.size() * kWordCells + pending_; }

    // Appends count cells (1 to 64): the low bits of cells, the first in time
    // lowest; the bits above them must be 0.
    void Append(std::uint64_t cells, unsigned count) {
        held_ |= cells << pending_;  // shifts by less than 64: pending_ stays below it
        if (pending_ + count < kWordCells) {
            pending_ += count;
            return;
        }
        words_.push_back(held_);
        const unsigned taken = kWordCells - pending_;  // cells that went into that word
        held_ = taken == kWordCells ? 0 : cells >> taken;
        pending_ = count - taken;
    }

    PackedCells Finish() &&;

private:
    std::vector<std::uint64_t> words_;  // full words
    std::uint64_t held_ = 0;            // the cells of a word begun
    unsigned pending_ = 0;              // how many
};

}  // namespace tabulon
