#pragma once

#include "DiskIdentity.h"
#include "DiskSectors.h"
#include "SlotDecoding.h"

#include <optional>

namespace tabulon {

// Which DOS made the disk, told by its boot sector and its directory's own
// structure, looked for in this order: on the cylinders the boot sector names
// (byte 2 on the TRSDOS family, byte 1 on Model III TRSDOS), at the lump
// byte 2 names on a NEWDOS disk (table, the disk's PDRIVE slot 0 where it has
// one, gives the granules per lump first), on the tracks after CP/M's system
// tracks, at a p-System volume's block 2, and last, behind a boot sector of
// the TRS-80's 256 bytes, at the start of every cylinder. Reads only what it
// looks at, through disk; throws only what disk throws.
DiskIdentity IdentifyDisk(DiskSectors& disk, const std::optional<DriveSlot>& table = std::nullopt);

}  // namespace tabulon
