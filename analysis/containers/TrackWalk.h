#pragma once

#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace tabulon {

// One track as a container's walk meets it. Nothing of it is read until it is
// asked for, and then once: either its layout, one sector or a few together.
class WalkedTrack {
public:
    explicit WalkedTrack(TrackPlace place, bool whole = true) : place_(place), whole_(whole) {}
    virtual ~WalkedTrack() = default;
    WalkedTrack(const WalkedTrack&) = delete;
    WalkedTrack& operator=(const WalkedTrack&) = delete;

    TrackPlace Place() const noexcept { return place_; }
    // Whether the file holds all of the track (a DMK file may end inside one).
    bool Whole() const noexcept { return whole_; }

    // Its sectors in the order they lie, with what reading them found as far as detail asks.
    virtual TrackLayout Layout(TrackDetail detail) = 0;

    // The sector at address, as the container chooses among the ID fields that
    // name it; nothing when none does or its data cannot be had.
    virtual std::optional<SectorLocation> Find(const SectorPosition& address) = 0;

    // The sectors at addresses, each as Find on this track would give it alone;
    // a container whose track is read in one pass reads it once for all of them.
    virtual std::vector<std::optional<SectorLocation>> FindEach(std::span<const SectorPosition> addresses) {
        std::vector<std::optional<SectorLocation>> found;
        found.reserve(addresses.size());
        for (const SectorPosition& address : addresses) found.push_back(Find(address));
        return found;
    }

protected:
    // A layout at this track's place with room for sectors.
    TrackLayout Empty(std::size_t sectors = 0) const {
        TrackLayout layout{place_.Cylinder, place_.Side, {}};
        layout.Sectors.reserve(sectors);
        layout.Readings.reserve(sectors);
        return layout;
    }

private:
    TrackPlace place_;
    bool whole_;
};

// Told of each track a walk meets, in the order the container holds them;
// returns whether the walk goes on.
using TrackVisitor = std::function<bool(WalkedTrack&)>;

// Which tracks a walk meets: all of them, or only those at one place.
using WalkScope = std::optional<TrackPlace>;

}  // namespace tabulon
