#include "ContainerSectors.h"

#include "AnalysisStopped.h"
#include "ImageGeometry.h"
#include "ImageReader.h"

#include <algorithm>

namespace tabulon {

namespace {

// The largest sector the search keeps whole.
constexpr std::int64_t kMostSectorBytes = 8192;

// Reads that merely fall outside the image leave a sector or track unread;
// anything else (a read error, a file that changed) ends the search.
bool OnlyOutside(const AnalysisStopped& stop) {
    using Reason = AnalysisStopped::Reason;
    const Reason reason = stop.WhyStopped();
    return reason == Reason::ReadOutsideImage || reason == Reason::SectorBeyondImage ||
           reason == Reason::SectorCutShort;
}

}  // namespace

ContainerSectors::ContainerSectors(Container& container, DiskData& image)
    // JV1 records no data marks: every sector reads as an ordinary one there.
    : container_(container),
      image_(image),
      keepsMarks_(container.Type().Format.Name != "JV1"),
      listWhole_(container.Type().Format.Name == "TD0" || container.Type().Format.Name == "IMD") {}

// The sector numbers of a track's own ID fields with good CRCs, and their marks.
void ContainerSectors::Keep(const TrackLayout& layout, Track& track) const {
    for (std::size_t n = 0; n < layout.Sectors.size(); ++n) {
        const SectorId& id = layout.Sectors[n];
        if (id.Cylinder != layout.Cylinder || id.Head != layout.Side) continue;   // an ID of another track
        if (n < layout.Readings.size() && !layout.Readings[n].IdCrcOk) continue;  // noise a decoder met
        track.Deleted.emplace(id.Sector, n < layout.Readings.size() && layout.Readings[n].Deleted);
    }
    track.Numbers.clear();
    for (const auto& [number, deleted] : track.Deleted) track.Numbers.push_back(number);
}

const ContainerSectors::Track& ContainerSectors::Listed(TrackPlace place) {
    const auto key = std::make_pair(place.Cylinder, place.Side);
    if (listWhole_ && tracksLeft_ > 0) {
        tracksLeft_ = 0;
        try {
            for (const TrackLayout& layout : container_.Tracks(image_, TrackDetail::WithData).Tracks) {
                const auto at = std::make_pair(layout.Cylinder, layout.Side);
                if (tracks_.find(at) == tracks_.end()) Keep(layout, tracks_[at]);  // a place recorded twice: the first
            }
        } catch (const AnalysisStopped& stop) {
            if (!OnlyOutside(stop)) throw;
        } catch (const StructureEnds&) {
        }
    }
    if (const auto found = tracks_.find(key); found != tracks_.end()) return found->second;
    Track& track = tracks_[key];
    if (tracksLeft_ <= 0 || place.Cylinder < 0 || place.Side < 0) return track;
    --tracksLeft_;
    try {
        container_.Walk(image_, place, [&](WalkedTrack& walked) {
            // A track the file ends inside holds no sectors, as in the track listing.
            if (walked.Whole()) Keep(walked.Layout(TrackDetail::WithData), track);
            return false;
        });
    } catch (const AnalysisStopped& stop) {
        if (!OnlyOutside(stop)) throw;
    } catch (const StructureEnds&) {
        track = {};
    }
    return track;
}

const std::vector<int>& ContainerSectors::Numbers(TrackPlace place) { return Listed(place).Numbers; }

const ReadSector* ContainerSectors::Read(const SectorPosition& at) {
    const auto key = std::make_tuple(at.Cylinder, at.Side, at.Sector);
    if (const auto found = sectors_.find(key); found != sectors_.end()) {
        return found->second ? &*found->second : nullptr;
    }
    std::optional<ReadSector>& kept = sectors_[key];
    if (readsLeft_ <= 0) return nullptr;
    --readsLeft_;
    const Track& track = Listed({at.Cylinder, at.Side});
    const auto mark = track.Deleted.find(at.Sector);
    if (mark == track.Deleted.end()) return nullptr;
    try {
        std::optional<SectorLocation> location = container_.FindSector(image_, at);
        if (!location) return nullptr;
        SectorBytes& bytes = location->Sector;
        const std::int64_t length =
            std::min({bytes.Length(), location->SectorSize.value_or(bytes.Length()), kMostSectorBytes});
        ReadSector sector;
        sector.Bytes.reserve(static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
        for (std::int64_t n = 0; n < length; ++n) sector.Bytes.push_back(bytes.At(n));
        if (keepsMarks_) sector.Deleted = mark->second;
        kept = std::move(sector);
    } catch (const AnalysisStopped& stop) {
        if (!OnlyOutside(stop)) throw;
        return nullptr;
    } catch (const StructureEnds&) {
        return nullptr;
    }
    return &*kept;
}

bool ContainerSectors::Blank() {
    if (!blank_) {
        if (!Numbers({0, 0}).empty()) {
            blank_ = false;
        } else {
            // Only a disk without track 0 pays for a look at every track.
            try {
                blank_ = !SummariseGeometry(container_.Tracks(image_, TrackDetail::IdsOnly)).has_value();
            } catch (const AnalysisStopped& stop) {
                if (!OnlyOutside(stop)) throw;
                blank_ = false;
            } catch (const StructureEnds&) {
                blank_ = false;
            }
        }
    }
    return *blank_;
}

}  // namespace tabulon
