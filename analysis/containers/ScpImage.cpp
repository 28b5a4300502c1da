#include "ScpImage.h"

#include "DecodedSectors.h"
#include "FluxTrack.h"
#include "ImageReader.h"

#include <algorithm>
#include <limits>
#include <map>
#include <string_view>

namespace tabulon {

namespace {

constexpr std::string_view kSignature = "SCP";
constexpr std::string_view kTrackSignature = "TRK";
constexpr std::int64_t kHeaderLength = 16;
constexpr std::int64_t kTable = 0x10;
constexpr std::int64_t kExtendedTable = 0x80;
constexpr std::uint8_t kFlagIndexCued = 0x01;
constexpr std::uint8_t kFlagExtended = 0x40;
constexpr int kMaxRevolutions = 32;
constexpr std::int64_t kRevolutionEntry = 12;
constexpr std::int64_t kCopyChunk = std::int64_t{64} * 1024;  // file bytes decoded at once
constexpr int kCylinders = 84;                                // the table's 168 tracks

ScpHeader ReadHeader(ImageReader file) {
    ScpHeader header;
    if (!file.StartsWith(0, kSignature) || !file.Has(0, kHeaderLength)) throw StructureEnds();
    header.Version = file.U8(3);
    header.DiskType = file.U8(4);
    header.Revolutions = file.U8(5);
    header.Flags = file.U8(8);
    const int width = file.U8(9);
    header.Heads = file.U8(10);
    header.TicksPerMicrosecond = 1000.0 / (25.0 * (file.U8(11) + 1));
    header.Checksum = file.Le32(12);
    if (header.Revolutions < 1 || header.Revolutions > kMaxRevolutions || header.Heads > 2) throw StructureEnds();
    if (width != 0 && width != 16 && width != 8) throw StructureEnds();
    header.CellBits = width == 8 ? 8 : 16;

    // The table ends at the end of the file or where the first track begins.
    const std::int64_t table = (header.Flags & kFlagExtended) ? kExtendedTable : kTable;
    auto entries = static_cast<std::int64_t>(header.Table.size());
    bool any = false;
    for (std::int64_t n = 0; n < entries; ++n) {
        if (!file.Has(table + 4 * n, 4)) {
            entries = n;
            break;
        }
        const std::uint32_t offset = file.Le32(table + 4 * n);
        if (offset == 0) continue;
        if (offset < table + 4 * (n + 1)) throw StructureEnds();  // a track inside the table so far
        entries = std::min<std::int64_t>(entries, (offset - table) / 4);
        header.Table[static_cast<std::size_t>(n)] = offset;
        any = true;
    }
    if (!any) throw StructureEnds();
    if (header.Heads != 0) {  // one side: are the tracks numbered one after another?
        bool odd = false, even = false;
        for (std::size_t n = 0; n < header.Table.size(); ++n) (n % 2 ? odd : even) |= header.Table[n] != 0;
        header.Consecutive = odd && even;
    }
    return header;
}

// The flux values one use of the file has taken: each range of them is
// decoded at most once, so that track entries and revolutions that point at
// the same data (or at overlapping data) cost nothing more than the file.
class FluxRanges {
public:
    // Takes [start, end) unless it overlaps a range already taken.
    bool Take(std::int64_t start, std::int64_t end) {
        const auto after = taken_.upper_bound(start);
        if (after != taken_.end() && after->first < end) return false;
        if (after != taken_.begin() && std::prev(after)->second > start) return false;
        taken_.emplace(start, end);
        return true;
    }

private:
    std::map<std::int64_t, std::int64_t> taken_;  // start -> end
};

// One track's revolutions as the flux decoder reads them.
class ScpTrack final : public FluxTrack {
public:
    ScpTrack(DiskData& image, const ScpHeader& header, std::uint32_t offset, FluxRanges& taken)
        : file_(image), header_(header), track_(offset) {
        if (!file_.StartsWith(track_, kTrackSignature)) throw StructureEnds();
        const int first = (header.Flags & kFlagIndexCued) || header.Revolutions == 1 ? 0 : 1;
        for (int n = first; n < header.Revolutions; ++n) {
            const std::int64_t entry = track_ + 4 + kRevolutionEntry * n;
            if (!file_.Has(entry, kRevolutionEntry)) break;
            const std::int64_t count = file_.Le32(entry + 4);
            const std::int64_t data = track_ + file_.Le32(entry + 8);
            // An empty revolution holds nothing; one whose values were taken already is refused
            // (one past the end of the file costs nothing: its read fails at once).
            const bool inside = file_.Has(data, count * Width());
            if (count != 0 && (!inside || taken.Take(data, data + count * Width()))) entries_.push_back(entry);
        }
    }

    std::size_t Revolutions() const override { return entries_.size(); }
    double TicksPerMicrosecond() const override { return header_.TicksPerMicrosecond; }

    bool ReadRevolution(std::size_t revolution, std::size_t limit, std::vector<std::uint32_t>& flux) override {
        return ReadIntervals([&](auto take) { Walk(revolution, take); }, std::min(limit, kMaxIntervals), flux);
    }

    // Where interval n of a revolution lies in the file.
    std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) {
        std::int64_t at = Data(revolution);
        Walk(
            revolution,
            [&](std::size_t n, std::uint32_t) {
                at = Data(revolution) + static_cast<std::int64_t>(n) * Width();
                return false;
            },
            interval);
        return at;
    }

private:
    std::int64_t Width() const { return header_.CellBits / 8; }
    std::int64_t Data(std::size_t revolution) { return track_ + file_.Le32(entries_.at(revolution) + 8); }

