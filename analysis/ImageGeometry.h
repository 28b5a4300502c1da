#pragma once

#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// What an image's tracks hold, as a drive would find it. A file cut short of the
// cylinders its header declares stands for the disk it was cut from: the
// declared cylinders are the disk's, and those the file does not hold are missing.
struct ImageGeometry {
    int Cylinders = 0;                  // cylinder 0 to the last that holds a sector; when cut, the declared ones
    std::vector<int> MissingCylinders;  // within those, the ones with no sector on side 0 or not held whole
    int Sides = 1;
    Density Track0Density = Density::Double;  // cylinder 0, side 0
    // The data tracks (cylinder 1 and up; cylinder 0 when there is no other):
    Density DataDensity = Density::Double;            // the recording most of them use
    int SectorsPerTrack = 0;                          // the most common count on one side
    std::int64_t SectorSize = 0;                      // the most common size
    std::optional<int> DeclaredCylinders;             // as the container's header declares them, where it does
    int HeldCylinders = 0;                            // the cylinders the file holds whole, from 0
    std::optional<int> DeclaredSides = std::nullopt;  // where the header declares more sides than hold sectors

    int SectorsPerCylinder() const { return SectorsPerTrack * Sides; }
    bool Cut() const { return DeclaredCylinders && HeldCylinders < *DeclaredCylinders; }
    friend bool operator==(const ImageGeometry&, const ImageGeometry&) = default;
};

// The recording most of a track's ID fields use (double on a tie).
Density TrackDensity(const TrackLayout& track);

// The geometry of the tracks a container lists; nothing when they hold no sector.
std::optional<ImageGeometry> SummariseGeometry(const TrackList& list);

}  // namespace tabulon
