#include "IdFieldSearch.h"

#include "AddressMarks.h"
#include "CellView.h"
#include "MarkSearch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tabulon {

namespace {

constexpr std::size_t kMaxIdFields = 512;  // per decoding of one track
constexpr std::size_t kWordCells = PackedCells::kWordCells;

// Where marks may start in a run of words of 64 cells: bit j of a word's mask
// for its cell j.
constexpr std::size_t kBlockWords = 64;
struct Candidates {
    std::array<std::uint64_t, kBlockWords> Mfm;        // an A1 sync, 0100010010001001 in time order
    std::array<std::uint64_t, kBlockWords> Fm;         // FE with clock C7, 1111010101111110
    std::array<std::uint64_t, kBlockWords> FmDoubled;  // the same, every cell doubled (even j: phase 0, odd: 1)
    std::uint64_t Words = 0;                           // bit n: word n has a candidate
};

// Eight words at once, with the compiler's vector extension: on x86-64 with
// AVX-512 or AVX2 where the processor has it (chosen when the program starts;
// not under ThreadSanitizer, which is not running yet when the choice is made).
constexpr std::size_t kLanes = 8;
using Lanes = std::uint64_t __attribute__((vector_size(kLanes * sizeof(std::uint64_t))));

#if defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define TABULON_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TABULON_VECTOR_CLONES
#endif

// The candidates of count words (a multiple of kLanes, at most kBlockWords);
// the word after them must be readable too.
TABULON_VECTOR_CLONES void FindCandidates(const std::uint64_t* words, std::size_t count, Candidates& out) {
    Lanes marked{};
    Lanes bitOf{0, 1, 2, 3, 4, 5, 6, 7};
    for (std::size_t n = 0; n < count; n += kLanes) {
        Lanes word;  // cells 0 to 63 of four words
        Lanes next;  // and of the word after each
        std::memcpy(&word, words + n, sizeof word);
        std::memcpy(&next, words + n + 1, sizeof next);
        // Bit j of cK: the cell K after the word's cell j.
        const Lanes c1 = (word >> 1) | (next << 63), c2 = (word >> 2) | (next << 62);
        const Lanes c3 = (word >> 3) | (next << 61), c4 = (word >> 4) | (next << 60);
        const Lanes c5 = (word >> 5) | (next << 59), c6 = (word >> 6) | (next << 58);
        const Lanes c8 = (word >> 8) | (next << 56), c10 = (word >> 10) | (next << 54);
        const Lanes c12 = (word >> 12) | (next << 52), c15 = (word >> 15) | (next << 49);
        const Lanes c16 = (word >> 16) | (next << 48), c20 = (word >> 20) | (next << 44);
        const Lanes c24 = (word >> 24) | (next << 40);
        // Some of each mark's 1 and 0 cells: every mark holds them, and little
        // else does (FM data only where its bits read 1100011 in the clocks' place).
        const Lanes mfm = c1 & c5 & c8 & c12 & c15 & ~(word | c2 | c3 | c4);
        const Lanes fm = word & c1 & c2 & c3 & c5 & c10 & c12 & ~(c4 | c6 | c8);
        const Lanes fmDoubled = word & c2 & c4 & c6 & c10 & c20 & c24 & ~(c8 | c12 | c16);
        std::memcpy(&out.Mfm[n], &mfm, sizeof mfm);
        std::memcpy(&out.Fm[n], &fm, sizeof fm);
        std::memcpy(&out.FmDoubled[n], &fmDoubled, sizeof fmDoubled);
        // Bit n + lane of marked: whether that word has a candidate (the top
        // bit of x | -x is set when x is not 0).
        const Lanes any = mfm | fm | fmDoubled;
        marked |= ((any | -any) >> 63) << bitOf;
        bitOf += kLanes;
    }
    out.Words = 0;
    for (std::size_t lane = 0; lane < kLanes; ++lane) out.Words |= marked[lane];
}

// One decoding's search: where it goes on, and whether it has ended.
class Search {
public:
    Search(const PackedCells& cells, std::size_t decoding)
        : index_(decoding), decoding_(kDecodings[decoding]), view_(cells, decoding_) {
        end_ = view_.Size() >= kCellsPerByte ? view_.Size() - kCellsPerByte + 1 : 0;
    }

