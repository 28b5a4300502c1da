#include "MarkSearch.h"

#include "AddressMarks.h"

#include <algorithm>
#include <bit>

namespace tabulon {

static_assert(ByteOfCells(kMfmSyncCells) == kMfmSync);
static_assert(ByteOfCells(kFmIdMarkCells) == kIdAddressMark);

namespace {

// Bit k set where the first `cells` cells from k of window are those of
// pattern, for the starts whose 16 cells all lie in the window.
constexpr std::size_t kStartsPerWindow = PackedCells::kWordCells - kCellsPerByte + 1;
constexpr std::uint64_t StartsOf(std::uint64_t window, std::uint16_t pattern, unsigned cells = kCellsPerByte) {
    std::uint64_t starts = ~std::uint64_t{0};
    for (unsigned bit = 0; bit < cells; ++bit) {
        const std::uint64_t shifted = window >> bit;
        starts &= ((unsigned{pattern} >> bit) & 1u) != 0 ? shifted : ~shifted;
    }
    return starts;
}

// The first cells every FM mark shares (FE and F8 to FB, all with clock C7):
// matched first, the whole mark then checked only where they are.
constexpr unsigned kFmSharedCells = 11;
constexpr bool SharedByFmMarks() {
    for (const std::uint16_t mark : kFmMarkCells) {
        if (((mark ^ kFmMarkCells[0]) & ((1u << kFmSharedCells) - 1)) != 0) return false;
    }
    return true;
}
static_assert(SharedByFmMarks());

bool IsFmMark(std::uint16_t cells) {
    return std::find(kFmMarkCells.begin(), kFmMarkCells.end(), cells) != kFmMarkCells.end();
}

constexpr bool IsWanted(MarkKind kind, std::uint8_t value) {
    return kind == MarkKind::Id ? value == kIdAddressMark : IsDataMark(value);
}

}  // namespace

std::optional<Mark> MfmMarkAt(const CellView& cells, std::size_t start) {
    std::size_t next = start + kCellsPerByte;
    while (cells.HasBytes(next, 1) && cells.Cells16(next) == kMfmSyncCells) next += kCellsPerByte;
    if (!cells.HasBytes(next, 1)) return std::nullopt;
    return Mark{start, next + kCellsPerByte, cells.Byte(next)};
}

std::optional<Mark> NextMark(const CellView& cells, std::size_t from, std::size_t limit, MarkKind kind) {
    const std::size_t size = cells.Size();
    const std::size_t end = std::min(limit, size >= kCellsPerByte ? size - kCellsPerByte + 1 : 0);
    const bool fm = cells.Code() == Encoding::Fm;
    for (std::size_t start = from; start < end;) {
        // The starts among the next 49 whose 16 cells are a mark (FM) or a sync (MFM).
        const std::uint64_t window = cells.Cells64(start);
        std::uint64_t found = 0;
        if (fm) {
            found = StartsOf(window, kFmMarkCells[0], kFmSharedCells);
        } else {
            found = StartsOf(window, kMfmSyncCells);
        }
        const std::size_t span = std::min(kStartsPerWindow, end - start);
        found &= (std::uint64_t{1} << span) - 1;
        if (found == 0) {
            start += span;
            continue;
        }
        start += static_cast<std::size_t>(std::countr_zero(found));
        if (fm) {
            const std::uint16_t mark = cells.Cells16(start);
            if (IsFmMark(mark) && IsWanted(kind, ByteOfCells(mark))) {
                return Mark{start, start + kCellsPerByte, ByteOfCells(mark)};
            }
            ++start;
            continue;
        }
        const auto mark = MfmMarkAt(cells, start);
        if (!mark) return std::nullopt;
        if (IsWanted(kind, mark->Value)) return mark;
        start = mark->After - kCellsPerByte;  // not wanted: go on from its mark byte
    }
    return std::nullopt;
}

}  // namespace tabulon