    // Calls take(value index, interval) for the revolution's intervals from the
    // one that ends at or after value index `from`, while it returns true.
    template <class Take>
    void Walk(std::size_t revolution, Take take, std::size_t from = 0) {
        const std::int64_t count = file_.Le32(entries_.at(revolution) + 4);
        const std::int64_t start = Data(revolution);
        if (!file_.Has(start, count * Width())) throw StructureEnds();  // a count past its data
        const std::uint64_t overflow = std::uint64_t{1} << header_.CellBits;
        std::vector<std::uint8_t> bytes;
        std::uint64_t carried = 0;
        std::size_t interval = 0;
        for (std::int64_t done = 0; done < count;) {
            const std::int64_t values = std::min(count - done, kCopyChunk / Width());
            bytes.resize(static_cast<std::size_t>(values * Width()));
            file_.CopyTo(start + done * Width(), bytes);
            for (std::int64_t n = 0; n < values; ++n) {
                const auto at = static_cast<std::size_t>(n * Width());
                const unsigned value = Width() == 2 ? (unsigned{bytes[at]} << 8) | bytes[at + 1] : unsigned{bytes[at]};
                if (value == 0) {
                    carried = std::min<std::uint64_t>(carried + overflow, std::numeric_limits<std::uint32_t>::max());
                    continue;
                }
                const auto ticks = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(carried + value, std::numeric_limits<std::uint32_t>::max()));
                carried = 0;
                if (interval++ >= from && !take(static_cast<std::size_t>(done + n), ticks)) return;
            }
            done += values;
        }
    }

    ImageReader file_;
    const ScpHeader& header_;
    std::int64_t track_;
    std::vector<std::int64_t> entries_;  // file offsets of the revolutions' entries
};

// The table offset of a cylinder's side, 0 when the capture has none.
std::uint32_t TrackOffset(const ScpHeader& header, int cylinder, int side) {
    if (header.Heads != 0 && side != header.Heads - 1) return 0;
    const auto index = static_cast<std::size_t>(header.Consecutive ? cylinder : 2 * cylinder + side);
    return index < header.Table.size() ? header.Table[index] : 0;
}

}  // namespace

std::optional<ScpHeader> IdentifyScp(DiskData& image) {
    ImageReader file(image);
    if (!file.StartsWith(0, kSignature)) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

namespace {

// One captured track, its revolutions taken from the file when first asked for.
class ScpWalkedTrack final : public FluxWalkedTrack {
public:
    ScpWalkedTrack(DiskData& image, const ScpHeader& header, std::uint32_t offset, TrackPlace place, FluxRanges& taken,
                   FluxBudget& budget)
        : FluxWalkedTrack(place, kScpContainer.Format, budget),
          image_(image),
          header_(header),
          offset_(offset),
          taken_(taken) {}

private:
    ScpTrack& Flux() override {
        if (!track_) track_.emplace(image_, header_, offset_, taken_);
        return *track_;
    }
    std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) override {
        return Flux().FileOffsetOf(revolution, interval);
    }

    DiskData& image_;
    const ScpHeader& header_;
    std::uint32_t offset_;
    FluxRanges& taken_;
    std::optional<ScpTrack> track_;
};

// Every captured track in the table's order. Flux values are decoded once per
// walk, and all its tracks share one budget.
void WalkScp(DiskData& image, const ScpHeader& header, const WalkScope& scope, const TrackVisitor& visit) {
    FluxRanges taken;
    FluxBudget budget;
    ForEachPlace(scope, kCylinders, 2, [&](TrackPlace place) {
        const std::uint32_t offset = TrackOffset(header, place.Cylinder, place.Side);
        if (offset == 0) return true;
        ScpWalkedTrack track(image, header, offset, place, taken, budget);
        return visit(track);
    });
}

}  // namespace

bool ScpChecksumMatches(DiskData& image, const ScpHeader& header) {
    if (header.Checksum == 0) return true;
    ImageReader file(image);
    std::vector<std::uint8_t> bytes;
    std::uint32_t sum = 0;
    for (std::int64_t at = kTable; at < file.Size(); at += kCopyChunk) {
        bytes.resize(static_cast<std::size_t>(std::min(kCopyChunk, file.Size() - at)));
        file.CopyTo(at, bytes);
        for (const std::uint8_t byte : bytes) sum += byte;
    }
    return sum == header.Checksum;
}

std::optional<FileCheck> CheckScpChecksum(DiskData& image, const ScpHeader& header) {
    if (ScpChecksumMatches(image, header)) return std::nullopt;
    return FileCheck::ChecksumMismatch;
}

namespace {
constexpr std::array<std::string_view, 1> kScpExtensions{".scp"};
constexpr ContainerFunctions<ScpHeader> kScpFunctions{.Identify = IdentifyScp,
                                                      .Walk = WalkScp,
                                                      .Declared = DecodedTrackList<ScpHeader>,
                                                      .CheckWholeFile = CheckScpChecksum};
}  // namespace

constinit const ContainerType kScpContainer{
    {"SCP", "   SCP Format"}, kScpExtensions, HeaderContainer<ScpHeader, kScpContainer, kScpFunctions>::Open};

}  // namespace tabulon