    bool Done() const noexcept { return done_; }

    // A mark may start at the track's cell: when an ID field does, it is added to found.
    void TryAt(std::size_t trackCell, std::vector<CellIdField>& found) {
        if (done_) return;
        const std::size_t start = (trackCell - decoding_.Phase) / decoding_.Stride;
        if (start < from_) return;
        if (start >= end_) {
            done_ = true;
            return;
        }
        const std::uint16_t cells = view_.Cells16(start);
        std::size_t after = start + kCellsPerByte;  // the byte after the mark
        if (decoding_.Code == Encoding::Mfm) {
            if (cells != kMfmSyncCells) return;
            const auto mark = MfmMarkAt(view_, start);
            if (!mark) {
                done_ = true;
                return;
            }
            if (mark->Value != kIdAddressMark) {
                from_ = mark->After - kCellsPerByte;
                return;
            }
            after = mark->After;
        } else if (cells != kFmIdMarkCells) {
            return;
        }
        if (!view_.HasBytes(after, kIdFieldBytes - 1)) {
            done_ = true;
            return;
        }
        std::array<std::uint8_t, kIdFieldBytes> bytes{kIdAddressMark};
        for (std::size_t k = 1; k < kIdFieldBytes; ++k) bytes[k] = view_.Byte(after + (k - 1) * kCellsPerByte);
        from_ = after + (kIdFieldBytes - 1) * kCellsPerByte;
        found.push_back({index_, trackCell, from_, ReadIdField(bytes, view_.Code())});
        done_ = ++count_ == kMaxIdFields;
    }

private:
    std::size_t index_;
    Decoding decoding_;
    CellView view_;
    std::size_t end_;        // marks start before this
    std::size_t from_ = 0;   // the search goes on here
    std::size_t count_ = 0;  // ID fields found
    bool done_ = false;
};

}  // namespace

std::vector<CellIdField> FindIdFields(const PackedCells& cells) {
    std::array<Search, kDecodings.size()> searches = {Search(cells, 0), Search(cells, 1), Search(cells, 2),
                                                      Search(cells, 3)};
    const auto allDone = [&searches] {
        return std::all_of(searches.begin(), searches.end(), [](const Search& s) { return s.Done(); });
    };
    std::vector<CellIdField> found;
    const std::uint64_t* words = cells.Data();
    const std::size_t count = cells.Words();
    Candidates starts;
    for (std::size_t first = 0; first < count && !allDone(); first += kBlockWords) {
        const std::size_t block = std::min(kBlockWords, count - first);
        const std::size_t lanes = (block + kLanes - 1) / kLanes * kLanes;
        if (first + lanes < count) {
            FindCandidates(words + first, lanes, starts);
        } else {  // the last words, and 0 cells after them
            std::array<std::uint64_t, kBlockWords + kLanes> last{};
            std::copy(words + first, words + count, last.begin());
            FindCandidates(last.data(), lanes, starts);
        }
        for (std::uint64_t marked = starts.Words; marked != 0; marked &= marked - 1) {
            const auto n = static_cast<std::size_t>(std::countr_zero(marked));
            const std::uint64_t mfm = starts.Mfm[n], fm = starts.Fm[n], fmDoubled = starts.FmDoubled[n];
            for (std::uint64_t any = mfm | fm | fmDoubled; any != 0; any &= any - 1) {
                const auto j = static_cast<unsigned>(std::countr_zero(any));
                const std::uint64_t bit = std::uint64_t{1} << j;
                const std::size_t cell = (first + n) * kWordCells + j;
                if (mfm & bit) searches[0].TryAt(cell, found);
                if (fm & bit) searches[1].TryAt(cell, found);
                if (fmDoubled & bit) searches[2 + (j & 1u)].TryAt(cell, found);
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const CellIdField& a, const CellIdField& b) { return a.Decoding < b.Decoding; });
    return found;
}

}  // namespace tabulon
