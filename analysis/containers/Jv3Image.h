#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// JV3: a table of sector headers, then the bare sector data.
//
//   offset 0      2901 entries of three bytes: track, sector, flags
//          8703   write protect: 0x00 or 0xFF
//          8704   the sectors' data, one after another in the order of the entries
//
// Flags: bit 7 double density, bit 4 side 1, bits 0-1 the size code. A free
// entry has track 0xFF; its size code still counts the bytes kept in the file.
//
// A disk of more sectors than one table holds continues with a second table of
// the same form right after the first table's data.
struct Jv3Header {
    std::int64_t DataEnd = 0;  // the file offset just past the first table's sectors
    bool TableFull = false;    // every entry of the first table is used
};

inline constexpr std::uint8_t kJv3DoubleDensity = 0x80;
inline constexpr std::uint8_t kJv3Side1 = 0x10;
inline constexpr std::uint8_t kJv3SizeCode = 0x03;
inline constexpr std::uint8_t kJv3FreeTrack = 0xFF;

// Bytes a JV3 sector occupies, from its entry's track and flags: the size code
// means 256, 128, 1024, 512 for a used entry and 512, 1024, 128, 256 for a free one.
std::int64_t Jv3SectorLength(std::uint8_t track, std::uint8_t flags);

// The header, when the file holds a JV3 table with at least one used entry and
// every used entry's data inside the file.
std::optional<Jv3Header> IdentifyJv3(DiskData& image);

// Opened, its walk meets the used entries gathered by track and side, in the
// order they stand. A sector is its first entry in the first table.

extern const ContainerType kJv3Container;

}  // namespace tabulon
