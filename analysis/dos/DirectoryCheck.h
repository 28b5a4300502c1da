#pragma once

#include "DiskIdentity.h"
#include "SlotDecoding.h"

#include <vector>

namespace tabulon {

// What a PDRIVE slot says of the directory, checked against the directory a
// disk holds. NEWDOS finds its directory at sector DDSL x GPL x 5, counting
// SPT sectors to a cylinder (see DiskDirectory::PlaceInCylinder), and gives it
// DDGA x 5 sectors.
enum class DirectoryField {
    StartLump,    // DDSL against the lump the directory starts at
    StartSector,  // where the directory starts at no lump's start: DDSL x GPL x 5 against its sector
    Sectors,      // DDGA x 5 against the directory's length
};

// One field on which the slot and the disk's directory disagree.
struct DirectoryDifference {
    DirectoryField Field;
    int Table;
    int Disk;
    friend bool operator==(const DirectoryDifference&, const DirectoryDifference&) = default;
};

// The differences between where the slot puts the directory and where the
// disk holds it, start first; none when it fits. The length is checked only
// where the directory's is known.
std::vector<DirectoryDifference> CheckDirectory(const DriveSlot& slot, const DiskDirectory& directory);

}  // namespace tabulon
