#pragma once

#include "CellView.h"
#include "DataField.h"
#include "MarkSearch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tabulon {

// The bytes after one ID field, read out of the cells of its decoding;
// positions are the track's cells.
class CellBytes final : public RecordedBytes {
public:
    CellBytes(const CellView& cells, std::size_t idEnd) : cells_(cells), idEnd_(idEnd) {}

    bool FindDataMark(std::int64_t window) override {
        const std::size_t limit = idEnd_ + static_cast<std::size_t>(window) * kCellsPerByte;
        const auto mark = NextMark(cells_, idEnd_, limit, MarkKind::Data);
        // The mark byte itself (past any MFM syncs) must lie within the window.
        if (!mark || mark->After - kCellsPerByte >= limit) return false;
        markByte_ = mark->After - kCellsPerByte;
        return true;
    }
    bool Has(std::int64_t n, std::int64_t count) const override {
        return cells_.HasBytes(CellOf(n), static_cast<std::size_t>(count));
    }
    std::uint8_t At(std::int64_t n) override { return cells_.Byte(CellOf(n)); }
    std::size_t CopyTo(std::int64_t n, std::span<std::uint8_t> out) override {
        std::size_t cell = CellOf(n);
        const std::size_t there = cell <= cells_.Size() ? (cells_.Size() - cell) / kCellsPerByte : 0;
        const std::size_t count = std::min(out.size(), there);
        std::size_t copied = 0;
#if defined(__SSE2__)
        for (; count - copied >= 8; copied += 8, cell += 8 * kCellsPerByte) {  // eight bytes from two words
            const __m128i cells = _mm_set_epi64x(static_cast<long long>(cells_.Cells64(cell + 4 * kCellsPerByte)),
                                                 static_cast<long long>(cells_.Cells64(cell)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out.data() + copied), BytesOfCells(cells));
        }
#endif
        for (; count - copied >= 4; copied += 4, cell += 4 * kCellsPerByte) {  // four bytes from a word of cells
            const std::uint64_t word = cells_.Cells64(cell);
            for (unsigned k = 0; k < 4; ++k)
                out[copied + k] = ByteOfCells(static_cast<std::uint16_t>(word >> (16 * k)));
        }
        for (; copied < count; ++copied, cell += kCellsPerByte) out[copied] = cells_.Byte(cell);
        return copied;
    }
    std::int64_t Position(std::int64_t n) const override {
        return static_cast<std::int64_t>(cells_.TrackCell(CellOf(n)));
    }

private:
#if defined(__SSE2__)
    // Eight bytes from their cells, sixteen to a lane, the first in time lowest:
    // each lane's odd cells gathered into its low byte, then that byte's bits
    // reversed (the first data cell is the highest bit); the low half of the result.
    static __m128i BytesOfCells(__m128i x) {
        const auto mask = [](int m) { return _mm_set1_epi16(static_cast<short>(m)); };
        x = _mm_and_si128(_mm_srli_epi16(x, 1), mask(0x5555));
        x = _mm_and_si128(_mm_or_si128(x, _mm_srli_epi16(x, 1)), mask(0x3333));
        x = _mm_and_si128(_mm_or_si128(x, _mm_srli_epi16(x, 2)), mask(0x0F0F));
        x = _mm_and_si128(_mm_or_si128(x, _mm_srli_epi16(x, 4)), mask(0x00FF));
        x = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(x, mask(0x0F)), 4),
                         _mm_and_si128(_mm_srli_epi16(x, 4), mask(0x0F)));
        x = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(x, mask(0x33)), 2),
                         _mm_and_si128(_mm_srli_epi16(x, 2), mask(0x33)));
        x = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(x, mask(0x55)), 1),
                         _mm_and_si128(_mm_srli_epi16(x, 1), mask(0x55)));
        return _mm_packus_epi16(x, x);
    }
#endif

    std::size_t CellOf(std::int64_t n) const { return markByte_ + static_cast<std::size_t>(n) * kCellsPerByte; }

    const CellView& cells_;
    std::size_t idEnd_;
    std::size_t markByte_ = 0;
};

}  // namespace tabulon
