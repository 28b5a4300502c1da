#include "MarkSearch.h"

#include "AddressMarks.h"

#include <algorithm>

namespace tabulon {

static_assert(ByteOfCells(kMfmSyncCells) == kMfmSync);
static_assert(ByteOfCells(kFmIdMarkCells) == kIdAddressMark);

namespace {

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
    for (std::size_t start = from; start < end; ++start) {
        const std::uint16_t word = cells.Cells16(start);
        if (cells.Code() == Encoding::Fm) {
            const bool isMark = std::find(kFmMarkCells.begin(), kFmMarkCells.end(), word) != kFmMarkCells.end();
            if (isMark && IsWanted(kind, ByteOfCells(word)))
                return Mark{start, start + kCellsPerByte, ByteOfCells(word)};
            continue;
        }
        if (word != kMfmSyncCells) continue;
        const auto mark = MfmMarkAt(cells, start);
        if (!mark) return std::nullopt;
        if (IsWanted(kind, mark->Value)) return mark;
        start = mark->After - kCellsPerByte - 1;  // not wanted: go on from its mark byte
    }
    return std::nullopt;
}

}  // namespace tabulon
