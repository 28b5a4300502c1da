#include "DmkImage.h"

#include "AddressMarks.h"
#include "DataField.h"
#include "DecodedSectors.h"
#include "IdField.h"
#include "ImageReader.h"

#include <array>

namespace tabulon {

namespace {

constexpr std::int64_t kHeaderLength = 16;
constexpr std::int64_t kIdamEntries = 64;
constexpr std::int64_t kIdamTableLength = 2 * kIdamEntries;
constexpr std::int64_t kMaxTrackLength = 0x4000;  // IDAM offsets have 14 bits

constexpr std::uint8_t kOptionSingleSided = 0x10;
constexpr std::uint8_t kOptionSingleDensityUndoubled = 0x40;
constexpr std::uint8_t kOptionIgnoreDensity = 0x80;  // every byte stored once, whatever its density
constexpr std::uint16_t kIdamDoubleDensity = 0x8000;
constexpr std::uint16_t kIdamOffsetMask = 0x3FFF;

DmkHeader ReadHeader(ImageReader file) {
    for (std::int64_t n = 12; n < kHeaderLength; ++n) {
        if (file.U8(n) != 0) throw StructureEnds();
    }
    const std::uint8_t protect = file.U8(0);
    if (protect != 0x00 && protect != 0xFF) throw StructureEnds();
    const std::uint8_t options = file.U8(4);
    DmkHeader header;
    header.Tracks = file.U8(1);
    header.TrackLength = file.Le16(2);
    header.Sides = (options & kOptionSingleSided) ? 1 : 2;
    header.SingleDensityUndoubled = (options & (kOptionSingleDensityUndoubled | kOptionIgnoreDensity)) != 0;
    // A header with no tracks and nothing after it is a blank DMK, as emulators make them.
    if (header.Tracks == 0 && file.Size() == kHeaderLength) return header;
    if (header.Tracks == 0 || header.TrackLength <= kIdamTableLength || header.TrackLength > kMaxTrackLength) {
        throw StructureEnds();
    }
    // Track 0 must be there, and the file no longer than its tracks (one spare track allowed).
    const std::int64_t whole = kHeaderLength + std::int64_t{header.Tracks} * header.Sides * header.TrackLength;
    const std::int64_t size = file.Size();
    if (size < kHeaderLength + header.TrackLength || size > whole + header.TrackLength) throw StructureEnds();
    return header;
}

// The ID field in a field's first bytes.
IdField ReadIdField(ImageReader field, bool doubleDensity) {
    std::array<std::uint8_t, kIdFieldBytes> bytes{};
    field.CopyTo(0, bytes);
    return ReadIdField(bytes, doubleDensity ? Encoding::Mfm : Encoding::Fm);
}

// The bytes from one IDAM pointer's ID field on, one element per recorded byte.
std::optional<ImageReader> FieldAt(ImageReader track, const DmkHeader& header, std::uint16_t pointer) {
    const std::int64_t idMark = pointer & kIdamOffsetMask;
    const bool doubleDensity = (pointer & kIdamDoubleDensity) != 0;
    if (idMark < kIdamTableLength || idMark >= track.Size()) return std::nullopt;
    const std::int64_t step = (doubleDensity || header.SingleDensityUndoubled) ? 1 : 2;
    ImageReader field = track.Window(idMark, track.Size()).Strided(step);
    // ID field: FE, cylinder, head, sector, size code, CRC (2).
    if (!field.Has(0, kIdFieldBytes) || field.U8(0) != kIdAddressMark) return std::nullopt;
    return field;
}

// The bytes of a track after one ID field, one element per recorded byte.
class TrackBytes final : public RecordedBytes {
public:
    static constexpr std::int64_t kLongestWindow = 64;  // more than either recording's

    TrackBytes(ImageReader field, bool doubleDensity) : field_(field), doubleDensity_(doubleDensity) {}

    bool FindDataMark(std::int64_t window) override {
        // The field's ID part takes its first kIdFieldBytes elements; in MFM the
        // mark byte must follow an A1 sync. The window and the byte before it are read at once.
        const auto before = static_cast<std::int64_t>(kIdFieldBytes) - 1;
        std::array<std::uint8_t, kLongestWindow + 1> bytes{};
        const std::int64_t count =
            std::clamp<std::int64_t>(field_.Size() - before, 0, std::min(window, kLongestWindow) + 1);
        field_.CopyTo(before, std::span(bytes).first(static_cast<std::size_t>(count)));
        for (std::int64_t n = 1; n < count; ++n) {
            const auto at = static_cast<std::size_t>(n);
            if (IsDataMark(bytes[at]) && (!doubleDensity_ || bytes[at - 1] == kMfmSync)) {
                mark_ = before + n;
                return true;
            }
        }
        return false;
    }
    bool Has(std::int64_t n, std::int64_t count) const override { return field_.Has(mark_ + n, count); }
    std::uint8_t At(std::int64_t n) override { return field_.U8(mark_ + n); }
    std::size_t CopyTo(std::int64_t n, std::span<std::uint8_t> out) override {
        const std::int64_t there =
            std::clamp<std::int64_t>(field_.Size() - (mark_ + n), 0, static_cast<std::int64_t>(out.size()));
        field_.CopyTo(mark_ + n, out.first(static_cast<std::size_t>(there)));
        return static_cast<std::size_t>(there);
    }
    std::span<const std::uint8_t> Run(std::int64_t n, std::int64_t count) override {
        return field_.Run(mark_ + n, count);
    }
    std::int64_t Position(std::int64_t n) const override { return field_.FileOffset(mark_ + n); }

private:
    ImageReader field_;
    bool doubleDensity_;
    std::int64_t mark_ = 0;
};
static_assert(DataMarkWindow(true) <= TrackBytes::kLongestWindow &&
              DataMarkWindow(false) <= TrackBytes::kLongestWindow);

// One track: the IDAM table at its start points to its ID fields.
class DmkTrack final : public WalkedTrack {
public:
    DmkTrack(ImageReader file, const DmkHeader& header, TrackPlace place)
        : WalkedTrack(place, file.Has(Start(header, place), header.TrackLength)),
          file_(file),
          header_(header),
          start_(Start(header, place)) {}

