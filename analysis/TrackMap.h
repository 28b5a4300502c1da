#pragma once

#include "SlotDecoding.h"
#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// How a place of the map fares, the most serious first: a track with no sector,
// a sector with an ID or data CRC error or without data, numbers missing, all
// good; Absent is a place the map lists as absent, where the image holds no track.
enum class TrackState { Unformatted, CrcError, SectorsMissing, Good, Absent };

// What one track of the map holds beyond its sectors: its usual recording and
// size, the sector numbers it lacks or holds twice, and its state.
struct TrackFindings {
    Density Recording = Density::Double;  // the recording most of its ID fields use
    std::int64_t UsualSize = 0;           // the size most of its sectors have, the first met on a tie
    std::vector<int> Missing;             // numbers of the run the tracks of its kind use that it lacks
    std::vector<int> Twice;               // numbers its ID fields give more than once
    TrackState State = TrackState::Good;
};

// Every track of an image as the container holds it, read in detail, with
// what each track lacks, and the tracks a Newdos table expects that the image
// does not hold.
struct TrackMap {
    std::vector<TrackLayout> Tracks;
    std::vector<TrackFindings> Findings;  // one per track
    std::vector<TrackPlace> Absent;       // expected by the table, in order, none when unchecked
};

// The map of the tracks listed; table, when there is a Newdos one, says which
// tracks the disk should have: TC cylinders on the sides its SPT names.
TrackMap MapTracks(TrackList list, const std::optional<DriveSlot>& table);

}  // namespace tabulon
