#include "TrackMap.h"

#include "ImageGeometry.h"
#include "TableCheck.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <map>
#include <span>
#include <utility>
#include <vector>

namespace tabulon {

namespace {

// Sector numbers are bytes: counts of each, in arrays rather than trees.
using NumberCounts = std::array<int, 256>;

// The number counted most often, the lowest one on a tie; none when none is counted.
int MostCommon(std::span<const int> counts, int none) {
    int best = none;
    int most = 0;
    for (std::size_t key = 0; key < counts.size(); ++key) {
        if (counts[key] > most) {
            best = static_cast<int>(key);
            most = counts[key];
        }
    }
    return best;
}

// The size most of a track's sectors have, the smallest on a tie.
std::int64_t UsualSize(const TrackLayout& track) {
    std::vector<std::pair<std::int64_t, int>> sizes;  // a track has a size or two
    for (const SectorId& id : track.Sectors) {
        const auto known =
            std::find_if(sizes.begin(), sizes.end(), [&](const auto& size) { return size.first == id.Size; });
        if (known != sizes.end()) {
            ++known->second;
        } else {
            sizes.emplace_back(id.Size, 1);
        }
    }
    std::int64_t best = 0;
    int most = 0;
    for (const auto& [size, count] : sizes) {
        if (count > most || (count == most && size < best)) {
            best = size;
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
    std::array<int, 257> lengths{};  // how many tracks hold each count of distinct numbers
    for (const TrackLayout& track : tracks) {
        if (track.Sectors.empty() || TrackDensity(track) != recording || FirstOf(track) != first) continue;
        std::bitset<256> numbers;
        for (const SectorId& id : track.Sectors) numbers.set(id.Sector);
        ++lengths[numbers.count()];
    }
    return {first, MostCommon(lengths, 0)};
}

TrackFindings FindingsOf(const TrackLayout& track, const Run& run) {
    TrackFindings findings;
    findings.Recording = TrackDensity(track);
    NumberCounts seen{};
    for (const SectorId& id : track.Sectors) ++seen[id.Sector];
    findings.UsualSize = UsualSize(track);
    for (std::size_t number = 0; number < seen.size(); ++number) {
        if (seen[number] > 1) findings.Twice.push_back(static_cast<int>(number));
    }
    if (!track.Sectors.empty()) {
        for (int number = run.First; number < run.First + run.Length; ++number) {
            if (number > 255 || seen[static_cast<std::size_t>(number)] == 0) findings.Missing.push_back(number);
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
