#pragma once

#include "DiskIdentity.h"
#include "DiskOrder.h"

namespace tabulon {

// The UCSD p-System's volume directory: blocks 2 to 5 of the volume (512
// bytes each, little-endian words), a 26-byte volume entry (first block 0,
// the block after the directory, kind 0, the volume's name of up to seven
// letters, its blocks, its files), then one 26-byte entry per file (first
// block, the block after it, kind, a title of up to 15 letters, the bytes
// used in its last block).

// Reads the volume whose block 0 lies at start, when blocks 2 to 5 hold such
// a directory, into identity; false (identity untouched) when they do not.
bool ReadUcsdDirectory(DiskSectors& disk, OrderPlace start, DiskIdentity& identity);

}  // namespace tabulon
