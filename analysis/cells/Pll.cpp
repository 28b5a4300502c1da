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

constexpr double kRateRange = 0.10;
// MFM tracks have three-cell intervals by the thousand (gaps of 4E, E5 filler,
// the syncs); FM has none, only jitter's tails from its two peaks.
constexpr double kThreeCellShare = 0.04;  // how far from its start the rate may go

}  // namespace

std::optional<CellRate> CellRateOf(std::span<const std::uint32_t> flux, double ticksPerMicrosecond) {
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
    const auto sum = [&histogram](double from, double to, bool weighted) {
        double total = 0;
        const auto last = std::min(kBins - 1, static_cast<std::size_t>(to));
        for (auto b = static_cast<std::size_t>(from); b <= last; ++b) {
            total += (weighted ? static_cast<double>(b) + 0.5 : 1.0) * histogram[b];
        }
        return total;
    };
    // The first peak at least a quarter as high as the highest.
    for (std::size_t n = kLowestPeakBin; n <= kHighestPeakBin; ++n) {
        if (smooth[n] * 4 < highest || smooth[n] < smooth[n - 1] || smooth[n] < smooth[n + 1]) continue;
        // Its centre: the mean of the intervals within a fifth of it, moved to
        // that mean and taken again, since the first bin found may lie on the
        // peak's flank when jitter spreads it.
        double shortest = static_cast<double>(n) + 0.5;
        for (int pass = 0; pass < 4; ++pass) {
            const double count = sum(shortest * 0.8, shortest * 1.2, false);
            if (count == 0) break;
            shortest = sum(shortest * 0.8, shortest * 1.2, true) / count;
        }
        const double from = shortest * 0.8, to = shortest * 1.2;
        // MFM's three cells, between 1.4 and 1.6 times the shortest interval
        // (FM's two peaks, at a tenth of a cell of jitter, leave a few tenths of a per cent there).
        const double threes = sum(shortest * 1.4, shortest * 1.6, false);
        const bool mfm = threes >= kThreeCellShare * sum(from, to, false);
        return CellRate{shortest / binsPerTick / (mfm ? 2 : 1), mfm ? Encoding::Mfm : Encoding::Fm};
    }
    return std::nullopt;
}

Pll::Pll(double period) : rate_(1 / period), minRate_(rate_ * (1 - kRateRange)), maxRate_(rate_ * (1 + kRateRange)) {}

FluxCells::FluxCells(double period, std::size_t maxCells)
    : pll_(period), maxWords_(maxCells / PackedCells::kWordCells + 1) {}

void FluxCells::Extend(std::span<const std::uint32_t> flux, std::size_t end) {
    constexpr unsigned kWordCells = PackedCells::kWordCells;
    std::array<std::uint8_t, kBatch> runs{};
    end = std::min(end, flux.size());
    while (used_ < end && !Full()) {
        batches_.push_back({words_.size() * kWordCells + pending_, used_, pll_});
        // The loop alone first, so that nothing it keeps has to leave the registers.
        const std::size_t count = std::min(kBatch, end - used_);
        for (std::size_t n = 0; n < count; ++n) runs[n] = static_cast<std::uint8_t>(pll_.Cells(flux[used_ + n]));
        for (std::size_t n = 0; n < count; ++n) {
            // run - 1 cells 0, then the 1; a run is at most a word, so it fills at most one.
            pending_ += runs[n];
            if (pending_ <= kWordCells) {
                held_ |= std::uint64_t{1} << (pending_ - 1);
                continue;
            }
            words_.push_back(held_);
            pending_ -= kWordCells;
            held_ = std::uint64_t{1} << (pending_ - 1);
            if (Full()) {  // the cells allowed are made: no more, ever
                used_ += n + 1;
                return;
            }
        }
        used_ += count;
    }
}

PackedCells FluxCells::Cells() const {
    std::vector<std::uint64_t> words = words_;
    if (pending_ != 0) words.push_back(held_);
    return {std::move(words), words_.size() * PackedCells::kWordCells + pending_};
}

PackedCells FluxCells::TakeCells() && {
    const std::size_t size = words_.size() * PackedCells::kWordCells + pending_;
    if (pending_ != 0) words_.push_back(held_);
    return {std::move(words_), size};
}

std::size_t FluxCells::IntervalOf(std::span<const std::uint32_t> flux, std::size_t cell) const {
    // The last batch that began at or before the cell, and the loop from there.
    const auto after = std::upper_bound(batches_.begin(), batches_.end(), cell,
                                        [](std::size_t c, const Batch& batch) { return c < batch.FirstCell; });
    if (after == batches_.begin()) return 0;
    const auto batch = static_cast<std::size_t>(after - batches_.begin()) - 1;
    Pll pll = batches_[batch].Loop;
    std::size_t end = batches_[batch].FirstCell;
    for (std::size_t n = batches_[batch].FirstInterval; n < std::min(used_, flux.size()); ++n) {
        end += pll.Cells(flux[n]);
        if (cell < end) return n;
    }
    return flux.size();
}

PackedCells FluxToCells(std::span<const std::uint32_t> flux, double period, std::size_t maxCells) {
    FluxCells cells(period, maxCells);
    cells.Extend(flux, flux.size());
    return std::move(cells).TakeCells();
}

}  // namespace tabulon
