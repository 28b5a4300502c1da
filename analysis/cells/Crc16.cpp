#include "Crc16.h"

#include <array>
#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tabulon {

namespace {

// An MSB-first CRC-16 sixteen bytes at a time ("slicing"): Tables[k][b] is the
// CRC, from 0, of the byte b followed by k zero bytes. The CRC is linear, so
// sixteen bytes give the XOR of sixteen lookups, none waiting on another, where
// the byte-at-a-time loop waits on each byte's lookup in turn.
template <std::uint16_t Polynomial>
class SlicedCrc {
public:
    static std::uint16_t Of(std::span<const std::uint8_t> bytes, std::uint16_t start) {
#if defined(__x86_64__)
        if (bytes.size() >= kFoldFrom && CanFold()) return Folded(bytes, start);
#endif
        return Sliced(bytes, start);
    }

private:
    static std::uint16_t Sliced(std::span<const std::uint8_t> bytes, std::uint16_t start) {
        unsigned crc = start;
        std::size_t at = 0;
        for (; bytes.size() - at >= kSlice; at += kSlice) {
            const std::uint8_t* b = bytes.data() + at;
            unsigned next = kTables[kSlice - 1][b[0] ^ (crc >> 8)] ^ kTables[kSlice - 2][b[1] ^ (crc & 0xFFu)];
            for (std::size_t k = 2; k < kSlice; ++k) next ^= kTables[kSlice - 1 - k][b[k]];
            crc = next;
        }
        for (; at < bytes.size(); ++at) crc = ((crc << 8) ^ kTables[0][((crc >> 8) ^ bytes[at]) & 0xFFu]) & 0xFFFFu;
        return static_cast<std::uint16_t>(crc);
    }

#if defined(__x86_64__)
    // Longer runs are folded with carry-less multiplication where the processor
    // has it. The bytes are a polynomial, the first byte's top bit the highest
    // term, and only its remainder counts: so a 128-bit block followed by d more
    // bits may be replaced by its two halves times x^(d+64) and x^d, each
    // reduced to 16 bits, a product that fits in the next block. Four blocks
    // are folded side by side, then into one; the sixteen bytes left, and the
    // bytes after the last whole block, go through the tables. The start is the
    // remainder's first sixteen bits, so it is added to the first two bytes.
    static constexpr std::size_t kFoldFrom = 64;

    static bool CanFold() {
        static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
        return can;
    }

    // x^n modulo the polynomial.
    static constexpr long long PowerOfX(unsigned n) {
        unsigned remainder = 1;
        for (unsigned k = 0; k < n; ++k) {
            remainder <<= 1;
            if (remainder & 0x10000u) remainder ^= 0x10000u | Polynomial;
        }
        return remainder;
    }

    __attribute__((target("pclmul,ssse3"))) static __m128i Block(const std::uint8_t* at) {
        const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), reversed);
    }

    // block times x^d, d the distance the constants k are made for.
    __attribute__((target("pclmul,ssse3"))) static __m128i Fold(__m128i block, __m128i k, __m128i next) {
        return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(block, k, 0x11), _mm_clmulepi64_si128(block, k, 0x00)),
                             next);
    }

    __attribute__((target("pclmul,ssse3"))) static std::uint16_t Folded(std::span<const std::uint8_t> bytes,
                                                                        std::uint16_t start) {
        const __m128i one = _mm_set_epi64x(PowerOfX(192), PowerOfX(128));
        const __m128i four = _mm_set_epi64x(PowerOfX(576), PowerOfX(512));
        const std::uint8_t* at = bytes.data();
        const std::size_t blocks = bytes.size() / 16;
        __m128i lanes[4];
        lanes[0] = _mm_xor_si128(Block(at), _mm_set_epi64x(static_cast<long long>(start) << 48, 0));
        for (std::size_t lane = 1; lane < 4; ++lane) lanes[lane] = Block(at + 16 * lane);
        std::size_t block = 4;
        for (; blocks - block >= 4; block += 4) {
            for (std::size_t lane = 0; lane < 4; ++lane) {
                lanes[lane] = Fold(lanes[lane], four, Block(at + 16 * (block + lane)));
            }
        }
        __m128i folded = lanes[0];
        for (std::size_t lane = 1; lane < 4; ++lane) folded = Fold(folded, one, lanes[lane]);
        for (; block < blocks; ++block) folded = Fold(folded, one, Block(at + 16 * block));
        alignas(16) std::array<std::uint8_t, 16> remainder{};
        _mm_store_si128(reinterpret_cast<__m128i*>(remainder.data()), Block(reinterpret_cast<std::uint8_t*>(&folded)));
        return Sliced(bytes.subspan(16 * blocks), Sliced(remainder, 0));
    }
#endif

    static constexpr std::size_t kSlice = 16;
    using Table = std::array<std::uint16_t, 256>;
    static constexpr std::array<Table, kSlice> kTables = [] {
        std::array<Table, kSlice> tables{};
        for (unsigned n = 0; n < 256; ++n) {
            unsigned crc = n << 8;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ Polynomial : crc << 1;
            tables[0][n] = static_cast<std::uint16_t>(crc & 0xFFFFu);
        }
        for (std::size_t k = 1; k < tables.size(); ++k) {
            for (unsigned n = 0; n < 256; ++n) {
                const unsigned previous = tables[k - 1][n];
                tables[k][n] = static_cast<std::uint16_t>(((previous << 8) ^ tables[0][previous >> 8]) & 0xFFFFu);
            }
        }
        return tables;
    }();
};

}  // namespace

std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t start) {
    return SlicedCrc<0x1021>::Of(bytes, start);
}

std::uint16_t Crc16Teledisk(std::span<const std::uint8_t> bytes, std::uint16_t start) {
    return SlicedCrc<0xA097>::Of(bytes, start);
}

}  // namespace tabulon
