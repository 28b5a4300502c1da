#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

enum class Density { Single, Double };  // FM or MFM recording

// A track's place on the disk.
struct TrackPlace {
    int Cylinder = 0;
    int Side = 0;
    friend bool operator==(const TrackPlace&, const TrackPlace&) = default;
};

// One sector's ID field as a container records it.
struct SectorId {
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    std::uint8_t Sector = 0;
    std::int64_t Size = 0;  // bytes of data
    Density Recording = Density::Double;
};

// What reading one sector found, as far as the container records it.
struct SectorReading {
    bool IdCrcOk = true;                 // true where the container keeps no CRC of the ID field
    std::optional<bool> DataCrcOk;       // nothing where no data field was found
    bool Deleted = false;                // a deleted data mark (F8 to FA) rather than FB
    std::optional<int> Revolution = {};  // a flux capture's revolution it was taken from
};

// The sectors found on one physical track of an image, in the order they lie.
struct TrackLayout {
    int Cylinder = 0;  // the track's physical position in the image
    int Side = 0;
    std::vector<SectorId> Sectors;
    std::vector<SectorReading> Readings = {};  // one per sector, when the tracks were read in detail
};

// How much a track listing reads: the ID fields only (the geometry), or the data
// fields too, for their CRC verdicts and marks (the track map).
enum class TrackDetail { IdsOnly, WithData };

// The tracks a container lists, and the cylinders its header declares where it
// declares them: a file cut short holds fewer than that.
struct TrackList {
    std::vector<TrackLayout> Tracks;
    std::optional<int> DeclaredCylinders;
    int HeldCylinders = 0;  // with DeclaredCylinders: cylinders 0, 1, ... the file holds whole
    std::optional<int> DeclaredSides = std::nullopt;  // as the header declares them, where it does
    // Only ID fields with a good CRC count toward the geometry: a cell decoder
    // meets false ones in noise, where a container's own table lists only real ones.
    bool GoodIdsOnly = false;
};

}  // namespace tabulon
