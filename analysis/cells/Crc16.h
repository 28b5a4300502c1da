#pragma once

#include <cstdint>
#include <span>

namespace tabulon {

// CRC-16/CCITT as floppy controllers compute it: polynomial 0x1021, MSB first,
// starting from 0xFFFF. Pass a previous result as start to continue a CRC.
std::uint16_t Crc16Ccitt(std::span<const std::uint8_t> bytes, std::uint16_t start = 0xFFFF);

// Teledisk's check: polynomial 0xA097, MSB first, starting from 0.
std::uint16_t Crc16Teledisk(std::span<const std::uint8_t> bytes, std::uint16_t start = 0);

}  // namespace tabulon
