#pragma once

#include "DecodedSector.h"
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

// The cell rate of one revolution's flux: its encoding, and the period (in
// ticks) of that encoding's own cell. Both encodings' shortest interval is the
// one the recording uses most often: two cells in MFM, one in FM. MFM also has
// intervals of three cells, 1.5 times it, which FM never has; so with a third
// peak the recording is MFM and its cell half the shortest interval, and
// without one FM, its cell the shortest interval. 125 kbit/s FM then comes out
// at 4 us cells, 250 kbit/s MFM and 250 kbit/s (8-inch) FM at 2 us, 500 kbit/s
// MFM at 1 us, each locked at its own rate with the full window a transition
// may fall in. Looks at the first 8,192 intervals; nothing when none of them
// makes a plausible peak (1.2 to 12 us).
struct CellRate {
    double Period = 0;
    Encoding Coding = Encoding::Mfm;
};
std::optional<CellRate> CellRateOf(std::span<const std::uint32_t> flux, double ticksPerMicrosecond);

// The loop: each interval becomes the cells up to the transition, as many as
// the interval spans at the current cell rate (the last one a 1). Each
// transition's phase error moves the cell boundaries half way towards it;
// while the loop is in step (runs of up to four cells, as MFM and FM have) the errors also correct the rate, every 16
// transitions by half their mean, within 10 % of where it started: enough for a drive 5 % fast or slow and a tenth of a
// cell of jitter. Kept in cells, not ticks, so that one transition waits on the last only for an add, a rounding and a
// multiply.
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

// The cells of a revolution's intervals, made as far as asked: the loop goes
// on where it stopped, so a sector early on the track costs only the intervals
// up to it. It remembers where every batch of intervals began, so that the
// interval a cell came from is found again without running the loop from the start.
class FluxCells {
public:
    static constexpr std::size_t kBatch = 256;  // intervals through the loop before their cells are packed

    FluxCells(double period, std::size_t maxCells);

    // Makes the cells of flux[Used(), end) (flux: the revolution's intervals read so far).
    void Extend(std::span<const std::uint32_t> flux, std::size_t end);

    std::size_t Used() const noexcept { return used_; }
    bool Full() const noexcept { return words_.size() >= maxWords_; }
    // The cells made so far.
    PackedCells Cells() const;
    PackedCells TakeCells() &&;
    // The interval whose transition ends the run of cells that holds cell `cell`
    // (flux.size() when the cells made end first).
    std::size_t IntervalOf(std::span<const std::uint32_t> flux, std::size_t cell) const;

private:
    struct Batch {
        std::size_t FirstCell;
        std::size_t FirstInterval;
        Pll Loop;  // as it was before the batch's first interval
    };

    Pll pll_;
    std::size_t maxWords_;
    std::vector<std::uint64_t> words_;
    std::uint64_t held_ = 0;  // the cells of a word begun, the first lowest
    unsigned pending_ = 0;    // how many
    std::size_t used_ = 0;    // intervals made into cells
    std::vector<Batch> batches_;
};

// The cells of all of a revolution's intervals, at most maxCells of them.
PackedCells FluxToCells(std::span<const std::uint32_t> flux, double period, std::size_t maxCells);

}  // namespace tabulon
