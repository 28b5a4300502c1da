#pragma once

#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// What an image's tracks hold, as a drive would find it.
struct ImageGeometry {
    int Cylinders = 0;                  // from cylinder 0 to the last one that holds a sector
    std::vector<int> MissingCylinders;  // within those, the ones with no sector on side 0
    int Sides = 1;
    Density Track0Density = Density::Double;  // cylinder 0, side 0
    // The data tracks (cylinder 1 and up; cylinder 0 when there is no other):
    Density DataDensity = Density::Double;  // the recording most of them use
    int SectorsPerTrack = 0;                // the most common count on one side
    std::int64_t SectorSize = 0;            // the most common size

    int SectorsPerCylinder() const { return SectorsPerTrack * Sides; }
    friend bool operator==(const ImageGeometry&, const ImageGeometry&) = default;
};

// The geometry of the tracks a container lists; nothing when they hold no sector.
std::optional<ImageGeometry> SummariseGeometry(const std::vector<TrackLayout>& tracks);

}  // namespace tabulon
