#include "MarkSearch.h"

#include "AddressMarks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>
#include <utility>

namespace tabulon {

namespace {

// 16 cells as a word, the first in time highest.
constexpr std::uint16_t kMfmSyncWord = 0x4489;  // A1 with its missing clock
// FM address marks: clock C7 interleaved with FE, FB, F8, F9, FA.
constexpr std::array<std::uint16_t, 5> kFmMarkWords = {0xF57E, 0xF56F, 0xF56A, 0xF56B, 0xF56E};

static_assert(DataBits(kMfmSyncWord) == kMfmSync);
static_assert(DataBits(kFmMarkWords[0]) == kIdAddressMark);

// The five FM mark words share their first 11 cells (the same clock over data
// that starts with five 1s), so a search looks for these and then checks the
// whole word.
constexpr unsigned kFmMarkPrefixCells = 11;
constexpr std::uint16_t kFmMarkPrefix = kFmMarkWords[0] >> (kCellsPerByte - kFmMarkPrefixCells);
static_assert(std::all_of(kFmMarkWords.begin(), kFmMarkWords.end(), [](std::uint16_t word) {
    return word >> (kCellsPerByte - kFmMarkPrefixCells) == kFmMarkPrefix;
}));

constexpr bool IsWanted(MarkKind kind, std::uint8_t value) {
    return kind == MarkKind::Id ? value == kIdAddressMark : IsDataMark(value);
}

// Where a pattern of Length cells (Pattern's low bits, the first highest)
// starts within a block of 64 cells: bit 63 - j of the result is set when it
// starts at the block's cell j. next is the block after it, for the starts near
// the end. All 64 starts are tested at once, one cell of the pattern at a time.
template <std::uint32_t Pattern, unsigned Length>
std::uint64_t StartsOf(std::uint64_t block, std::uint64_t next) {
    const auto cellMatches = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        std::uint64_t cells = block;  // bit 63 - j: the block's cell j + K
        if constexpr (K != 0) cells = (block << K) | (next >> (PackedCells::kWordCells - K));
        return (Pattern >> (Length - 1 - K)) & 1u ? cells : ~cells;
    };
    return [&]<std::size_t... K>(std::index_sequence<K...>) {
        return (cellMatches(std::integral_constant<std::size_t, K>{}) & ...);
    }
    (std::make_index_sequence<Length>{});
}

// Which aligned bytes of cells a 16-cell word may cover whole. A word starting
// at any cell covers one whole byte that starts on a multiple of 8 cells: its
// cells d to d + 7, where d (0 to 7) is how far the next byte edge lies.
template <std::size_t Count>
constexpr std::array<std::uint8_t, 256> CoveredBytes(const std::array<std::uint16_t, Count>& words) {
    std::array<std::uint8_t, 256> covered{};
    for (const std::uint16_t word : words) {
        for (unsigned d = 0; d < 8; ++d) covered[(word >> (8 - d)) & 0xFFu] = 1;
    }
    return covered;
}
constexpr auto kMfmSyncCovers = CoveredBytes(std::array{kMfmSyncWord});
constexpr auto kFmMarkCovers = CoveredBytes(kFmMarkWords);

// Whether one of the words behind covered may start in a block of 64 cells:
// the byte it covers is one of the block's eight or the first of the next.
// Most blocks of a track fail this cheap test and need no exact one.
bool MayStartIn(const std::array<std::uint8_t, 256>& covered, std::uint64_t block, std::uint64_t next) {
    unsigned any = covered[next >> 56];
    for (unsigned shift = 0; shift < PackedCells::kWordCells; shift += 8) any |= covered[(block >> shift) & 0xFFu];
    return any != 0;
}

// The first start in [from, end) that candidates marks and accept takes.
// candidates(block, next) answers for a block of 64 starts as StartsOf does.
template <class Candidates, class Accept>
std::optional<std::size_t> FindStart(const PackedCells& cells, std::size_t from, std::size_t end, Candidates candidates,
                                     Accept accept) {
    constexpr std::size_t kWordCells = PackedCells::kWordCells;
    constexpr std::uint64_t kFirstCell = std::uint64_t{1} << (kWordCells - 1);
    const std::size_t firstIndex = from / kWordCells;
    std::uint64_t notBefore = ~std::uint64_t{0} >> (from % kWordCells);  // in the first block, the starts from on
    std::uint64_t next = cells.WordAt(firstIndex);
    for (std::size_t index = firstIndex; index * kWordCells < end; ++index) {
        const std::uint64_t block = next;
        next = cells.WordAt(index + 1);
        std::uint64_t starts = candidates(block, next) & notBefore;
        notBefore = ~std::uint64_t{0};
        while (starts != 0) {
            const auto lead = static_cast<unsigned>(std::countl_zero(starts));
            const std::size_t start = index * kWordCells + lead;
            if (start >= end) return std::nullopt;
            if (accept(start)) return start;
            starts &= ~(kFirstCell >> lead);
        }
    }
    return std::nullopt;
}

std::optional<Mark> NextFmMark(const CellView& cells, std::size_t from, std::size_t end, MarkKind kind) {
    std::array<std::uint16_t, kFmMarkWords.size()> words{};  // the mark words wanted
    std::size_t count = 0;
    for (const std::uint16_t word : kFmMarkWords) {
        if (IsWanted(kind, DataBits(word))) words[count++] = word;
    }
    const auto isWanted = [&](std::size_t start) {
        const std::uint16_t word = cells.Word(start);
        return std::find(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(count), word) !=
               words.begin() + static_cast<std::ptrdiff_t>(count);
    };
    const auto candidates = [](std::uint64_t block, std::uint64_t next) {
        return MayStartIn(kFmMarkCovers, block, next) ? StartsOf<kFmMarkPrefix, kFmMarkPrefixCells>(block, next) : 0;
    };
    const auto start = FindStart(cells.Cells(), from, end, candidates, isWanted);
    if (!start) return std::nullopt;
    return Mark{*start, *start + kCellsPerByte, cells.Byte(*start)};
}

std::optional<Mark> NextMfmMark(const CellView& cells, std::size_t from, std::size_t end, MarkKind kind) {
    const auto syncs = [](std::uint64_t block, std::uint64_t next) {
        return MayStartIn(kMfmSyncCovers, block, next) ? StartsOf<kMfmSyncWord, kCellsPerByte>(block, next) : 0;
    };
    const auto anySync = [](std::size_t) { return true; };
    while (true) {
        const auto start = FindStart(cells.Cells(), from, end, syncs, anySync);
        if (!start) return std::nullopt;
        std::size_t next = *start + kCellsPerByte;
        while (cells.HasBytes(next, 1) && cells.Word(next) == kMfmSyncWord) next += kCellsPerByte;
        if (!cells.HasBytes(next, 1)) return std::nullopt;
        const std::uint8_t value = cells.Byte(next);
        if (IsWanted(kind, value)) return Mark{*start, next + kCellsPerByte, value};
        from = next;  // not wanted: go on after the syncs
    }
}

}  // namespace

std::optional<Mark> NextMark(const CellView& cells, std::size_t from, std::size_t limit, MarkKind kind) {
    const std::size_t size = cells.Size();
    const std::size_t end = std::min(limit, size >= kCellsPerByte ? size - kCellsPerByte + 1 : 0);
    return cells.Code() == Coding::Fm ? NextFmMark(cells, from, end, kind) : NextMfmMark(cells, from, end, kind);
}

}  // namespace tabulon
