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

namespace detail {
// The byte bits that 8 cells give, the first in time lowest: the odd cells are
// data, the highest bit first. Low 8 cells: bits 7 to 4; high: bits 3 to 0.
constexpr std::array<std::uint8_t, 256> kDataBitsOfCells = [] {
    std::array<std::uint8_t, 256> bits{};
    for (unsigned cells = 0; cells < 256; ++cells) {
        unsigned value = 0;
        for (unsigned bit = 1; bit < 8; bit += 2) value = (value << 1) | ((cells >> bit) & 1u);
        bits[cells] = static_cast<std::uint8_t>(value);
    }
    return bits;
}();
}  // namespace detail

// The byte that 16 cells (the first in time lowest) hold: clock and data cells
// alternate, data second, the byte's highest bit first.
constexpr std::uint8_t ByteOfCells(std::uint16_t cells) {
    return static_cast<std::uint8_t>((detail::kDataBitsOfCells[cells & 0xFFu] << 4) |
                                     detail::kDataBitsOfCells[cells >> 8]);
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
    // The 64 cells from n (past the end: 0), the first in time lowest.
    std::uint64_t Cells64(std::size_t n) const noexcept {
        const std::size_t at = TrackCell(n);
        if (decoding_.Stride == 1) return cells_->CellsFrom(at);
        return EvenBits(cells_->CellsFrom(at)) |
               std::uint64_t{EvenBits(cells_->CellsFrom(at + PackedCells::kWordCells))} << 32;
    }
    // The byte whose 16 cells start at n.
    std::uint8_t Byte(std::size_t n) const noexcept { return ByteOfCells(Cells16(n)); }
    bool HasBytes(std::size_t n, std::size_t count) const noexcept { return n + count * kCellsPerByte <= size_; }

private:
    const PackedCells* cells_;
    Decoding decoding_;
    std::size_t size_;
};

}  // namespace tabulon
