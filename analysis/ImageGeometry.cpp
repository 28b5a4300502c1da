#include "ImageGeometry.h"

#include <algorithm>
#include <map>
#include <set>

namespace tabulon {

namespace {

// The value seen most often; on a tie the larger one.
template <class T>
T MostCommon(const std::map<T, int>& counts) {
    auto best = counts.begin();
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it->second >= best->second) best = it;
    }
    return best->first;
}

// The list with only the sectors that count toward the geometry.
TrackList Counted(const TrackList& list) {
    TrackList counted = list;
    for (TrackLayout& track : counted.Tracks) {
        if (track.Readings.size() != track.Sectors.size()) continue;
        std::vector<SectorId> kept;
        for (std::size_t n = 0; n < track.Sectors.size(); ++n) {
            if (track.Readings[n].IdCrcOk) kept.push_back(track.Sectors[n]);
        }
        track.Sectors = std::move(kept);
        track.Readings.clear();
    }
    counted.GoodIdsOnly = false;
    return counted;
}

}  // namespace

Density TrackDensity(const TrackLayout& track) {
    const auto doubles = std::count_if(track.Sectors.begin(), track.Sectors.end(),
                                       [](const SectorId& id) { return id.Recording == Density::Double; });
    return 2 * doubles >= static_cast<std::ptrdiff_t>(track.Sectors.size()) ? Density::Double : Density::Single;
}

std::optional<ImageGeometry> SummariseGeometry(const TrackList& list) {
    if (list.GoodIdsOnly) return SummariseGeometry(Counted(list));
    std::vector<const TrackLayout*> used;
    for (const TrackLayout& track : list.Tracks) {
        if (!track.Sectors.empty()) used.push_back(&track);
    }
    if (used.empty()) return std::nullopt;

    ImageGeometry geometry;
    std::set<int> sideZero;
    int last = 0;
    for (const TrackLayout* track : used) {
        last = std::max(last, track->Cylinder);
        if (track->Side == 1) geometry.Sides = 2;
        if (track->Side == 0) sideZero.insert(track->Cylinder);
    }
    geometry.Cylinders = last + 1;
    if (list.DeclaredSides > geometry.Sides) geometry.DeclaredSides = list.DeclaredSides;
    geometry.DeclaredCylinders = list.DeclaredCylinders;
    geometry.HeldCylinders = list.DeclaredCylinders ? list.HeldCylinders : geometry.Cylinders;
    if (geometry.Cut()) geometry.Cylinders = std::max(geometry.Cylinders, *geometry.DeclaredCylinders);
    for (int cylinder = 0; cylinder < geometry.Cylinders; ++cylinder) {
        if (cylinder >= geometry.HeldCylinders || !sideZero.contains(cylinder)) {
            geometry.MissingCylinders.push_back(cylinder);
        }
    }

    const bool anyDataTrack =
        std::any_of(used.begin(), used.end(), [](const TrackLayout* t) { return t->Cylinder > 0; });
    std::map<Density, int> densities;
    std::map<int, int> counts;
    std::map<std::int64_t, int> sizes;
    for (const TrackLayout* track : used) {
        if (track->Cylinder == 0 && track->Side == 0) geometry.Track0Density = TrackDensity(*track);
        if (anyDataTrack && track->Cylinder == 0) continue;
        ++densities[TrackDensity(*track)];
        ++counts[static_cast<int>(track->Sectors.size())];
        for (const SectorId& id : track->Sectors) ++sizes[id.Size];
    }
    geometry.DataDensity = MostCommon(densities);
    geometry.SectorsPerTrack = MostCommon(counts);
    geometry.SectorSize = MostCommon(sizes);
    if (sideZero.contains(0) == false) geometry.Track0Density = geometry.DataDensity;
    return geometry;
}

}  // namespace tabulon
