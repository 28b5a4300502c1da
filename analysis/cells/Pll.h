#pragma once

#include "PackedCells.h"

#include <algorithm>

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
// the interval spans at the current cell rate (the last one a 1). Each
// transition's phase error moves the cell boundaries half way towards it;
// while the loop is in step (runs of up to four cells, as MFM and doubled FM
// have) the errors also correct the rate, every 16 transitions by half their
// mean, within 10 % of where it started: enough for a drive 5 % fast or slow
// and a tenth of a cell of jitter. Kept in cells, not ticks, so that one
// transition waits on the last only for an add, a rounding and a multiply.
class Pll {
public:
    static constexpr unsigned kMaxRun = 64;  // cells one interval can give: longer gaps hold nothing to decode

    explicit Pll(double period);

    // The cells up to and including the one this interval's transition falls in.
    unsigned Cells(std::uint32_t interval) {
        const double at = phase_ + interval * rate_;  // in cells since the last transition's cell
        const double nearest = Nearest(at);
        if (nearest >= 1 && nearest <= kInStep) {
            const double error = at - nearest;
            phase_ = error * (1 - kPhaseGain);
            errors_ += error;
            cells_ += nearest;
            if (++counted_ == kRateEvery) CorrectRate();
            return static_cast<unsigned>(nearest);
        }
        return OutOfStep(at, nearest);
    }

private:
    static constexpr double kPhaseGain = 0.5;   // part of a transition's phase error the cell boundaries follow
    static constexpr unsigned kInStep = 4;      // runs of up to this many cells correct the rate
    static constexpr unsigned kRateEvery = 16;  // transitions between rate corrections
    static constexpr double kRateGain = 0.5;    // part of their mean error per cell the rate follows

    // The nearest whole number (ties to even), for the values a loop meets (far
    // below 2^51): adding 1.5 x 2^52 leaves no bits below the units in a double,
    // and taking it away again gives them back rounded. Two adds, where
    // std::nearbyint can be a call.
    static double Nearest(double x) {
        constexpr double kRoundingConstant = 6755399441055744.0;
        return (x + kRoundingConstant) - kRoundingConstant;
    }
    // A long gap, or noise: the cells as they fall (at most a word), the phase afresh.
    unsigned OutOfStep(double at, double nearest) {
        const double cells = std::clamp(nearest, 1.0, double{kMaxRun});
        phase_ = std::clamp((at - cells) * (1 - kPhaseGain), -0.5, 0.5);
        return static_cast<unsigned>(cells);
    }
    // Transitions late by e cells each on average: the cells are longer than the rate says.
    void CorrectRate() {
        rate_ = std::clamp(rate_ * (1 - kRateGain * errors_ / cells_), minRate_, maxRate_);
        errors_ = cells_ = 0;
        counted_ = 0;
    }

    double rate_;  // cells per tick
    double minRate_;
    double maxRate_;
    double phase_ = 0;      // the phase error carried to the next transition, in cells
    double errors_ = 0;     // the phase errors since the last rate correction
    double cells_ = 0;      // and the cells they came with
    unsigned counted_ = 0;  // and how many transitions
};

// The cells of a run of intervals, at most maxCells of them.
PackedCells FluxToCells(std::span<const std::uint32_t> flux, double period, std::size_t maxCells);

// The interval whose transition ends the run of cells that holds cell `cell`,
// as FluxToCells would make them (flux.size() when the flux ends first).
std::size_t FluxIndexOfCell(std::span<const std::uint32_t> flux, double period, std::size_t cell);

}  // namespace tabulon
