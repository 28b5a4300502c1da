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

// The sector numbers of a track's own ID fields with good CRCs, and where
// deleted is given, each one's data mark as the first of its ID fields has it.
void Keep(const TrackLayout& layout, std::vector<int>& numbers, ContainerSectors::Marks* deleted) {
    ContainerSectors::Marks marks;
    marks.reserve(layout.Sectors.size());
    for (std::size_t n = 0; n < layout.Sectors.size(); ++n) {
        const SectorId& id = layout.Sectors[n];
        const bool read = n < layout.Readings.size();
        if (id.Cylinder != layout.Cylinder || id.Head != layout.Side) continue;  // an ID of another track
        if (read && !layout.Readings[n].IdCrcOk) continue;                       // noise a decoder met
        marks.emplace_back(id.Sector, read && layout.Readings[n].Deleted);
    }
    // By number, the first ID field of each.
    const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(marks.begin(), marks.end(), byNumber);
    marks.erase(
        std::unique(marks.begin(), marks.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        marks.end());
    numbers.clear();
    numbers.reserve(marks.size());
    for (const auto& [number, mark] : marks) numbers.push_back(number);
    if (deleted != nullptr) *deleted = std::move(marks);
}

// A sector found, as the search keeps it: at most its recorded size and
// kMostSectorBytes of its bytes.
ReadSector KeptOf(SectorLocation& location) {
    SectorBytes& bytes = location.Sector;
    const std::int64_t length =
        std::min({bytes.Length(), location.SectorSize.value_or(bytes.Length()), kMostSectorBytes});
    ReadSector sector;
    sector.Bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
    bytes.CopyTo(sector.Bytes);
    return sector;
}

}  // namespace

ContainerSectors::ContainerSectors(Container& container, DiskData& image, const TrackList* listed)
    : container_(container),
      image_(image),
      listed_(listed),
      keepsMarks_(container.Type().KeepsDataMarks),
      listWhole_(container.Type().Reach == SectorReach::InSequence) {}

std::optional<TrackLayout> ContainerSectors::Layout(TrackPlace place, TrackDetail detail) {
    if (tracksLeft_ <= 0 || place.Cylinder < 0 || place.Side < 0) return std::nullopt;
    --tracksLeft_;
    std::optional<TrackLayout> layout;
    try {
        container_.Walk(image_, place, [&](WalkedTrack& walked) {
            // A track the file ends inside holds no sectors, as in the track listing.
            if (walked.Whole()) layout = walked.Layout(detail);
            return false;
        });
    } catch (const AnalysisStopped& stop) {
        if (!OnlyOutside(stop)) throw;
        layout.reset();
    } catch (const StructureEnds&) {
        layout.reset();
    }
    return layout;
}

ContainerSectors::Track& ContainerSectors::Listed(TrackPlace place) {
    if (listed_ == nullptr && listWhole_) {
        try {
            whole_ = container_.Tracks(image_, TrackDetail::WithData);
        } catch (const AnalysisStopped& stop) {
            if (!OnlyOutside(stop)) throw;
            whole_.emplace();
        } catch (const StructureEnds&) {
            whole_.emplace();
        }
        listed_ = &*whole_;
    }
    const auto key = std::make_pair(place.Cylinder, place.Side);
    // The search asks for one track many times over as it counts its way through a cylinder.
    if (last_ != nullptr && lastKey_ == key) return *last_;
    if (const auto found = tracks_.find(key); found != tracks_.end()) {
        lastKey_ = key;
        return *(last_ = &found->second);
    }
    Track& track = tracks_[key];
    lastKey_ = key;
    last_ = &track;
    if (listed_ != nullptr) {
        // Every track is listed: the first at the place, or none.
        const auto& tracks = listed_->Tracks;
        const auto layout = std::find_if(tracks.begin(), tracks.end(), [&](const TrackLayout& one) {
            return one.Cylinder == place.Cylinder && one.Side == place.Side;
        });
        // A listing made here, or by a container that reads every record anyway, holds the marks.
        const bool marks = whole_ || listWhole_;
        if (layout != tracks.end()) Keep(*layout, track.Numbers, marks ? &track.Deleted.emplace() : nullptr);
        return track;
    }
    if (const auto layout = Layout(place, TrackDetail::IdsOnly)) Keep(*layout, track.Numbers, nullptr);
    return track;
}

