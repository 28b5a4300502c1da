#pragma once

#include "CellDecoder.h"
#include "DecodedSector.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// One track of a flux capture (SCP, KryoFlux): its whole revolutions, each from
// one index pulse to the next, as the container reads them.
class FluxTrack {
public:
    static constexpr std::size_t kMaxIntervals = std::size_t{1} << 21;  // a revolution's, read at most
    static constexpr std::size_t kMaxCells = std::size_t{1} << 22;      // a revolution's, made at most

    virtual ~FluxTrack() = default;

    virtual std::size_t Revolutions() const = 0;
    // The first intervals of one revolution in sample ticks, at most limit of
    // them (and kMaxIntervals); false, with nothing, where the capture ends
    // before the revolution does.
    virtual bool ReadRevolution(std::size_t revolution, std::size_t limit, std::vector<std::uint32_t>& flux) = 0;
    virtual double TicksPerMicrosecond() const = 0;
};

// The intervals one use of an image (finding a sector, listing its tracks)
// may make into cells, over all its tracks and revolutions: 2^26, some 1,500
// revolutions of a double-density track (45,000 intervals), a few seconds.
// What is left over when it runs out is read as if the tracks ended there.
class FluxBudget {
public:
    static constexpr std::size_t kPerImage = std::size_t{1} << 26;

    explicit FluxBudget(std::size_t intervals = kPerImage) : left_(intervals) {}
    std::size_t Left() const noexcept { return left_; }
    void Spend(std::size_t intervals) noexcept { left_ -= intervals < left_ ? intervals : left_; }

private:
    std::size_t left_;
};

// A sector found in flux: positions are cells of its revolution; Interval is
// the interval (of that revolution) whose transition ends the run of cells
// that holds its first data byte's first cell.
struct FluxSector {
    DecodedSector Sector;
    std::size_t Revolution = 0;
    std::size_t Interval = 0;
};

// A sector of a flux track: the first revolution in which it reads with good
// ID and data CRCs, or else the best reading any revolution gives
// (BetterReading), so that the CRC warnings say what failed. Within a
// revolution the rule of SectorChoice holds; cells are made only as far as
// needed, so a sector early on the track costs little, and a revolution that
// shows no good ID field in its first 1,536 recorded bytes, or two bad ones
// before the first good one, is put off until the others have been tried.
std::optional<FluxSector> FindFluxSector(FluxTrack& track, const SectorQuery& query, FluxBudget& budget);

// The sectors of a flux track in the order they lie, each the best of its
// readings over the revolutions: the same sector (the same ID with a good CRC,
// or a field at the same place) is read again in the next revolution until
// every one reads good (with SectorDetail::IdsOnly, its ID CRC alone).
std::vector<DecodedSector> ListFluxSectors(FluxTrack& track, SectorDetail detail, FluxBudget& budget);

}  // namespace tabulon
