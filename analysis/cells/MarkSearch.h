#pragma once

#include "CellView.h"
#include "PackedCells.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tabulon {

// The address marks as cells, the first in time lowest. MFM marks are one or
// more A1 syncs with a missing clock and then the mark byte; FM marks are the
// mark byte written with clock C7 (FE ID, FB to F8 data).
inline constexpr std::uint16_t kMfmSyncCells = InTimeOrder(0x4489);
inline constexpr std::array<std::uint16_t, 5> kFmMarkCells = {
    InTimeOrder(0xF57E), InTimeOrder(0xF56F), InTimeOrder(0xF56A), InTimeOrder(0xF56B), InTimeOrder(0xF56E)};
inline constexpr std::uint16_t kFmIdMarkCells = kFmMarkCells[0];

// The address marks a search looks for.
enum class MarkKind {
    Id,    // FE
    Data,  // F8 to FB
};

// An address mark found among the cells of one decoding.
struct Mark {
    std::size_t Start;  // the first cell of the mark (MFM: of its first sync)
    std::size_t After;  // the first cell of the byte after the mark
    std::uint8_t Value;
};

// The first mark of that kind that starts in [from, limit); all its cells must
// be there. It looks at every start in turn: for short stretches, such as the
// distance from an ID field to its data mark.
std::optional<Mark> NextMark(const CellView& cells, std::size_t from, std::size_t limit, MarkKind kind);

// The MFM mark whose first sync starts at start: past the syncs, the mark
// byte. Nothing when the cells end before it.
std::optional<Mark> MfmMarkAt(const CellView& cells, std::size_t start);

}  // namespace tabulon
