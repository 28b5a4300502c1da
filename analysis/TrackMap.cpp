#include "TrackMap.h"

#include "ImageGeometry.h"
#include "TableCheck.h"
#include "Tally.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <map>
#include <tuple>
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

// The size most of a track's sectors have; on a tie the one met first along the track.
std::int64_t UsualSize(const TrackLayout& track) {
    Tally<std::int64_t> sizes;
    for (const SectorId& id : track.Sectors) sizes.Add(id.Size);
    return sizes.MostCommon(OnTie::First);
}

// What tracks of one kind share besides their numbering: the recording and the usual size.
struct TrackKind {
    Density Recording = Density::Double;
    std::int64_t Size = 0;
    friend bool operator==(const TrackKind&, const TrackKind&) = default;
    friend bool operator<(const TrackKind& a, const TrackKind& b) {
        return std::tie(a.Recording, a.Size) < std::tie(b.Recording, b.Size);
    }
};

// A track's kind and the numbers it holds, worked out once a track.
struct TrackSummary {
    TrackKind Kind;
    NumberSet Numbers;
    NumberSet Twice;
    int Lowest = 0;  // its lowest number, when it holds any
};

TrackSummary SummaryOf(const TrackLayout& track) {
    TrackSummary summary;
    summary.Kind = {TrackDensity(track), UsualSize(track)};
    int lowest = 255;
    for (const SectorId& id : track.Sectors) {
        if (summary.Numbers.Add(id.Sector)) summary.Twice.Add(id.Sector);
        lowest = std::min<int>(lowest, id.Sector);
    }
    summary.Lowest = lowest;
    return summary;
}

// The run of sector numbers a track is held to.
struct Run {
    int First = 0;
    int Length = 0;
};

// The run each track is held to: that of the tracks of its kind and numbering.
// Tracks of one kind with the same lowest number make a lot; the most numerous
// lot first, each starts a run of its own (from that number, as long as most of
// its tracks' counts of numbers) unless its lowest number lies inside a run of
// its kind started before, past that run's first number: its tracks lack the
// first sectors of that run. A run is as long as most of all its tracks' counts.
// So a track 0 of ten from 0 is not held to data tracks of eighteen from 1, nor
// tracks numbered from 65 to tracks numbered from 1.
std::vector<Run> RunsOf(const std::vector<TrackSummary>& summaries, const std::vector<TrackLayout>& tracks) {
    std::map<std::pair<TrackKind, int>, std::vector<std::size_t>> lots;
    for (std::size_t n = 0; n < tracks.size(); ++n) {
        if (!tracks[n].Sectors.empty()) lots[{summaries[n].Kind, summaries[n].Lowest}].push_back(n);
    }
    using Lot = decltype(lots)::value_type;
    std::vector<const Lot*> order;
    order.reserve(lots.size());
    for (const Lot& lot : lots) order.push_back(&lot);
    std::stable_sort(order.begin(), order.end(),
                     [](const Lot* a, const Lot* b) { return a->second.size() > b->second.size(); });

    struct Started {
        TrackKind Kind;
        Run Span;            // as its first lot has it
        Tally<int> Lengths;  // the counts of numbers all its tracks hold
        std::vector<std::size_t> Tracks;
    };
    std::vector<Started> started;
    for (const Lot* lot : order) {
        const TrackKind kind = lot->first.first;
        const int lowest = lot->first.second;
        auto run = std::find_if(started.begin(), started.end(), [&](const Started& s) {
            return s.Kind == kind && s.Span.First < lowest && lowest < s.Span.First + s.Span.Length;
        });
        if (run == started.end()) {
            Tally<int> lengths;
            for (const std::size_t n : lot->second) lengths.Add(summaries[n].Numbers.Count());
            started.push_back({kind, {lowest, lengths.MostCommon(OnTie::Smaller)}, {}, {}});
            run = std::prev(started.end());
        }
        for (const std::size_t n : lot->second) {
            run->Lengths.Add(summaries[n].Numbers.Count());
            run->Tracks.push_back(n);
        }
    }
    std::vector<Run> runs(tracks.size());
    for (const Started& run : started) {
        for (const std::size_t n : run.Tracks) runs[n] = {run.Span.First, run.Lengths.MostCommon(OnTie::Smaller)};
    }
    return runs;
}

// As the map shows a track, from the most serious: where a container records
// nothing of its reading, its sectors count as read well.
TrackState StateOf(const TrackLayout& track, const TrackFindings& findings) {
    if (track.Sectors.empty()) return TrackState::Unformatted;
    const bool crc = std::any_of(track.Readings.begin(), track.Readings.end(), [](const SectorReading& reading) {
        return !reading.IdCrcOk || reading.DataCrcOk != true;
    });
    if (crc) return TrackState::CrcError;
    return findings.Missing.empty() ? TrackState::Good : TrackState::SectorsMissing;
}

TrackFindings FindingsOf(const TrackLayout& track, const TrackSummary& summary, const Run& run) {
    TrackFindings findings;
    findings.Recording = summary.Kind.Recording;
    findings.UsualSize = summary.Kind.Size;
    findings.Twice = summary.Twice.Numbers();
    if (!track.Sectors.empty()) {
        for (int number = run.First; number < run.First + run.Length; ++number) {
            if (!summary.Numbers.Has(number)) findings.Missing.push_back(number);
        }
    }
    findings.State = StateOf(track, findings);
    return findings;
}

}  // namespace

TrackMap MapTracks(TrackList list, const std::optional<DriveSlot>& table) {
    TrackMap map;
    map.Tracks = std::move(list.Tracks);
    std::vector<TrackSummary> summaries;
    summaries.reserve(map.Tracks.size());
    for (const TrackLayout& track : map.Tracks) summaries.push_back(SummaryOf(track));
    const std::vector<Run> runs = RunsOf(summaries, map.Tracks);
    map.Findings.reserve(map.Tracks.size());
    for (std::size_t n = 0; n < map.Tracks.size(); ++n) {
        map.Findings.push_back(FindingsOf(map.Tracks[n], summaries[n], runs[n]));
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