const std::vector<int>& ContainerSectors::Numbers(TrackPlace place) { return Listed(place).Numbers; }

bool ContainerSectors::ReadTrack(TrackPlace place, const std::vector<int>& numbers) {
    if (container_.Type().Reach == SectorReach::Direct || readAlongBytes_ >= kMostPrefetchedBytes) return false;
    if (!readAlongPlaces_.insert({place.Cylinder, place.Side}).second) return false;
    std::vector<std::pair<std::tuple<int, int, int>, std::optional<ReadSector>>> read;
    try {
        std::vector<std::optional<SectorLocation>> found = container_.FindSectors(image_, place, numbers);
        for (std::size_t n = 0; n < numbers.size(); ++n) {
            read.emplace_back(std::make_tuple(place.Cylinder, place.Side, numbers[n]),
                              found[n] ? std::optional(KeptOf(*found[n])) : std::nullopt);
        }
    } catch (const AnalysisStopped&) {
        return false;  // each sector is then read alone, and fails alone
    } catch (const StructureEnds&) {
        return false;
    }
    for (auto& [key, sector] : read) {
        if (sector) readAlongBytes_ += static_cast<std::int64_t>(sector->Bytes.size());
        readAlong_.emplace(key, std::move(sector));
    }
    return true;
}

const ReadSector* ContainerSectors::Read(const SectorPosition& at) {
    const auto key = std::make_tuple(at.Cylinder, at.Side, at.Sector);
    if (const auto found = sectors_.find(key); found != sectors_.end()) {
        return found->second ? &*found->second : nullptr;
    }
    std::optional<ReadSector>& kept = sectors_[key];
    if (readsLeft_ <= 0) return nullptr;
    --readsLeft_;
    const std::vector<int>& numbers = Numbers({at.Cylinder, at.Side});
    if (!std::binary_search(numbers.begin(), numbers.end(), at.Sector)) return nullptr;
    // Where a sector costs reading its track, the track's sectors are read together, once.
    auto along = readAlong_.find(key);
    if (along == readAlong_.end() && ReadTrack({at.Cylinder, at.Side}, numbers)) along = readAlong_.find(key);
    if (along != readAlong_.end()) {
        kept = std::move(along->second);
        readAlong_.erase(along);
        return kept ? &*kept : nullptr;
    }
    try {
        std::optional<SectorLocation> location = container_.FindSector(image_, at);
        if (!location) return nullptr;
        kept = KeptOf(*location);
    } catch (const AnalysisStopped& stop) {
        if (!OnlyOutside(stop)) throw;
        return nullptr;
    } catch (const StructureEnds&) {
        return nullptr;
    }
    return &*kept;
}

std::optional<bool> ContainerSectors::Deleted(const SectorPosition& at) {
    if (!keepsMarks_) return std::nullopt;
    Track& track = Listed({at.Cylinder, at.Side});
    if (!track.Deleted) {
        track.Deleted.emplace();
        std::vector<int> numbers;
        if (const auto layout = Layout({at.Cylinder, at.Side}, TrackDetail::WithData)) {
            Keep(*layout, numbers, &*track.Deleted);
        }
    }
    const Marks& marks = *track.Deleted;
    const auto mark = std::lower_bound(marks.begin(), marks.end(), at.Sector,
                                       [](const auto& one, int number) { return one.first < number; });
    if (mark == marks.end() || mark->first != at.Sector) return std::nullopt;
    return mark->second;
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
