#pragma once

#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// One sector's bytes as the search for a disk's directory reads them.
struct ReadSector {
    std::vector<std::uint8_t> Bytes;
};

// What the search for a disk's DOS reads of the disk: the sector numbers of
// a track and single sectors. Each is read once and kept; a source may refuse
// reads past a budget, so that a hostile image costs no more than a few tracks.
class DiskSectors {
public:
    virtual ~DiskSectors() = default;

    // The distinct sector numbers the track at place holds, ascending; none
    // when it holds none or there is no such track.
    virtual const std::vector<int>& Numbers(TrackPlace place) = 0;

    // The sector at at, or nothing when it cannot be read; the sector stays
    // valid as long as the source.
    virtual const ReadSector* Read(const SectorPosition& at) = 0;

    // Whether the sector at at was written with a deleted data mark; nothing
    // where there is no such sector or the container keeps no marks (JV1).
    virtual std::optional<bool> Deleted(const SectorPosition& at) = 0;

    // Whether the disk holds no sector anywhere (an unformatted disk).
    virtual bool Blank() = 0;
};

}  // namespace tabulon
