#pragma once

#include "DirectoryBytes.h"
#include "DiskIdentity.h"
#include "DiskOrder.h"

namespace tabulon {

// The directories of 32-byte entries that TRSDOS 2.3 set out and LDOS,
// LS-DOS, TRSDOS 6, NEWDOS, G-DOS, DOSPLUS, MultiDOS and ULTRADOS kept: the
// GAT (its byte 0xCB the version), the HIT, then sectors of eight entries,
// BOOT/SYS opening the first and DIR/SYS the second (G-DOS: GDOS/SYS and
// INHALT/SYS).

// Whether the sector at place opens with BOOT/SYS and the next with DIR/SYS.
bool OpensTrsdosDirectory(DiskSectors& disk, OrderPlace place);

// Names the DOS of the directory whose GAT lies at gat, and reads its length
// and files into identity; boot is the disk's boot sector (empty when unread).
void ReadTrsdosDirectory(DiskSectors& disk, OrderPlace gat, SectorSpan boot, DiskIdentity& identity);

}  // namespace tabulon
