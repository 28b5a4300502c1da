#pragma once

#include "PackedCells.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tabulon {

enum class Coding { Mfm, Fm };

// One way of reading a track's cells: every stride-th cell from phase is one
// cell of the recording (stride 2 reads a recording written with doubled cells).
struct Decoding {
    Coding Code;
    std::size_t Stride;
    std::size_t Phase;
};

// MFM as recorded, FM at its own rate, FM with doubled cells in either phase:
// the order in which a track's recordings are tried.
inline constexpr std::array<Decoding, 4> kDecodings = {
    {{Coding::Mfm, 1, 0}, {Coding::Fm, 1, 0}, {Coding::Fm, 2, 0}, {Coding::Fm, 2, 1}}};

// The cells of one side of one track, and every other cell of them in either
// phase, made on first use.
class CellTrack {
public:
    explicit CellTrack(PackedCells cells) : cells_(std::move(cells)) {}

    const PackedCells& Cells() const noexcept { return cells_; }
    // Every cell (stride 1), or every other cell from phase 0 or 1 (stride 2).
    const PackedCells& EveryNth(std::size_t stride, std::size_t phase);

private:
    PackedCells cells_;
    std::array<std::optional<PackedCells>, 2> halves_;
};

inline constexpr std::size_t kCellsPerByte = 16;  // a clock cell and a data cell per bit

// The data bits of 16 cells (clock and data alternate, data second).
constexpr std::uint8_t DataBits(std::uint16_t word) { return static_cast<std::uint8_t>(EvenBits(word)); }

// A track's cells as one decoding reads them, and the bytes they hold.
class CellView {
public:
    CellView(CellTrack& track, const Decoding& decoding)
        : cells_(&track.EveryNth(decoding.Stride, decoding.Phase)), decoding_(decoding) {}

    const PackedCells& Cells() const noexcept { return *cells_; }
    std::size_t Size() const noexcept { return cells_->Size(); }
    Coding Code() const noexcept { return decoding_.Code; }
    bool DoubleDensity() const noexcept { return decoding_.Code == Coding::Mfm; }
    // The track's cell that this view's cell n is.
    std::size_t TrackCell(std::size_t n) const noexcept { return decoding_.Phase + n * decoding_.Stride; }

    // The 16 cells from n as a word, the first in time highest.
    std::uint16_t Word(std::size_t n) const noexcept { return cells_->Word16(n); }
    // The byte whose 16 cells start at n.
    std::uint8_t Byte(std::size_t n) const noexcept { return DataBits(Word(n)); }
    bool HasBytes(std::size_t n, std::size_t count) const noexcept { return n + count * kCellsPerByte <= Size(); }

private:
    const PackedCells* cells_;
    Decoding decoding_;
};

}  // namespace tabulon
