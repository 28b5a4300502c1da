#include "Pll.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tabulon {

namespace {

constexpr std::size_t kRateSample = 8192;  // intervals looked at to find the rate
constexpr double kBinsPerMicrosecond = 16;
constexpr std::size_t kBins = 256;            // up to 16 us
constexpr std::size_t kLowestPeakBin = 19;    // 1.2 us: the shortest interval of 500 kbit/s MFM, 40 % fast
constexpr std::size_t kHighestPeakBin = 192;  // 12 us: 125 kbit/s FM's 8 us, 50 % slow

constexpr double kPhaseGain = 0.5;       // part of a transition's phase error the cell boundaries follow
constexpr double kFrequencyGain = 0.05;  // part of it, per cell, the period follows while in step
constexpr unsigned kInStep = 4;          // runs of up to this many cells correct the period
constexpr double kPeriodRange = 0.10;    // how far from its start the period may go

}  // namespace

std::optional<double> CellPeriodOf(std::span<const std::uint32_t> flux, double ticksPerMicrosecond) {
    if (!(ticksPerMicrosecond > 0)) return std::nullopt;
    std::array<std::uint32_t, kBins> histogram{};
    const double binsPerTick = kBinsPerMicrosecond / ticksPerMicrosecond;
    for (const std::uint32_t interval : flux.first(std::min(flux.size(), kRateSample))) {
        const double bin = interval * binsPerTick;
        if (bin < kBins) ++histogram[static_cast<std::size_t>(bin)];
    }
    // Three neighbouring bins at once, so that jitter does not split a peak.
    std::array<std::uint32_t, kBins> smooth{};
    for (std::size_t n = 1; n + 1 < kBins; ++n) smooth[n] = histogram[n - 1] + histogram[n] + histogram[n + 1];
    const std::uint32_t highest = *std::max_element(smooth.begin(), smooth.end());
    if (highest < 16) return std::nullopt;  // too few intervals to tell
    // The first peak at least a quarter as high as the highest.
    for (std::size_t n = kLowestPeakBin; n <= kHighestPeakBin; ++n) {
        if (smooth[n] * 4 < highest || smooth[n] < smooth[n - 1] || smooth[n] < smooth[n + 1]) continue;
        // Its centre: the mean of the intervals within a fifth of it.
        const std::size_t from = n - n / 5, to = n + n / 5;
        double sum = 0, count = 0;
        for (std::size_t b = from; b <= to && b < kBins; ++b) {
            sum += (static_cast<double>(b) + 0.5) * histogram[b];
            count += histogram[b];
        }
        return sum / count / binsPerTick / 2;
    }
    return std::nullopt;
}

Pll::Pll(double period)
    : period_(period),
      inverse_(1 / period),
      minPeriod_(period * (1 - kPeriodRange)),
      maxPeriod_(period * (1 + kPeriodRange)) {}

unsigned Pll::Cells(std::uint32_t interval) {
    const double time = carried_ + interval;
    const double cells = std::clamp(std::nearbyint(time * inverse_), 1.0, double{kMaxRun});
    const double error = time - cells * period_;
    if (cells <= kInStep) {
        period_ = std::clamp(period_ + error * kFrequencyGain / cells, minPeriod_, maxPeriod_);
        inverse_ = inverse_ * (2 - period_ * inverse_);
    }
    carried_ = std::clamp(error * (1 - kPhaseGain), -period_ / 2, period_ / 2);
    return static_cast<unsigned>(cells);
}

PackedCells FluxToCells(std::span<const std::uint32_t> flux, double period, std::size_t maxCells) {
    CellPacker cells(std::min(maxCells, flux.size() * 4));
    Pll pll(period);
    for (const std::uint32_t interval : flux) {
        if (cells.Size() >= maxCells) break;
        const unsigned run = pll.Cells(interval);
        cells.Append(std::uint64_t{1} << (run - 1), run);  // run - 1 cells 0, then the 1
    }
    return std::move(cells).Finish();
}

std::size_t FluxIndexOfCell(std::span<const std::uint32_t> flux, double period, std::size_t cell) {
    Pll pll(period);
    std::size_t end = 0;  // cells so far
    for (std::size_t n = 0; n < flux.size(); ++n) {
        end += pll.Cells(flux[n]);
        if (cell < end) return n;
    }
    return flux.size();
}

}  // namespace tabulon
