#include "Container.h"

namespace tabulon {

std::optional<SectorLocation> Container::FindSector(DiskData& image, const SectorPosition& address) {
    std::optional<SectorLocation> found;
    Walk(image, TrackPlace{address.Cylinder, address.Side}, [&](WalkedTrack& track) {
        found = track.Find(address);
        return !found && PlacesRepeat();
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
