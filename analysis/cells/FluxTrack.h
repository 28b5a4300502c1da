#pragma once

#include "SectorLocation.h"
#include "TrackLayout.h"

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
    // them (and kMaxIntervals). Throws StructureEnds where the capture ends
    // before the revolution does.
    virtual void ReadRevolution(std::size_t revolution, std::size_t limit, std::vector<std::uint32_t>& flux) const = 0;
    // Where interval n of a revolution lies in the file.
    virtual std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) const = 0;
    virtual double TicksPerMicrosecond() const = 0;
};

// Track 0, side 0, sector 2 of a flux track: the first revolution in which it
// reads with good ID and data CRCs, or else the best reading any revolution
// gives (a good ID CRC first, then the most data), so that the CRC warnings
// say what failed. Within a revolution the first ID field naming it in time
// counts, the way a controller meets them; its cells are made only as far as
// needed, so a sector early on the track costs little.
std::optional<SectorLocation> SystemSectorInFlux(const FluxTrack& track, ImageFormat format);

// The ID fields with a good CRC, in the order they lie, of the track's first
// revolution whose ID fields all read with a good CRC; or else of the
// revolution with the most good ones.
std::vector<SectorId> IdFieldsInFlux(const FluxTrack& track);

}  // namespace tabulon
