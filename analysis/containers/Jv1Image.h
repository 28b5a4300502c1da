#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <optional>
#include <vector>

namespace tabulon {

// JV1: no header; single-sided tracks of ten 256-byte sectors numbered 0 to 9,
// track after track from offset 0. Only the length tells one apart.
struct Jv1Header {
    int Tracks = 0;
};

// The header, when the file is a whole number of JV1 tracks.
std::optional<Jv1Header> IdentifyJv1(DiskData& image);

extern const ContainerType kJv1Container;

}  // namespace tabulon
