#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// SCP: the SuperCard Pro's flux captures (Greaseweazle and others write them too).
//
//   offset 0    "SCP"
//          3    version (major << 4 | minor)
//          4    disk type
//          5    revolutions per track
//          6    first and last track
//          8    flags: 0 index cued, 1 96 tpi, 2 360 rpm, 3 normalised, 4 read/write,
//               5 footer, 6 extended mode (the track table at 0x80, not 0x10), 7 other writer
//          9    cell width in bits: 0 or 16, or 8
//         10    heads: 0 both, 1 side 0 only, 2 side 1 only
//         11    resolution: 25 ns x (n + 1) a tick
//         12    checksum: the 32-bit sum of every byte from 0x10 on, little-endian
//         16    the track table: 168 offsets, little-endian (0: no track); some
//               writers keep it shorter, ending where the first track begins
//
// Track n is cylinder n / 2, side n % 2, also when only one side was captured
// (the other side's entries 0), as the SuperCard Pro and Greaseweazle write it.
// Older single-sided files numbered their tracks one after another: a file
// whose heads byte names one side but which has tracks at both odd and even
// numbers is read that way.
//
// Each track: "TRK", its number, then per revolution its index time, its
// count of flux values and their offset from "TRK" (32-bit little-endian
// each); the values are big-endian, the ticks since the last transition, 0
// adding 65,536 (256 for 8-bit cells) to the next. A capture that is not index
// cued begins with a part revolution, which is left out.
struct ScpHeader {
    int Version = 0;
    int DiskType = 0;
    int Revolutions = 0;
    std::uint8_t Flags = 0;
    int CellBits = 16;
    int Heads = 0;
    double TicksPerMicrosecond = 40;
    std::uint32_t Checksum = 0;
    bool Consecutive = false;                // the old single-sided numbering
    std::array<std::uint32_t, 168> Table{};  // each track's offset, 0 for none
};

// The header, when the signature is there with a sane header and track table.
std::optional<ScpHeader> IdentifyScp(DiskData& image);

// Opened, its walk meets every captured track. Each sector is the best of its
// revolutions; revolutions whose values overlap values read already in the
// same walk (track entries or revolutions that repeat) are refused, so that
// each value is decoded once. The listing counts ID fields with a good CRC.
// Whether the header's checksum fits the file (a zero checksum is none to
// check). Reads the whole file.
bool ScpChecksumMatches(DiskData& image, const ScpHeader& header);
std::optional<FileCheck> CheckScpChecksum(DiskData& image, const ScpHeader& header);

extern const ContainerType kScpContainer;

}  // namespace tabulon
