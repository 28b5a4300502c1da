#include "ImdImage.h"

#include "ImageReader.h"

#include <string_view>

namespace tabulon {

namespace {

constexpr std::string_view kSignature = "IMD ";
constexpr std::uint8_t kCommentEnd = 0x1A;
constexpr std::int64_t kMaxCommentLength = std::int64_t{64} * 1024;
constexpr std::size_t kMaxTracks = 1024;  // far more than any disk has sides times cylinders

constexpr std::uint8_t kLastMode = 5;
constexpr std::uint8_t kFirstMfmMode = 3;
constexpr std::uint8_t kHeadCylinderMap = 0x80;
constexpr std::uint8_t kHeadHeadMap = 0x40;
constexpr std::uint8_t kHeadNumber = 0x01;
constexpr std::uint8_t kSizeTable = 0xFF;
constexpr std::uint8_t kLastSizeCode = 6;
constexpr std::int64_t kMaxSectorSize = std::int64_t{16} * 1024;

constexpr std::uint8_t kRecordUnavailable = 0;
constexpr std::uint8_t kLastRecordType = 8;

bool IsCompressed(std::uint8_t type) { return type % 2 == 0; }
bool HasDataError(std::uint8_t type) { return type >= 5; }

struct Track {
    std::uint8_t Mode = 0;
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    std::vector<SectorId> Ids;          // in the order of the numbering map
    std::vector<std::int64_t> Records;  // file offset of each sector's type byte
    std::int64_t End = 0;               // file offset after the track's last record
};

// The track whose mode byte is at offset at; throws StructureEnds when malformed.
Track ReadTrack(ImageReader file, std::int64_t at) {
    Track track;
    track.Mode = file.U8(at);
    track.Cylinder = file.U8(at + 1);
    const std::uint8_t head = file.U8(at + 2);
    const std::int64_t count = file.U8(at + 3);
    const std::uint8_t sizeCode = file.U8(at + 4);
    if (track.Mode > kLastMode || (head & ~(kHeadCylinderMap | kHeadHeadMap | kHeadNumber)) != 0) throw StructureEnds();
    if (sizeCode > kLastSizeCode && sizeCode != kSizeTable) throw StructureEnds();
    track.Head = head & kHeadNumber;

    std::int64_t pos = at + 5;
    const std::vector<std::uint8_t> numbers = file.Bytes(pos, count);
    pos += count;
    std::vector<std::uint8_t> cylinders(static_cast<std::size_t>(count), track.Cylinder);
    std::vector<std::uint8_t> heads(static_cast<std::size_t>(count), track.Head);
    if (head & kHeadCylinderMap) {
        cylinders = file.Bytes(pos, count);
        pos += count;
    }
    if (head & kHeadHeadMap) {
        heads = file.Bytes(pos, count);
        pos += count;
    }
    std::vector<std::int64_t> sizes(static_cast<std::size_t>(count), std::int64_t{128} << (sizeCode & 7u));
    if (sizeCode == kSizeTable) {
        for (auto& size : sizes) {
            size = file.Le16(pos);
            pos += 2;
            if (size < 1 || size > kMaxSectorSize) throw StructureEnds();
        }
    }

    const Density recording = track.Mode >= kFirstMfmMode ? Density::Double : Density::Single;
    for (std::size_t n = 0; n < numbers.size(); ++n) {
        track.Ids.push_back({cylinders[n], heads[n], numbers[n], sizes[n], recording});
        track.Records.push_back(pos);
        const std::uint8_t type = file.U8(pos);
        if (type > kLastRecordType) throw StructureEnds();
        const std::int64_t stored = type == kRecordUnavailable ? 0 : IsCompressed(type) ? 1 : sizes[n];
        if (!file.Has(pos + 1, stored)) throw StructureEnds();
        pos += 1 + stored;
    }
    track.End = pos;
    return track;
}

ImdHeader ReadHeader(ImageReader file) {
    if (!file.StartsWith(0, kSignature)) throw StructureEnds();
    for (std::int64_t n = 4; n < kMaxCommentLength && file.Has(n); ++n) {
        if (file.U8(n) == kCommentEnd) {
            ImdHeader header{n + 1};
            ReadTrack(file, header.FirstTrack);
            return header;
        }
    }
    throw StructureEnds();
}

// One track record: its sectors' IDs read, their records read when asked.
class ImdTrack final : public WalkedTrack {
public:
    ImdTrack(ImageReader file, const Track& track)
        : WalkedTrack({track.Cylinder, track.Head}), file_(file), track_(track) {}

