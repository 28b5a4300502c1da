#include "Crc16.h"

#include <array>

namespace tabulon {

namespace {

// The CRC of each byte value from 0, a byte at a time instead of a bit.
constexpr std::array<std::uint16_t, 256> kTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned n = 0; n < table.size(); ++n) {
        unsigned crc = n << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
        table[n] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}();

}  // namespace

std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t start) {
    unsigned crc = start;
    for (const std::uint8_t byte : bytes) crc = ((crc << 8) ^ kTable[((crc >> 8) ^ byte) & 0xFFu]) & 0xFFFFu;
    return static_cast<std::uint16_t>(crc);
}

}  // namespace tabulon
