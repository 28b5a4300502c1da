#pragma once

#include "Crc16.h"

#include <array>
#include <cstdint>

namespace tabulon {

// What a WD177x/279x floppy controller writes around a sector, shared by the
// containers that keep whole tracks (DMK bytes, HFE bit cells).
inline constexpr std::uint8_t kIdAddressMark = 0xFE;
inline constexpr std::uint8_t kMfmSync = 0xA1;   // written three times before an MFM mark
inline constexpr std::uint8_t kDataMark = 0xFB;  // F8 to FA mark deleted data

// The data address marks: F8 to FB (deleted and normal data).
constexpr bool IsDataMark(std::uint8_t byte) { return byte >= 0xF8 && byte <= 0xFB; }

// After the ID field's CRC, a controller gives up looking for the data address
// mark after this many bytes: 43 in MFM, 30 in FM.
constexpr std::int64_t DataMarkWindow(bool doubleDensity) { return doubleDensity ? 43 : 30; }

// The CRC a controller starts a field with: MFM fields include their three A1 syncs.
inline std::uint16_t FieldCrcStart(bool doubleDensity) {
    constexpr std::array<std::uint8_t, 3> kSyncs = {kMfmSync, kMfmSync, kMfmSync};
    return doubleDensity ? Crc16Ccitt(kSyncs) : std::uint16_t{0xFFFF};
}

// The data length an ID field's size code gives: 128, 256, 512 or 1024 bytes.
constexpr std::int64_t SectorSizeOfCode(std::uint8_t code) { return std::int64_t{128} << (code & 3u); }

}  // namespace tabulon
