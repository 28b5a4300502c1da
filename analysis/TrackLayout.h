#pragma once

#include <cstdint>
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

}  // namespace tabulon
