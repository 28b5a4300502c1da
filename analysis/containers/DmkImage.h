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

// The sector at address through its track's IDAM table: the ID field checked
// (and its CRC), the data address mark within the distance the recording
// allows, the data and its CRC.
std::optional<SectorLocation> LocateInDmk(DiskData& image, const DmkHeader& header, const SectorPosition& address);

// The ID fields of every track the image holds, through each track's IDAM table;
// the header's cylinders, and how many of them the file holds whole.
TrackList DmkTracks(DiskData& image, const DmkHeader& header, TrackDetail detail = TrackDetail::IdsOnly);

extern const ContainerType kDmkContainer;

}  // namespace tabulon
