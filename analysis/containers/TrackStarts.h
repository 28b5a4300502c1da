#pragma once

#include "TrackLayout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tabulon {

// Where the tracks of a container that holds them one after another begin in
// the file, in the order a walk met them: learnt by one walk, so that a later
// walk to one place can start there instead of reading every track before it.
// A track is recorded only once every track before it was read whole, so a
// walk that starts at a recorded track meets what a walk from the first would.
// Resume is what a walk needs to go on from there: a file offset, or the
// state of a decompression.
template <class Resume>
class TrackStarts {
public:
    struct Start {
        std::size_t Number = 0;  // how many tracks lie before it
        TrackPlace Place;
        Resume At;
    };

    // Whether the track numbered number would be recorded: the next one in order.
    bool Wants(std::size_t number) const noexcept { return number == starts_.size(); }

    // Records that the track numbered number, at place, begins at at: kept
    // only when it is the next one in order.
    void Met(std::size_t number, TrackPlace place, const Resume& at) {
        if (number == starts_.size()) starts_.push_back({number, place, at});
    }

    // The first track recorded at place, where one is.
    std::optional<Start> First(TrackPlace place) const {
        for (const Start& start : starts_) {
            if (start.Place == place) return start;
        }
        return std::nullopt;
    }

    // Records that a walk went on from a recorded track to where the tracks end:
    // every track is recorded.
    void Ended() noexcept { whole_ = true; }
    bool Whole() const noexcept { return whole_; }

    // Every track recorded at place, in order.
    std::vector<Start> At(TrackPlace place) const {
        std::vector<Start> at;
        for (const Start& start : starts_) {
            if (start.Place == place) at.push_back(start);
        }
        return at;
    }

private:
    std::vector<Start> starts_;
    bool whole_ = false;
};

// The starts a container's header keeps, shared by every copy of the header.
template <class Resume>
using SharedTrackStarts = std::shared_ptr<TrackStarts<Resume>>;

}  // namespace tabulon
