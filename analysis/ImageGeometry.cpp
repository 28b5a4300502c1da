#include "ImageGeometry.h"

#include "Tally.h"

#include <algorithm>
#include <vector>

namespace tabulon {

namespace {

// A track that holds sectors that count toward the geometry: how many, and
// the recording most of them use.
struct UsedTrack {
    const TrackLayout* Track;
    int Sectors;
    Density Recording;
};

}  // namespace

Density TrackDensity(const TrackLayout& track) {
    const auto doubles = std::count_if(track.Sectors.begin(), track.Sectors.end(),
                                       [](const SectorId& id) { return id.Recording == Density::Double; });
    return 2 * doubles >= static_cast<std::ptrdiff_t>(track.Sectors.size()) ? Density::Double : Density::Single;
}

std::optional<ImageGeometry> SummariseGeometry(const TrackList& list) {
    // Where a cell decoder listed the tracks, only ID fields with a good CRC count.
    const auto counts = [&list](const TrackLayout& track, std::size_t n) {
        return !list.GoodIdsOnly || track.Readings.size() != track.Sectors.size() || track.Readings[n].IdCrcOk;
    };
    std::vector<UsedTrack> used;
    int last = 0;
    for (const TrackLayout& track : list.Tracks) {
        int sectors = 0;
        int doubles = 0;
        for (std::size_t n = 0; n < track.Sectors.size(); ++n) {
            if (!counts(track, n)) continue;
            ++sectors;
            if (track.Sectors[n].Recording == Density::Double) ++doubles;
        }
        if (sectors == 0) continue;
        used.push_back({&track, sectors, 2 * doubles >= sectors ? Density::Double : Density::Single});
        last = std::max(last, track.Cylinder);
    }
    if (used.empty()) return std::nullopt;

    ImageGeometry geometry;
    std::vector<bool> sideZero(static_cast<std::size_t>(last) + 1);
    for (const UsedTrack& track : used) {
        if (track.Track->Side == 1) geometry.Sides = 2;
        if (track.Track->Side == 0 && track.Track->Cylinder >= 0) {
            sideZero[static_cast<std::size_t>(track.Track->Cylinder)] = true;
        }
    }
    const auto onSideZero = [&](int cylinder) {
        return cylinder <= last && sideZero[static_cast<std::size_t>(cylinder)];
    };
    geometry.Cylinders = last + 1;
    if (list.DeclaredSides > geometry.Sides) geometry.DeclaredSides = list.DeclaredSides;
    geometry.DeclaredCylinders = list.DeclaredCylinders;
    geometry.HeldCylinders = list.DeclaredCylinders ? list.HeldCylinders : geometry.Cylinders;
    if (geometry.Cut()) geometry.Cylinders = std::max(geometry.Cylinders, *geometry.DeclaredCylinders);
    for (int cylinder = 0; cylinder < geometry.Cylinders; ++cylinder) {
        if (cylinder >= geometry.HeldCylinders || !onSideZero(cylinder)) geometry.MissingCylinders.push_back(cylinder);
    }

    const bool anyDataTrack =
        std::any_of(used.begin(), used.end(), [](const UsedTrack& t) { return t.Track->Cylinder > 0; });
    Tally<Density> densities;
    Tally<int> sectorCounts;
    Tally<std::int64_t> sizes;
    for (const UsedTrack& usedTrack : used) {
        const TrackLayout& track = *usedTrack.Track;
        if (track.Cylinder == 0 && track.Side == 0) geometry.Track0Density = usedTrack.Recording;
        if (anyDataTrack && track.Cylinder == 0) continue;
        densities.Add(usedTrack.Recording);
        sectorCounts.Add(usedTrack.Sectors);
        for (std::size_t n = 0; n < track.Sectors.size(); ++n) {
            if (counts(track, n)) sizes.Add(track.Sectors[n].Size);
        }
    }
    geometry.DataDensity = densities.MostCommon(OnTie::Larger);
    geometry.SectorsPerTrack = sectorCounts.MostCommon(OnTie::Larger);
    geometry.SectorSize = sizes.MostCommon(OnTie::Larger);
    if (!onSideZero(0)) geometry.Track0Density = geometry.DataDensity;
    return geometry;
}

}  // namespace tabulon
