#pragma once

#include "ImageBuilder.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

// Flux captures of the same tracks the other builders write: each track's cells
// (at the double-density rate, FM doubled), then the times of their flux
// transitions, as a SuperCard Pro file or a KryoFlux stream set.
namespace tabulon::images {

// One track as cells, a whole revolution: one element a cell, 1 a transition.
struct TrackCells {
    int Cylinder = 0;
    int Side = 0;
    Bytes Cells;
};

// A track's cells at 2 us: MFM as recorded, FM with each cell doubled; padded
// with gap bytes to a revolution (100,000 cells), or longer when the track is.
TrackCells CellsOfTrack(int cylinder, int side, RawTrack raw, TrackStyle style);

// The tracks BuildDmkImage writes, as cells.
std::vector<TrackCells> DiskCells(const DmkOptions& disk, std::span<const std::uint8_t> systemSector);

struct FluxOptions {
    int Revolutions = 3;
    double Jitter = 0;  // each transition moved by up to this part of a cell, either way
    double Speed = 0;   // 0.05: the drive turns 5 % fast (shorter intervals); -0.05: slow
    int Damaged = -1;   // this revolution's cells garbled (every 37th flipped)
    std::uint32_t Seed = 1;
    // SCP only:
    bool IndexCued = true;     // false: a part revolution first, which the header says
    bool Consecutive = false;  // single-sided, tracks numbered one after another (old writers)
    bool Extended = false;     // the track table at 0x80
};

// An SCP file (25 ns ticks, 16-bit values) of the tracks.
Bytes BuildScpImage(std::span<const TrackCells> tracks, const FluxOptions& options);

// A KryoFlux stream set of the tracks: file name -> stream (<prefix>CC.H.raw).
std::map<std::string, Bytes> BuildKryoFluxSet(std::span<const TrackCells> tracks, const FluxOptions& options,
                                              const std::string& prefix = "track");

}  // namespace tabulon::images
