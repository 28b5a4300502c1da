#pragma once

#include "PackedCells.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tabulon {

// Flux captures (SCP, KryoFlux) hold the time from one flux transition to the
// next, in the capture's sample ticks. A software phase-locked loop turns those
// intervals into the bit cells the cell decoder reads.

// The cell period (in ticks) of one revolution's flux: half the shortest
// interval the recording uses often. MFM's shortest interval is two cells; FM's
// is one FM cell, so FM comes out at twice its own cell rate with every other
// cell 0, as HFE files keep it: 125 kbit/s FM and 250 kbit/s MFM both give
// 2 us cells, 250 kbit/s FM and 500 kbit/s MFM 1 us. Looks at the first 8,192
// intervals; nothing when none of them makes a plausible peak (0.6 to 6 us).
std::optional<double> CellPeriodOf(std::span<const std::uint32_t> flux, double ticksPerMicrosecond);

// The loop: each interval becomes the cells up to the transition, as many as
// the interval spans at the current period (the last one a 1). The phase error
// of every transition moves the cell boundaries part of the way towards it, and
// while the loop is in step (runs of up to four cells, as MFM and doubled FM
// have) it also corrects the period, within 10 % of where it started: enough
// for a drive 5 % fast or slow and a tenth of a cell of jitter.
class Pll {
public:
    static constexpr unsigned kMaxRun = 64;  // cells one interval can give: longer gaps hold nothing to decode

    explicit Pll(double period);

    // The cells up to and including the one this interval's transition falls in.
    unsigned Cells(std::uint32_t interval);

private:
    double period_;
    double inverse_;  // 1 / period_, kept up to date with one Newton step a change
    double minPeriod_;
    double maxPeriod_;
    double carried_ = 0;  // phase error left over from the last transition, in ticks
};

// The cells of a run of intervals, at most maxCells of them.
PackedCells FluxToCells(std::span<const std::uint32_t> flux, double period, std::size_t maxCells);

// The interval whose transition ends the run of cells that holds cell `cell`,
// as FluxToCells would make them (flux.size() when the flux ends first).
std::size_t FluxIndexOfCell(std::span<const std::uint32_t> flux, double period, std::size_t cell);

}  // namespace tabulon
