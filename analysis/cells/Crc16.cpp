#include "Crc16.h"

namespace tabulon {

std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t start) {
    unsigned crc = start;
    for (const std::uint8_t byte : bytes) {
        crc ^= static_cast<unsigned>(byte) << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
        }
    }
    return static_cast<std::uint16_t>(crc & 0xFFFFu);
}

}  // namespace tabulon