    TrackLayout Layout(TrackDetail) override {
        TrackLayout layout{track_.Cylinder, track_.Head, track_.Ids};
        layout.Readings.reserve(track_.Records.size());
        for (const std::int64_t record : track_.Records) {
            const std::uint8_t type = file_.U8(record);
            // Types 3, 4, 7 and 8 hold deleted data; 5 to 8 data with an error; 0 none.
            const bool deleted = type == 3 || type == 4 || type == 7 || type == 8;
            layout.Readings.push_back(
                {true, type == kRecordUnavailable ? std::nullopt : std::optional(!HasDataError(type)), deleted});
        }
        return layout;
    }

    // The first ID naming the sector whose record holds data.
    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        for (std::size_t n = 0; n < track_.Ids.size(); ++n) {
            const SectorId& id = track_.Ids[n];
            if (!Names(id, address)) continue;
            const std::int64_t record = track_.Records[n];
            const std::uint8_t type = file_.U8(record);
            if (type == kRecordUnavailable) continue;
            std::vector<std::uint8_t> data =
                IsCompressed(type) ? std::vector<std::uint8_t>(static_cast<std::size_t>(id.Size), file_.U8(record + 1))
                                   : file_.Bytes(record + 1, id.Size);
            return SectorLocation{
                kImdContainer.Format, LocateMethod::Structure, record + 1, SectorBytes(std::move(data)), id.Size,
                std::nullopt,         !HasDataError(type)};
        }
        return std::nullopt;
    }

private:
    ImageReader file_;
    const Track& track_;
};

// The tracks from the first, until the file ends or a track is malformed; the
// track count is capped.
void WalkImd(DiskData& image, const ImdHeader& header, const WalkScope& scope, const TrackVisitor& visit) {
    ImageReader file(image);
    TrackStarts<std::int64_t>& starts = *header.Starts;
    try {
        // Once an earlier walk met every track, a walk to one place meets only the tracks there.
        if (scope && starts.Whole()) {
            for (const auto& start : starts.At(*scope)) {
                const Track track = ReadTrack(file, start.At);
                ImdTrack walked(file, track);
                if (!visit(walked)) return;
            }
            return;
        }
        std::int64_t at = header.FirstTrack;
        std::size_t n = 0;
        // A walk to one place starts at its first track, where an earlier walk found it.
        if (const auto start = scope ? starts.First(*scope) : std::nullopt) {
            n = start->Number;
            at = start->At;
        }
        for (; n < kMaxTracks && file.Has(at); ++n) {
            const Track track = ReadTrack(file, at);
            starts.Met(n, {track.Cylinder, track.Head}, at);
            at = track.End;
            if (!InScope(scope, {track.Cylinder, track.Head})) continue;
            ImdTrack walked(file, track);
            if (!visit(walked)) return;
        }
    } catch (const StructureEnds&) {
    }
    starts.Ended();
}

}  // namespace

std::optional<ImdHeader> IdentifyImd(DiskData& image) {
    ImageReader file(image);
    // Most images are no IMD file: tell them by the signature, without an exception.
    if (!file.StartsWith(0, kSignature)) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

namespace {
constexpr std::array<std::string_view, 1> kImdExtensions{".imd"};
constexpr ContainerFunctions<ImdHeader> kImdFunctions{.Identify = IdentifyImd, .Walk = WalkImd, .PlacesRepeat = true};
}  // namespace

constinit const ContainerType kImdContainer{{"IMD", "   IMD Format"},
                                            kImdExtensions,
                                            HeaderContainer<ImdHeader, kImdContainer, kImdFunctions>::Open,
                                            nullptr,
                                            SectorReach::InSequence};

}  // namespace tabulon
