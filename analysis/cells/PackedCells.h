#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tabulon {

// Bit cells in time order (a 1 is a flux transition), packed 64 to a word with
// the first in time in the most significant bit. Cells past the end read as 0.
class PackedCells {
public:
    static constexpr std::size_t kWordCells = 64;

    PackedCells() = default;
    PackedCells(std::vector<std::uint64_t> words, std::size_t size) : words_(std::move(words)), size_(size) {}

    std::size_t Size() const noexcept { return size_; }
    std::size_t Words() const noexcept { return words_.size(); }

    // The index-th word of 64 cells.
    std::uint64_t WordAt(std::size_t index) const noexcept { return index < words_.size() ? words_[index] : 0; }
    // The 64 cells from cell n on, n highest.
    std::uint64_t CellsFrom(std::size_t n) const noexcept {
        const std::size_t index = n / kWordCells;
        const auto shift = static_cast<unsigned>(n % kWordCells);
        const std::uint64_t high = WordAt(index);
        return shift == 0 ? high : (high << shift) | (WordAt(index + 1) >> (kWordCells - shift));
    }
    // The 16 cells from n on as a word, n highest.
    std::uint16_t Word16(std::size_t n) const noexcept { return static_cast<std::uint16_t>(CellsFrom(n) >> 48); }

    // Every other cell, from cell phase (0 or 1) on: the cells of a recording
    // written with doubled cells.
    PackedCells EveryOther(std::size_t phase) const;

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

// Packs cells as they come into a PackedCells.
class CellPacker {
public:
    static constexpr unsigned kWordCells = PackedCells::kWordCells;

    explicit CellPacker(std::size_t cells) { words_.reserve(cells / kWordCells + 1); }

    std::size_t Size() const noexcept { return words_.size() * kWordCells + pending_; }

    // Appends count cells (1 to 64), the low bits of cells with the first in
    // time highest; the bits above them must be 0.
    void Append(std::uint64_t cells, unsigned count) {
        if (pending_ + count < kWordCells) {
            held_ = (held_ << count) | cells;
            pending_ += count;
            return;
        }
        const unsigned rest = pending_ + count - kWordCells;  // cells left over for the next word
        words_.push_back(pending_ == 0 ? cells : (held_ << (kWordCells - pending_)) | (cells >> rest));
        held_ = cells & ((std::uint64_t{1} << rest) - 1);
        pending_ = rest;
    }

    PackedCells Finish() &&;

private:
    std::vector<std::uint64_t> words_;  // full words
    std::uint64_t held_ = 0;            // the cells of a word begun, the last in time lowest
    unsigned pending_ = 0;              // how many
};

}  // namespace tabulon
