#pragma once

#include "Container.h"
#include "DiskData.h"
#include "DiskSectors.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace tabulon {

// The sectors of an image opened as its container, read through the
// container's own search and kept. A track's sector numbers are listed when
// first asked for, its data marks only when one is (they cost reading every
// data field of the track); on containers whose tracks follow one another in
// the file (TD0, IMD), where reaching one track means reading those before it,
// every track is listed at once, with its marks; a listing made already is
// taken as it is. Where reaching a sector costs reading its whole track (HFE,
// TD0, IMD), the first sector asked for on a track brings its other sectors
// along, up to kMostPrefetchedBytes in all; they count as read once asked for. At most kMostTracks tracks are listed
// and kMostReads sectors read; past that every answer is empty, so that a hostile image costs a bounded number of
// reads. A read that falls outside the image leaves that sector unread; a read error or a file that changed stops the
// whole search (AnalysisStopped).
class ContainerSectors final : public DiskSectors {
public:
    static constexpr int kMostTracks = 192;
    static constexpr int kMostReads = 320;
    static constexpr std::int64_t kMostPrefetchedBytes = std::int64_t{4} << 20;

    // Sector numbers of a track, ascending, each with whether its data mark is a deleted one.
    using Marks = std::vector<std::pair<int, bool>>;

    // listed, where given, holds every track the container lists, as read already.
    ContainerSectors(Container& container, DiskData& image, const TrackList* listed = nullptr);

    const std::vector<int>& Numbers(TrackPlace place) override;
    const ReadSector* Read(const SectorPosition& at) override;
    std::optional<bool> Deleted(const SectorPosition& at) override;
    bool Blank() override;

private:
    struct Track {
        std::vector<int> Numbers;
        std::optional<Marks> Deleted;  // each number's data mark, once read
    };
    Track& Listed(TrackPlace place);
    // Reads the sectors numbered numbers at place in one walk, into readAlong_;
    // false where the container reaches each sector directly, the place was
    // read so already, the room is spent or the walk failed.
    bool ReadTrack(TrackPlace place, const std::vector<int>& numbers);
    // The track at place as a walk meets it, or nothing past the budget.
    std::optional<TrackLayout> Layout(TrackPlace place, TrackDetail detail);

    Container& container_;
    DiskData& image_;
    const TrackList* listed_;  // every track, where listed
    bool keepsMarks_;
    bool listWhole_;
    std::optional<TrackList> whole_;  // every track, as listed here with their marks
    std::map<std::pair<int, int>, Track> tracks_;
    std::pair<int, int> lastKey_;  // the place asked for last, and its track
    Track* last_ = nullptr;
    std::map<std::tuple<int, int, int>, std::optional<ReadSector>> sectors_;
    // Sectors read along with the one asked for on their track, not asked for yet.
    std::map<std::tuple<int, int, int>, std::optional<ReadSector>> readAlong_;
    std::set<std::pair<int, int>> readAlongPlaces_;  // places whose sectors were read so
    std::int64_t readAlongBytes_ = 0;
    int tracksLeft_ = kMostTracks;
    int readsLeft_ = kMostReads;
    std::optional<bool> blank_;
};

}  // namespace tabulon
