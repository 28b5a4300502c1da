#include "Jv3Image.h"

#include "ImageReader.h"

#include <array>
#include <map>

namespace tabulon {

namespace {

constexpr std::int64_t kEntries = 2901;
constexpr std::int64_t kEntryLength = 3;
constexpr std::int64_t kWriteProtect = kEntries * kEntryLength;  // 8703
constexpr std::int64_t kDataStart = kWriteProtect + 1;           // 8704

struct Entry {
    std::uint8_t Track;
    std::uint8_t Sector;
    std::uint8_t Flags;
};

// A sector header table of kEntries entries, read in one copy.
class EntryTable {
public:
    EntryTable(ImageReader file, std::int64_t at) { file.CopyTo(at, bytes_); }

    Entry operator[](std::int64_t i) const {
        const auto n = static_cast<std::size_t>(kEntryLength * i);
        return {bytes_[n], bytes_[n + 1], bytes_[n + 2]};
    }

private:
    std::array<std::uint8_t, kEntries * kEntryLength> bytes_{};
};

}  // namespace

std::int64_t Jv3SectorLength(std::uint8_t track, std::uint8_t flags) {
    static constexpr std::array<std::int64_t, 4> kUsed = {256, 128, 1024, 512};
    static constexpr std::array<std::int64_t, 4> kFree = {512, 1024, 128, 256};
    return (track == kJv3FreeTrack ? kFree : kUsed)[flags & kJv3SizeCode];
}

std::optional<Jv3Header> IdentifyJv3(DiskData& image) {
    ImageReader file(image);
    if (file.Size() < kDataStart) return std::nullopt;
    const std::uint8_t protect = file.U8(kWriteProtect);
    if (protect != 0x00 && protect != 0xFF) return std::nullopt;
    const EntryTable table(file, 0);
    std::int64_t offset = kDataStart;
    std::int64_t used = 0;
    for (std::int64_t i = 0; i < kEntries; ++i) {
        const Entry entry = table[i];
        const std::int64_t length = Jv3SectorLength(entry.Track, entry.Flags);
        if (entry.Track != kJv3FreeTrack) {
            if (offset + length > file.Size()) return std::nullopt;  // a stored sector past the end
            ++used;
        }
        offset += length;
    }
    if (used == 0) return std::nullopt;
    return Jv3Header{offset, used == kEntries};
}

namespace {

// What an entry's flags record of its sector: a CRC error, and the data mark
// (single density: FB, FA, F9, F8; double: FB, F8), any but FB a deleted one.
SectorReading Jv3Reading(std::uint8_t flags) {
    constexpr std::uint8_t kCrcError = 0x08;
    constexpr std::uint8_t kDataMark = 0x60;
    const bool deleted = (flags & kJv3DoubleDensity) ? (flags & kDataMark) == 0x20 : (flags & kDataMark) != 0;
    return {true, (flags & kCrcError) == 0, deleted};
}

}  // namespace

std::optional<SectorLocation> LocateInJv3(DiskData& image, const Jv3Header&, const SectorPosition& address) {
    ImageReader file(image);
    const EntryTable table(file, 0);
    std::int64_t offset = kDataStart;
    for (std::int64_t i = 0; i < kEntries; ++i) {
        const Entry entry = table[i];
        const std::int64_t length = Jv3SectorLength(entry.Track, entry.Flags);
        const int side = (entry.Flags & kJv3Side1) != 0 ? 1 : 0;
        if (entry.Track == address.Cylinder && entry.Sector == address.Sector && side == address.Side) {
            ImageReader data = file.Window(offset, length);
            return SectorLocation{kJv3Container.Format,
                                  LocateMethod::Structure,
                                  offset,
                                  SectorBytes(data.Bytes(0, data.Size())),
                                  length,
                                  std::nullopt,
                                  std::nullopt};
        }
        offset += length;
    }
    return std::nullopt;
}

TrackList Jv3Tracks(DiskData& image, const Jv3Header& header, TrackDetail) {
    ImageReader file(image);
    // The first table, and the second when the first is full and the file holds one.
    std::vector<EntryTable> tables = {EntryTable(file, 0)};
    if (header.TableFull && file.Has(header.DataEnd, kDataStart)) tables.emplace_back(file, header.DataEnd);
    std::map<std::pair<int, int>, TrackLayout> tracks;
    for (std::int64_t i = 0; i < kEntries * static_cast<std::int64_t>(tables.size()); ++i) {
        const Entry entry = tables[static_cast<std::size_t>(i / kEntries)][i % kEntries];
        if (entry.Track == kJv3FreeTrack) continue;
        const int side = (entry.Flags & kJv3Side1) ? 1 : 0;
        TrackLayout& track = tracks[{entry.Track, side}];
        track.Cylinder = entry.Track;
        track.Side = side;
        track.Sectors.push_back({entry.Track, static_cast<std::uint8_t>(side), entry.Sector,
                                 Jv3SectorLength(entry.Track, entry.Flags),
                                 (entry.Flags & kJv3DoubleDensity) ? Density::Double : Density::Single});
        track.Readings.push_back(Jv3Reading(entry.Flags));
    }
    std::vector<TrackLayout> list;
    list.reserve(tracks.size());
    for (auto& [position, track] : tracks) list.push_back(std::move(track));
    return Undeclared(std::move(list));
}

namespace {
constexpr std::array<std::string_view, 2> kJv3Extensions{".dsk", ".jv3"};
constexpr ContainerFunctions<Jv3Header> kJv3Functions{IdentifyJv3, LocateInJv3, Jv3Tracks};
}  // namespace

constinit const ContainerType kJv3Container{
    {"JV3", "   JV  Format"}, kJv3Extensions, HeaderContainer<Jv3Header, kJv3Container, kJv3Functions>::Open};

}  // namespace tabulon
