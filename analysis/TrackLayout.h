#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

enum class Density { Single, Double };  // FM or MFM recording

// One sector's ID field as a container records it.
struct SectorId {
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    std::uint8_t Sector = 0;
    std::int64_t Size = 0;  // bytes of data
    Density Recording = Density::Double;
};

// The sectors found on one physical track of an image, in the order they lie.
struct TrackLayout {
    int Cylinder = 0;  // the track's physical position in the image
    int Side = 0;
    std::vector<SectorId> Sectors;
};

// The tracks a container lists, and the cylinders its header declares where it
// declares them: a file cut short holds fewer than that.
struct TrackList {
    std::vector<TrackLayout> Tracks;
    std::optional<int> DeclaredCylinders;
    int HeldCylinders = 0;  // with DeclaredCylinders: cylinders 0, 1, ... the file holds whole
    std::optional<int> DeclaredSides = std::nullopt;  // as the header declares them, where it does
};

}  // namespace tabulon
