#pragma once

#include "DosName.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tabulon {

// Where a disk's directory lies: the track and sector its first sector (the
// GAT on the TRSDOS family) was found at, and how many sectors it takes.
struct DiskDirectory {
    int Cylinder = 0;
    int Side = 0;
    int FirstSector = 0;         // the sector number its ID field gives
    std::optional<int> Sectors;  // its length, where the disk gives or shows it
    // The first sector's place within its cylinder as NEWDOS counts it: the
    // sectors of side 0 by the rank of their numbers, then those of side 1.
    int PlaceInCylinder = 0;
    friend bool operator==(const DiskDirectory&, const DiskDirectory&) = default;
};

// One file the directory lists. The name is spelt as its DOS writes it
// (NAME/EXT on the TRSDOS family, NAME.EXT on CP/M), every byte outside
// printable ASCII shown as '?'.
struct DiskFile {
    std::string Name;
    std::optional<std::int64_t> Size;  // in bytes, where the directory gives it
    bool System = false;
    bool Invisible = false;
    friend bool operator==(const DiskFile&, const DiskFile&) = default;
};

// Which DOS made a disk, as its own sectors tell it.
struct DiskIdentity {
    std::optional<DosName> Dos;              // the DOS whose system the disk carries; none for a data disk
    std::optional<DosName> Format;           // the directory layout; none when no directory was found
    std::optional<std::string> Version;      // where the disk itself says it ("5.3", "6.3", ...)
    std::optional<DiskDirectory> Directory;  // where the directory was found
    std::vector<DiskFile> Files;             // in the directory's order
    std::vector<std::string> Evidence;       // what decided it, a few short phrases
    bool Unformatted = false;                // the disk holds no sector at all
};

}  // namespace tabulon
