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
    std::int64_t Position(std::int64_t n) const override { return field_.FileOffset(mark_ + n); }

private:
    ImageReader field_;
    bool doubleDensity_;
    std::int64_t mark_ = 0;
};
static_assert(DataMarkWindow(true) <= TrackBytes::kLongestWindow &&
              DataMarkWindow(false) <= TrackBytes::kLongestWindow);

// The sector behind one IDAM pointer, when its ID field names the sector at address.
std::optional<SectorLocation> SectorAt(ImageReader track, const DmkHeader& header, std::uint16_t pointer,
                                       const SectorPosition& address) {
    auto found = FieldAt(track, header, pointer);
    if (!found) return std::nullopt;
    const bool doubleDensity = (pointer & kIdamDoubleDensity) != 0;
    const IdField id = ReadIdField(*found, doubleDensity);
    if (!Names(SectorIdOf(id.Id, id.Coding), address)) return std::nullopt;
    TrackBytes bytes(*found, doubleDensity);
    DecodedSector sector = SectorAfterIdField(bytes, id);
    if (!sector.HasData()) return std::nullopt;
    const auto offset = static_cast<std::int64_t>(sector.DataStart);
    return LocationOf(std::move(sector), kDmkContainer.Format, offset);
}

}  // namespace

std::optional<DmkHeader> IdentifyDmk(DiskData& image) {
    ImageReader file(image);
    // Most images are no DMK file: the protect byte and the zeros at 12 tell them, without an exception.
    if (!file.Has(0, kHeaderLength) || (file.U8(0) != 0x00 && file.U8(0) != 0xFF)) return std::nullopt;
    if (!file.StartsWith(12, std::string_view("\0\0\0\0", 4))) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

std::optional<SectorLocation> LocateInDmk(DiskData& image, const DmkHeader& header, const SectorPosition& address) {
    if (address.Cylinder >= header.Tracks || address.Side >= header.Sides) return std::nullopt;
    try {
        const std::int64_t start =
            kHeaderLength + (std::int64_t{address.Cylinder} * header.Sides + address.Side) * header.TrackLength;
        ImageReader track = ImageReader(image).Window(start, header.TrackLength);
        for (std::int64_t entry = 0; entry < kIdamEntries; ++entry) {
            const std::uint16_t pointer = track.Le16(2 * entry);
            if (pointer == 0) break;
            if (auto found = SectorAt(track, header, pointer, address)) return found;
        }
    } catch (const StructureEnds&) {
    }
    return std::nullopt;
}

TrackList DmkTracks(DiskData& image, const DmkHeader& header, TrackDetail detail) {
    TrackList list{{}, header.Tracks, 0, header.Sides};
    std::vector<TrackLayout>& tracks = list.Tracks;
    ImageReader file(image);
    for (int cylinder = 0; cylinder < header.Tracks; ++cylinder) {
        for (int side = 0; side < header.Sides; ++side) {
            const std::int64_t start =
                kHeaderLength + (std::int64_t{cylinder} * header.Sides + side) * header.TrackLength;
            if (!file.Has(start, header.TrackLength)) return list;  // the image ends before this track
            ImageReader track = file.Window(start, header.TrackLength);
            TrackLayout layout{cylinder, side, {}};
            for (std::int64_t entry = 0; entry < kIdamEntries; ++entry) {
                const std::uint16_t pointer = track.Le16(2 * entry);
                if (pointer == 0) break;
                auto field = FieldAt(track, header, pointer);
                if (!field) continue;
                // Every ID field counts, whatever its CRC.
                const bool doubleDensity = (pointer & kIdamDoubleDensity) != 0;
                const IdField id = ReadIdField(*field, doubleDensity);
                layout.Sectors.push_back(SectorIdOf(id.Id, id.Coding));
                layout.Readings.push_back(ReadingOf(
                    id,
                    [&] {
                        TrackBytes bytes(*field, doubleDensity);
                        return SectorAfterIdField(bytes, id, false);
                    },
                    detail));
            }
            tracks.push_back(std::move(layout));
        }
        list.HeldCylinders = cylinder + 1;
    }
    return list;
}

namespace {
constexpr std::array<std::string_view, 2> kDmkExtensions{".dsk", ".dmk"};
constexpr ContainerFunctions<DmkHeader> kDmkFunctions{IdentifyDmk, LocateInDmk, DmkTracks};
}  // namespace

constinit const ContainerType kDmkContainer{
    {"DMK", "   DMK Format"}, kDmkExtensions, HeaderContainer<DmkHeader, kDmkContainer, kDmkFunctions>::Open};

}  // namespace tabulon
