#include "TrackMap.h"

#include "ImageGeometry.h"
#include "TableCheck.h"
#include "Tally.h"

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <utility>
#include <vector>

namespace tabulon {

namespace {

// A set of sector numbers, a bit each.
class NumberSet {
public:
    // Adds number; whether it was there already.
    bool Add(std::uint8_t number) {
        std::uint64_t& word = words_[number / 64u];
        const std::uint64_t bit = std::uint64_t{1} << (number % 64u);
        const bool there = (word & bit) != 0;
        word |= bit;
        return there;
    }
    bool Has(int number) const {
        return number >= 0 && number < 256 &&
               (words_[static_cast<std::size_t>(number) / 64u] >> (static_cast<unsigned>(number) % 64u) & 1u) != 0;
    }
    int Count() const {
        int count = 0;
        for (const std::uint64_t word : words_) count += std::popcount(word);
        return count;
    }
    // The numbers in order.
    std::vector<int> Numbers() const {
        std::vector<int> numbers;
        for (std::size_t w = 0; w < words_.size(); ++w) {
            for (std::uint64_t word = words_[w]; word != 0; word &= word - 1) {
                numbers.push_back(static_cast<int>(64 * w) + std::countr_zero(word));
            }
        }
        return numbers;
    }

private:
    std::array<std::uint64_t, 4> words_{};
};

// The size most of a track's sectors have, the smallest on a tie.
std::int64_t UsualSize(const TrackLayout& track) {
    Tally<std::int64_t> sizes;
    for (const SectorId& id : track.Sectors) sizes.Add(id.Size);
    return sizes.MostCommon(OnTie::Smaller);
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
    Tally<int> lengths;  // the counts of distinct numbers the tracks hold
    for (const TrackLayout& track : tracks) {
        if (track.Sectors.empty() || TrackDensity(track) != recording || FirstOf(track) != first) continue;
        NumberSet numbers;
        for (const SectorId& id : track.Sectors) numbers.Add(id.Sector);
        lengths.Add(numbers.Count());
    }
    return {first, lengths.MostCommon(OnTie::Smaller)};
}

TrackFindings FindingsOf(const TrackLayout& track, const Run& run) {
    TrackFindings findings;
    findings.Recording = TrackDensity(track);
    findings.UsualSize = UsualSize(track);
    NumberSet seen;
    NumberSet twice;
    for (const SectorId& id : track.Sectors) {
        if (seen.Add(id.Sector)) twice.Add(id.Sector);
    }
    findings.Twice = twice.Numbers();
    if (!track.Sectors.empty()) {
        for (int number = run.First; number < run.First + run.Length; ++number) {
            if (!seen.Has(number)) findings.Missing.push_back(number);
        }
    }
    return findings;
}

}  // namespace

TrackMap MapTracks(TrackList list, const std::optional<DriveSlot>& table) {
    TrackMap map;
    map.Tracks = std::move(list.Tracks);
    std::map<std::pair<Density, int>, Run> runs;  // each kind of track's run, worked out once
    map.Findings.reserve(map.Tracks.size());
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
