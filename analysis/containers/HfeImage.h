#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "IdFieldSearch.h"
#include "TrackLayout.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tabulon {

// HFE: the HxC floppy emulator's bit-cell images.
//
//   offset 0    "HXCPICFE" (version 1) or "HXCHFEV3" (version 3)
//          8    format revision: 0
//          9    tracks (cylinders)
//         10    sides: 1 or 2
//         11    encoding the writer claims: 0 MFM, 2 FM, ... (not trusted: real
//               files call single-density tracks MFM)
//         12    bit rate in kbit/s, little-endian (250 for double density)
//         18    track list offset, little-endian, in 512-byte blocks
//
// The track list holds four bytes per cylinder: the track's offset in 512-byte
// blocks and its length in bytes (both sides together), little-endian. A
// track's data runs in 512-byte blocks: 256 bytes of side 0, then 256 of side 1.
// Each byte holds eight bit cells at twice the data rate, the least significant
// bit first in time; a 1 is a flux transition. So MFM lies in the file as it is
// recorded, and FM written at the double-density rate has every half-cell
// followed by a 0 cell ("doubled").
//
// Version 3 adds byte-aligned opcodes, whose low nibble is 0xF in the file (a
// run no MFM or doubled FM can hold): NOP 0x0F, SETINDEX 0x8F, SETBITRATE 0x4F
// plus one byte, SKIPBITS 0xCF plus a count (bit-reversed, 0-7) of the next
// byte's first cells to drop, and RAND 0x2F, a byte of random cells.
struct HfeHeader {
    int Version = 1;  // 1 or 3
    int Tracks = 0;
    int Sides = 1;
    std::uint8_t Encoding = 0;  // as the header says
    int BitRateKbps = 0;
    std::int64_t TrackListOffset = 0;  // in the file, in bytes
    // The ID fields each side's cells hold, by cylinder and side, as walks found
    // them: a later walk to a side finds its sectors without looking again.
    std::shared_ptr<std::map<std::pair<int, int>, std::vector<CellIdField>>> IdFields =
        std::make_shared<std::map<std::pair<int, int>, std::vector<CellIdField>>>();
};

// The header, when the signature is there and the track list and track 0's
// data lie inside the file.
std::optional<HfeHeader> IdentifyHfe(DiskData& image);

// Opened, its walk meets every side of every cylinder the header promises; a
// track whose data lie outside the file holds no sectors. The listing gives
// the ID fields in the order they lie and counts those with a good CRC, and
// the header's cylinders and how many of them, from 0, have their data in the
// file. A sector is decoded from the bit cells: an ID field naming it (MFM,
// FM, or FM with doubled cells, whatever the header claims), its CRC, the data
// address mark within the distance the recording allows, the data and its CRC.
// FileOffset is the file offset of the 256-byte chunk of the side's cells that
// holds the first data bit's first cell.
extern const ContainerType kHfeContainer;

}  // namespace tabulon