    // Every ID field counts, whatever its CRC.
    TrackLayout Layout(TrackDetail detail) override {
        const auto& table = Table();
        TrackLayout layout = Empty(static_cast<std::size_t>(std::find(table.begin(), table.end(), 0) - table.begin()));
        ForEachIdField([&](ImageReader field, bool doubleDensity, const IdField& id) {
            layout.Sectors.push_back(SectorIdOf(id.Id, id.Coding));
            layout.Readings.push_back(ReadingOf(
                id,
                [&] {
                    TrackBytes bytes(field, doubleDensity);
                    return SectorAfterIdField(bytes, id, false);
                },
                detail));
            return true;
        });
        return layout;
    }

    // The first ID field naming the sector that a data mark follows, whatever
    // either CRC; the track may be cut short.
    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        std::optional<SectorLocation> found;
        UnlessStructureEnds([&] {
            ForEachIdField([&](ImageReader field, bool doubleDensity, const IdField& id) {
                if (!Names(SectorIdOf(id.Id, id.Coding), address)) return true;
                TrackBytes bytes(field, doubleDensity);
                DecodedSector sector = SectorAfterIdField(bytes, id);
                if (!sector.HasData()) return true;
                const auto offset = static_cast<std::int64_t>(sector.DataStart);
                found = LocationOf(std::move(sector), kDmkContainer.Format, offset);
                return false;
            });
            return true;
        });
        return found;
    }

private:
    // Calls meet(field, doubleDensity, id) for each ID field the IDAM table
    // points to, in the table's order, until meet returns false.
    template <class Meet>
    void ForEachIdField(Meet meet) {
        ImageReader track = file_.Window(start_, header_.TrackLength);
        for (std::int64_t entry = 0; entry < kIdamEntries; ++entry) {
            const std::uint16_t pointer = Table()[static_cast<std::size_t>(entry)];
            if (pointer == 0) break;
            auto field = FieldAt(track, header_, pointer);
            if (!field) continue;
            const bool doubleDensity = (pointer & kIdamDoubleDensity) != 0;
            if (!meet(*field, doubleDensity, ReadIdField(*field, doubleDensity))) return;
        }
    }

    // The IDAM table, read at once when first asked for; entries past the end
    // of a track cut short are 0.
    const std::array<std::uint16_t, kIdamEntries>& Table() {
        if (tableRead_) return table_;
        std::array<std::uint8_t, kIdamTableLength> bytes{};
        ImageReader track = file_.Window(start_, header_.TrackLength);
        const std::int64_t whole = std::min(track.Size(), kIdamTableLength) / 2 * 2;
        track.CopyTo(0, std::span(bytes).first(static_cast<std::size_t>(whole)));
        for (std::size_t entry = 0; entry < table_.size(); ++entry) {
            table_[entry] = static_cast<std::uint16_t>(bytes[2 * entry] | (bytes[2 * entry + 1] << 8));
        }
        tableRead_ = true;
        return table_;
    }

    static std::int64_t Start(const DmkHeader& header, TrackPlace place) {
        return kHeaderLength + (std::int64_t{place.Cylinder} * header.Sides + place.Side) * header.TrackLength;
    }

    ImageReader file_;
    const DmkHeader& header_;
    std::int64_t start_;
    std::array<std::uint16_t, kIdamEntries> table_{};
    bool tableRead_ = false;
};

// Cylinder after cylinder, side 0 then side 1, as the header declares them.
void WalkDmk(DiskData& image, const DmkHeader& header, const WalkScope& scope, const TrackVisitor& visit) {
    ImageReader file(image);
    ForEachPlace(scope, header.Tracks, header.Sides, [&](TrackPlace place) {
        DmkTrack track(file, header, place);
        return visit(track);
    });
}

// The cylinders the header declares, and how many of them from 0 the file holds whole.
TrackList DeclaredDmk(DiskData& image, const DmkHeader& header) {
    const std::int64_t cylinder = std::int64_t{header.Sides} * header.TrackLength;
    const std::int64_t held = cylinder > 0 ? (image.FileLength() - kHeaderLength) / cylinder : 0;
    return {{}, header.Tracks, static_cast<int>(std::clamp<std::int64_t>(held, 0, header.Tracks)), header.Sides};
}

}  // namespace

std::optional<DmkHeader> IdentifyDmk(DiskData& image) {
    ImageReader file(image);
    // Most images are no DMK file: the protect byte and the zeros at 12 tell them, without an exception.
    if (!file.Has(0, kHeaderLength) || (file.U8(0) != 0x00 && file.U8(0) != 0xFF)) return std::nullopt;
    if (!file.StartsWith(12, std::string_view("\0\0\0\0", 4))) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

namespace {
constexpr std::array<std::string_view, 2> kDmkExtensions{".dsk", ".dmk"};
constexpr ContainerFunctions<DmkHeader> kDmkFunctions{
    .Identify = IdentifyDmk, .Walk = WalkDmk, .Declared = DeclaredDmk};
}  // namespace

constinit const ContainerType kDmkContainer{
    {"DMK", "   DMK Format"}, kDmkExtensions, HeaderContainer<DmkHeader, kDmkContainer, kDmkFunctions>::Open};

}  // namespace tabulon
