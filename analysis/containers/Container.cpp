#include "Container.h"

#include <algorithm>

namespace tabulon {

std::optional<SectorLocation> Container::FindSector(DiskData& image, const SectorPosition& address) {
    std::optional<SectorLocation> found;
    Walk(image, TrackPlace{address.Cylinder, address.Side}, [&](WalkedTrack& track) {
        found = track.Find(address);
        return !found && PlacesRepeat();
    });
    return found;
}

std::vector<std::optional<SectorLocation>> Container::FindSectors(DiskData& image, TrackPlace place,
                                                                  std::span<const int> numbers) {
    std::vector<std::optional<SectorLocation>> found(numbers.size());
    if (numbers.empty()) return found;
    std::vector<SectorPosition> wanted;
    std::vector<std::size_t> slots;  // where each wanted sector goes in found
    for (std::size_t n = 0; n < numbers.size(); ++n) {
        wanted.push_back({place.Cylinder, place.Side, numbers[n]});
        slots.push_back(n);
    }
    Walk(image, place, [&](WalkedTrack& track) {
        std::vector<std::optional<SectorLocation>> here = track.FindEach(wanted);
        std::size_t left = 0;
        for (std::size_t n = 0; n < wanted.size(); ++n) {
            if (here[n]) {
                found[slots[n]] = std::move(here[n]);
            } else {
                wanted[left] = wanted[n];
                slots[left++] = slots[n];
            }
        }
        wanted.resize(left);
        slots.resize(left);
        return !wanted.empty() && PlacesRepeat();
    });
    return found;
}

TrackList Container::Tracks(DiskData& image, TrackDetail detail) {
    TrackList list = Declared(image);
    Walk(image, std::nullopt, [&](WalkedTrack& track) {
        if (!track.Whole()) return false;  // the file ends inside it
        list.Tracks.push_back(track.Layout(detail));
        return true;
    });
    return list;
}

TrackList Container::Declared(DiskData& /*image*/) { return {}; }

}  // namespace tabulon
