#include "Crc16.h"

#include <array>
#include <cstddef>

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

private:
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
