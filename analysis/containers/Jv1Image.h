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

// Track 0, sector 2: the 256 bytes at offset 512.
std::optional<SectorLocation> LocateInJv1(DiskData& image, const Jv1Header& header, const SectorPosition& address);

// Every track: ten single-density 256-byte sectors, numbered 0 to 9.
TrackList Jv1Tracks(DiskData& image, const Jv1Header& header, TrackDetail detail = TrackDetail::IdsOnly);

extern const ContainerType kJv1Container;

}  // namespace tabulon
