#pragma once

#include "CellDecoder.h"
#include "DiskData.h"
#include "DecodedSector.h"
#include "FluxTrack.h"
#include "IdField.h"
#include "ImageReader.h"
#include "SectorLocation.h"
#include "TrackLayout.h"
#include "TrackWalk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// The cell decoder's records of sectors as the core's: what the containers of
// bit cells and flux (DMK, HFE, SCP, KryoFlux) hand on.

// The cell decoder's search for the sector at address; nothing when no ID
// field can name it (a number outside 0 to 255).
std::optional<SectorQuery> QueryOf(const SectorPosition& address);

// The sector found, its first data byte at fileOffset in the file.
SectorLocation LocationOf(DecodedSector sector, ImageFormat format, std::int64_t fileOffset);

SectorId SectorIdOf(const SectorAddress& id, Encoding coding);
inline SectorId SectorIdOf(const DecodedSector& sector) { return SectorIdOf(sector.Id, sector.Coding); }

// The sectors with a good ID CRC, in the order given.
std::vector<SectorId> GoodIds(const std::vector<DecodedSector>& sectors);

// What reading a decoded sector found.
SectorReading ReadingOf(const DecodedSector& sector);

// What reading the sector behind an ID field found: its data field, read by
// readData, only when detail asks for it.
template <class ReadData>
SectorReading ReadingOf(const IdField& id, ReadData readData, TrackDetail detail) {
    if (detail == TrackDetail::IdsOnly) return {id.CrcOk, std::nullopt, false};
    return ReadingOf(readData());
}

// How much of each sector the cell decoder reads for a track listing.
constexpr SectorDetail DetailOf(TrackDetail detail) {
    return detail == TrackDetail::WithData ? SectorDetail::WithData : SectorDetail::IdsOnly;
}

// A track's sectors as the cell decoder listed them, every ID field with what
// reading it found; the geometry counts only those with a good ID CRC.
TrackLayout LayoutOf(int cylinder, int side, const std::vector<DecodedSector>& sectors);

// A listing from the cell decoder, before any track: only ID fields with a
// good CRC count toward the geometry.
template <class Header>
TrackList DecodedTrackList(DiskData& /*image*/, const Header& /*header*/) {
    TrackList list;
    list.GoodIdsOnly = true;
    return list;
}

// A track of a flux capture as a walk meets it: each sector the best of its
// revolutions, which are read when first asked for. A track whose revolutions
// cannot be had (its entry or stream malformed) holds no sectors.
class FluxWalkedTrack : public WalkedTrack {
public:
    FluxWalkedTrack(TrackPlace place, ImageFormat format, FluxBudget& budget)
        : WalkedTrack(place), format_(format), budget_(budget) {}

    TrackLayout Layout(TrackDetail detail) override;
    std::optional<SectorLocation> Find(const SectorPosition& address) override;

protected:
    // The track's revolutions; throws StructureEnds where they cannot be had.
    virtual FluxTrack& Flux() = 0;
    // Where interval n of a revolution lies in the file.
    virtual std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) = 0;

private:
    ImageFormat format_;
    FluxBudget& budget_;
};

// A flux revolution's first intervals into flux, at most limit of them, as
// walk(take) calls take(position, ticks) for each until take returns false;
// false, with nothing, where the file's structure ends before the revolution.
template <class Walk>
bool ReadIntervals(Walk walk, std::size_t limit, std::vector<std::uint32_t>& flux) {
    flux.clear();
    const bool read = UnlessStructureEnds([&] {
                          walk([&](auto, std::uint32_t ticks) {
                              flux.push_back(ticks);
                              return flux.size() < limit;
                          });
                          return true;
                      }).has_value();
    if (!read) flux.clear();
    return read;
}

}  // namespace tabulon
