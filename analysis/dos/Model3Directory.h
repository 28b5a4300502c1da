#pragma once

#include "DirectoryBytes.h"
#include "DiskIdentity.h"
#include "DiskOrder.h"

#include <optional>

namespace tabulon {

// The directory of Model III TRSDOS 1.3 and of DOS500, its Brazilian kin: a
// whole track, the GAT, the HIT (which also locates the system files, kept
// out of the directory), then sectors of five 48-byte entries, each sector
// ending in "(c) 1980 Tandy" ("PROLOGICA 1982" on DOS500).

// The DOS whose copyright ends the sector, if it is such a directory sector.
std::optional<DosName> Model3DirectoryOf(const ReadSector* sector);

// Reads the directory whose GAT lies at gat into identity; boot is the
// disk's boot sector (empty when unread).
void ReadModel3Directory(DiskSectors& disk, OrderPlace gat, DosName dos, SectorSpan boot, DiskIdentity& identity);

}  // namespace tabulon
