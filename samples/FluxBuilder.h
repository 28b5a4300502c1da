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
    bool Fm = false;  // FM, each of its cells written as two of these
};

// A track's cells at the MFM rate: MFM as recorded, FM with each cell doubled;
// padded with gap bytes to a revolution (revolutionCells), or longer when the track is.
TrackCells CellsOfTrack(int cylinder, int side, RawTrack raw, TrackStyle style, std::size_t revolutionCells = 100000);

// The tracks BuildDmkImage writes, as cells.
std::vector<TrackCells> DiskCells(const DmkOptions& disk, std::span<const std::uint8_t> systemSector);

struct FluxOptions {
    int Revolutions = 3;
    // Each transition moved by a Gaussian whose sigma is this part of the
    // encoding's own cell (FM: 4 us, MFM: 2 us at the usual rates).
    double Jitter = 0;
    double Speed = 0;  // 0.05: the drive turns 5 % fast (shorter intervals); -0.05: slow
    // A track cell: 2 us for 250 kbit/s MFM and 125 kbit/s FM, 1 us for the
    // 8-inch rates (MFM 500, FM 250 kbit/s). A revolution is the track's cells:
    // 100,000 of 2 us at 300 rpm; 166,667 of 1 us at 360 rpm.
    double CellMicroseconds = 2;
    int Damaged = -1;  // this revolution's cells garbled (every 37th flipped)
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
