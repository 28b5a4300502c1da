#pragma once

#include "DiskIdentity.h"
#include "DiskOrder.h"

namespace tabulon {

// CP/M's directory: 32-byte entries on the first track after the system
// tracks, each a user number (0 to 15; 0xE5 when free; CP/M 3 adds 0x20 for
// the disk's label and 0x21 for time stamps), an eight-letter name and a
// three-letter type whose high bits are attributes, and the records of the
// file's last extent. How many tracks the system takes, and how long the
// directory is, the BIOS of each make knows; the disk does not say.

// What a sector is to CP/M.
enum class CpmSector {
    Other,  // not a directory sector
    Free,   // entries, every one free
    InUse,  // entries, at least one in use
};
CpmSector CpmSectorKind(const ReadSector* sector);

// Whether the sectors before place (the system tracks) name Digital Research.
bool HoldsCpmSystem(DiskSectors& disk, OrderPlace place);

// Reads the directory whose first sector lies at first into identity: the
// entries of every directory sector on its track, one file per user and name.
void ReadCpmDirectory(DiskSectors& disk, OrderPlace first, DiskIdentity& identity);

}  // namespace tabulon
