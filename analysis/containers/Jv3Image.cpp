#include "Jv3Image.h"

#include "ImageReader.h"

#include <algorithm>
#include <array>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

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

// A used entry, where it stands.
struct Placed {
    Entry Sector;
    TrackPlace Place;
    std::int64_t DataOffset;  // in the file; -1 for an entry of the second table
    std::size_t Order;        // its number in the tables, from 0
};

// The tables of a file, the second when the first is full and the file holds one.
using Tables = std::vector<EntryTable>;

// Calls meet(placed) for each used entry at or after entry `from` (counted over
// both tables; its data at offset) that scope takes, in the order they stand,
// until meet returns false.
template <class Meet>
void ForEachEntry(const Tables& tables, const WalkScope& scope, std::size_t from, std::int64_t offset, Meet meet) {
    for (std::size_t n = from; n < tables.size() * kEntries; ++n) {
        const Entry entry = tables[n / kEntries][static_cast<std::int64_t>(n % kEntries)];
        const TrackPlace place{entry.Track, (entry.Flags & kJv3Side1) ? 1 : 0};
        if (entry.Track != kJv3FreeTrack && InScope(scope, place)) {
            if (!meet(Placed{entry, place, n < kEntries ? offset : -1, n})) return;
        }
        offset += Jv3SectorLength(entry.Track, entry.Flags);
    }
}

// The entries of one track, in the order they stand in the tables: gathered
// already, or read from the tables as they are asked for (a search at one
// place, which stops at the sector it looks for).
class Jv3Track final : public WalkedTrack {
public:
    Jv3Track(DiskData& image, std::span<const Placed> entries)
        : WalkedTrack(entries.front().Place), image_(image), gathered_(entries) {}
    Jv3Track(DiskData& image, const Tables& tables, const Placed& first)
        : WalkedTrack(first.Place), image_(image), tables_(&tables), first_(first) {}

    TrackLayout Layout(TrackDetail) override {
        TrackLayout track = Empty(gathered_.size());
        ForEach([&](const Placed& placed) {
            const Entry entry = placed.Sector;
            track.Sectors.push_back({entry.Track, static_cast<std::uint8_t>(placed.Place.Side), entry.Sector,
                                     Jv3SectorLength(entry.Track, entry.Flags),
                                     (entry.Flags & kJv3DoubleDensity) ? Density::Double : Density::Single});
            track.Readings.push_back(Jv3Reading(entry.Flags));
            return true;
        });
        return track;
    }

    // The first entry of the first table that names the sector.
    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        return std::move(FindEach(std::span(&address, 1)).front());
    }

    // The same for each address, in one pass over the track's entries.
    std::vector<std::optional<SectorLocation>> FindEach(std::span<const SectorPosition> addresses) override {
        std::vector<std::optional<SectorLocation>> found(addresses.size());
        std::size_t left = addresses.size();
        if (left == 0) return found;
        ForEach([&](const Placed& placed) {
            if (placed.DataOffset < 0) return true;
            for (std::size_t n = 0; n < addresses.size(); ++n) {
                if (found[n] || placed.Sector.Sector != addresses[n].Sector) continue;
                const std::int64_t length = Jv3SectorLength(placed.Sector.Track, placed.Sector.Flags);
                ImageReader data = ImageReader(image_).Window(placed.DataOffset, length);
                found[n] = SectorLocation{kJv3Container.Format,
                                          LocateMethod::Structure,
                                          placed.DataOffset,
                                          SectorBytes(data.Bytes(0, data.Size())),
                                          length,
                                          std::nullopt,
                                          std::nullopt};
                --left;
            }
            return left > 0;
        });
        return found;
    }

private:
    template <class Meet>
    void ForEach(Meet meet) {
        if (tables_ == nullptr) {
            for (const Placed& placed : gathered_) {
                if (!meet(placed)) return;
            }
            return;
        }
        ForEachEntry(*tables_, Place(), first_.Order, first_.DataOffset, meet);
    }

    DiskData& image_;
    std::span<const Placed> gathered_;
    const Tables* tables_ = nullptr;
    Placed first_{};
};

// The used entries gathered by track and side, each track's in the order they
// stand; a walk at one place reads its entries as they are asked for.
void WalkJv3(DiskData& image, const Jv3Header& header, const WalkScope& scope, const TrackVisitor& visit) {
    ImageReader file(image);
    Tables tables = {EntryTable(file, 0)};
    if (header.TableFull && file.Has(header.DataEnd, kDataStart)) tables.emplace_back(file, header.DataEnd);
    if (scope) {
        std::optional<Placed> first;
        ForEachEntry(tables, scope, 0, kDataStart, [&](const Placed& placed) {
            first = placed;
            return false;
        });
        if (first) {
            Jv3Track track(image, tables, *first);
            visit(track);
        }
        return;
    }
    std::vector<Placed> entries;
    ForEachEntry(tables, scope, 0, kDataStart, [&](const Placed& placed) {
        entries.push_back(placed);
        return true;
    });
    std::sort(entries.begin(), entries.end(), [](const Placed& a, const Placed& b) {
        return std::tuple(a.Place.Cylinder, a.Place.Side, a.Order) <
               std::tuple(b.Place.Cylinder, b.Place.Side, b.Order);
    });
    for (auto first = entries.begin(); first != entries.end();) {
        const auto last = std::find_if(first, entries.end(), [&](const Placed& p) { return p.Place != first->Place; });
        Jv3Track track(image, std::span<const Placed>(&*first, static_cast<std::size_t>(last - first)));
        if (!visit(track)) return;
        first = last;
    }
}

constexpr std::array<std::string_view, 2> kJv3Extensions{".dsk", ".jv3"};
constexpr ContainerFunctions<Jv3Header> kJv3Functions{.Identify = IdentifyJv3, .Walk = WalkJv3};
}  // namespace

constinit const ContainerType kJv3Container{{"JV3", "   JV  Format"},
                                            kJv3Extensions,
                                            HeaderContainer<Jv3Header, kJv3Container, kJv3Functions>::Open,
                                            nullptr,
                                            SectorReach::ByTrack};

}  // namespace tabulon
