#pragma once

#include "CellTrack.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tabulon {

// The address marks a search looks for.
enum class MarkKind {
    Id,    // FE
    Data,  // F8 to FB
};

// An address mark found among the cells of one decoding. MFM marks are one or
// more A1 syncs with a missing clock and then the mark byte; FM marks are the
// mark byte written with clock C7.
struct Mark {
    std::size_t Start;  // the first cell of the mark (MFM: of its first sync)
    std::size_t After;  // the first cell of the byte after the mark
    std::uint8_t Value;
};

// The first mark of that kind that starts in [from, limit); all its cells must
// be there.
std::optional<Mark> NextMark(const CellView& cells, std::size_t from, std::size_t limit, MarkKind kind);

}  // namespace tabulon
