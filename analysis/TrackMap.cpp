#include "TrackMap.h"

#include "ImageGeometry.h"
#include "TableCheck.h"

#include <algorithm>
#include <map>
#include <set>

namespace tabulon {

namespace {

template <class Key>
Key MostCommon(const std::map<Key, int>& counts, Key none) {
    Key best = none;
    int most = 0;
    for (const auto& [key, count] : counts) {
        if (count > most) {
            best = key;
            most = count;
        }
    }
    return best;
}

// Where a track's run of sector numbers starts: 0, or 1 for tracks numbered from 1 on.
int FirstOf(const TrackLayout& track) {
    int lowest = 255;
    for (const SectorId& id : track.Sectors) lowest = std::min<int>(lowest, id.Sector);
    return std::min(lowest, 1);
}

// The run of sector numbers the tracks like this one use (the same recording,
// numbered from the same first number): that first number and the most common
// count, so that a track 0 of ten sectors from 0 is not held to data tracks of
// eighteen from 1.
struct Run {
    int First = 0;
    int Length = 0;
};

Run RunOf(const std::vector<TrackLayout>& tracks, Density recording, int first) {
    std::map<int, int> lengths;
    for (const TrackLayout& track : tracks) {
        if (track.Sectors.empty() || TrackDensity(track) != recording || FirstOf(track) != first) continue;
        std::set<int> numbers;
        for (const SectorId& id : track.Sectors) numbers.insert(id.Sector);
        ++lengths[static_cast<int>(numbers.size())];
    }
    return {first, MostCommon(lengths, 0)};
}

TrackFindings FindingsOf(const TrackLayout& track, const Run& run) {
    TrackFindings findings;
    findings.Recording = TrackDensity(track);
    std::map<std::int64_t, int> sizes;
    std::map<int, int> seen;
    for (const SectorId& id : track.Sectors) {
        ++sizes[id.Size];
        ++seen[id.Sector];
    }
    findings.UsualSize = MostCommon<std::int64_t>(sizes, 0);
    for (const auto& [number, count] : seen) {
        if (count > 1) findings.Twice.push_back(number);
    }
    if (!track.Sectors.empty()) {
        for (int number = run.First; number < run.First + run.Length; ++number) {
            if (!seen.contains(number)) findings.Missing.push_back(number);
        }
    }
    return findings;
}

}  // namespace

TrackMap MapTracks(TrackList list, const std::optional<DriveSlot>& table) {
    TrackMap map;
    map.Tracks = std::move(list.Tracks);
    std::map<std::pair<Density, int>, Run> runs;  // each kind of track's run, worked out once
    for (const TrackLayout& track : map.Tracks) {
        Run run;
        if (!track.Sectors.empty()) {
            const std::pair kind{TrackDensity(track), FirstOf(track)};
            const auto known = runs.find(kind);
            run = known != runs.end() ? known->second : runs[kind] = RunOf(map.Tracks, kind.first, kind.second);
        }
        map.Findings.push_back(FindingsOf(track, run));
    }
    if (table) {
        const DeclaredGeometry declared = DeclaredBy(*table);
        for (int cylinder = 0; cylinder < declared.Cylinders; ++cylinder) {
            for (int side = 0; side < declared.Sides; ++side) {
                const bool held = std::any_of(map.Tracks.begin(), map.Tracks.end(), [&](const TrackLayout& track) {
                    return track.Cylinder == cylinder && track.Side == side;
                });
                if (!held) map.Absent.push_back({cylinder, side});
            }
        }
    }
    return map;
}

}  // namespace tabulon
