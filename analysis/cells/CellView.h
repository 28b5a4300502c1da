#pragma once

#include "DecodedSector.h"
#include "PackedCells.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tabulon {

// One way of reading a track's cells: every stride-th cell from phase is one
// cell of the recording (stride 2 reads a recording written with doubled cells).
struct Decoding {
    Encoding Code;
    std::size_t Stride;
    std::size_t Phase;
};

// MFM as recorded, FM at its own rate, FM with doubled cells in either phase:
// the order in which a track's recordings are tried.
inline constexpr std::array<Decoding, 4> kDecodings = {
    {{Encoding::Mfm, 1, 0}, {Encoding::Fm, 1, 0}, {Encoding::Fm, 2, 0}, {Encoding::Fm, 2, 1}}};

inline constexpr std::size_t kCellsPerByte = 16;  // a clock cell and a data cell per bit

// The byte that 16 cells (the first in time lowest) hold: clock and data cells
// alternate, data second, the byte's highest bit first.
constexpr std::uint8_t ByteOfCells(std::uint16_t cells) {
    unsigned byte = 0;
    for (unsigned bit = 1; bit < 16; bit += 2) byte = (byte << 1) | ((unsigned{cells} >> bit) & 1u);
    return static_cast<std::uint8_t>(byte);
}

// A track's cells as one decoding reads them, and the bytes they hold.
class CellView {
public:
    CellView(const PackedCells& cells, const Decoding& decoding)
        : cells_(&cells),
          decoding_(decoding),
          size_(cells.Size() > decoding.Phase ? (cells.Size() - decoding.Phase + decoding.Stride - 1) / decoding.Stride
                                              : 0) {}

    std::size_t Size() const noexcept { return size_; }
    Encoding Code() const noexcept { return decoding_.Code; }
    bool DoubleDensity() const noexcept { return decoding_.Code == Encoding::Mfm; }
    // The track's cell that this view's cell n is.
    std::size_t TrackCell(std::size_t n) const noexcept { return decoding_.Phase + n * decoding_.Stride; }

    // The 16 cells from n, the first in time lowest.
    std::uint16_t Cells16(std::size_t n) const noexcept { return cells_->Cells16(TrackCell(n), decoding_.Stride); }
    // The byte whose 16 cells start at n.
    std::uint8_t Byte(std::size_t n) const noexcept { return ByteOfCells(Cells16(n)); }
    bool HasBytes(std::size_t n, std::size_t count) const noexcept { return n + count * kCellsPerByte <= size_; }

private:
    const PackedCells* cells_;
    Decoding decoding_;
    std::size_t size_;
};

}  // namespace tabulon
