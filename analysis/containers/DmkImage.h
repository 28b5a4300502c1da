#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// DMK: whole tracks as the floppy controller sees them.
//
//   offset 0   write protect: 0x00 or 0xFF
//          1   tracks (cylinders)
//          2   track length, little-endian, the IDAM table included
//          4   options: bit 4 single-sided, bit 6 single-density bytes stored once,
//              bit 7 density flags ignored (every byte stored once)
//         12   0 for an emulator image (a real-drive signature otherwise)
//         16   the tracks, cylinder by cylinder, side 0 then side 1
//
// Each track opens with 64 little-endian IDAM pointers (0 ends the list): bit 15
// says the ID field is double density (MFM), bits 0-13 give the offset of its FE
// byte from the start of the track. Single-density bytes are stored twice unless
// option bit 6 is set.
struct DmkHeader {
    int Tracks = 0;
    std::int64_t TrackLength = 0;
    int Sides = 2;
    bool SingleDensityUndoubled = false;
};

// The header, when it is a DMK header whose tracks fit the file (a header
// declaring no tracks: when the file holds nothing else).
std::optional<DmkHeader> IdentifyDmk(DiskData& image);

// Opened, its walk meets every track the header declares, cylinder after
// cylinder, through each track's IDAM table; a listing ends before a track
// the file does not hold whole, and every ID field counts, whatever its CRC.
// A sector is the first ID field naming it that a data address mark follows
// within the distance the recording allows, whatever either CRC; it is found
// in a track cut short too.
extern const ContainerType kDmkContainer;

}  // namespace tabulon
