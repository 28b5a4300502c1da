#include "StructureLocation.h"

#include "Crc16.h"
#include "SectorLocation.h"

#include <array>
#include <vector>

namespace tabulon {

namespace {

using Span = std::span<const std::uint8_t>;

constexpr std::size_t kDmkHeader = 16;
constexpr std::size_t kIdamEntries = 64;
constexpr std::size_t kIdamTable = 2 * kIdamEntries;
constexpr std::size_t kMaxDmkTrackLength = 0x4000;  // IDAM offsets have 14 bits
constexpr std::size_t kJv3Entries = 2901;
constexpr std::size_t kJv3DataStart = 3 * kJv3Entries + 1;  // 8704, after the write-protect byte
constexpr std::size_t kJv1TrackLength = 10 * 256;

// After the ID field's CRC, a controller gives up looking for the data address
// mark after this many bytes: 43 in MFM, 30 in FM.
constexpr std::size_t kDamWindowMfm = 43;
constexpr std::size_t kDamWindowFm = 30;

// The bytes of a sector stored whole at offset, as far as the image holds them.
DiskData SectorAt(Span image, std::size_t offset, std::size_t length) {
    if (offset >= image.size()) return DiskData::FromBytes({});
    return DiskData::FromBytes(image.subspan(offset, std::min(length, image.size() - offset)));
}

bool IsDataMark(std::uint8_t byte) { return byte >= 0xF8 && byte <= 0xFB; }

struct DmkHeader {
    std::size_t Tracks;
    std::size_t TrackLength;
    std::size_t Sides;
    bool SingleDensityUndoubled;
};

std::optional<DmkHeader> ReadDmkHeader(Span image) {
    if (image.size() < kDmkHeader) return std::nullopt;
    if (image[0] != 0x00 && image[0] != 0xFF) return std::nullopt;
    for (std::size_t i = 12; i < 16; ++i) {
        if (image[i] != 0) return std::nullopt;
    }
    const DmkHeader header{image[1], static_cast<std::size_t>(image[2] | (image[3] << 8)),
                           (image[4] & 0x10) ? 1u : 2u, (image[4] & 0x40) != 0};
    if (header.Tracks == 0 || header.TrackLength <= kIdamTable || header.TrackLength > kMaxDmkTrackLength) {
        return std::nullopt;
    }
    // Track 0 must be there, and the file no longer than its tracks (one spare track allowed).
    const std::size_t whole = kDmkHeader + header.Tracks * header.Sides * header.TrackLength;
    if (image.size() < kDmkHeader + header.TrackLength || image.size() > whole + header.TrackLength) {
        return std::nullopt;
    }
    return header;
}

bool LooksLikeJv3(Span image) {
    if (image.size() < kJv3DataStart) return false;
    if (image[kJv3DataStart - 1] != 0x00 && image[kJv3DataStart - 1] != 0xFF) return false;
    std::size_t offset = kJv3DataStart;
    bool anyUsed = false;
    for (std::size_t i = 0; i < kJv3Entries; ++i) {
        const std::uint8_t track = image[3 * i];
        const std::size_t length = Jv3SectorLength(track, image[3 * i + 2]);
        if (track != 0xFF) {
            if (offset + length > image.size()) return false;  // a stored sector past the end
            anyUsed = true;
        }
        offset += length;
    }
    return anyUsed;
}

bool LooksLikeJv1(Span image) { return !image.empty() && image.size() % kJv1TrackLength == 0; }

// Reads one field of a DMK track: byte n of a field that starts at `at`, with
// FM bytes doubled when step is 2. Nothing past the track or the image.
class TrackReader {
public:
    TrackReader(Span image, std::size_t start, std::size_t length, std::size_t step)
        : image_(image), start_(start), end_(std::min(image.size(), start + length)), step_(step) {}

    std::optional<std::uint8_t> At(std::size_t offset, std::size_t n) const {
        const std::size_t index = start_ + offset + n * step_;
        if (index >= end_) return std::nullopt;
        return image_[index];
    }
    std::size_t Step() const { return step_; }
    std::size_t FileOffset(std::size_t offset) const { return start_ + offset; }

private:
    Span image_;
    std::size_t start_;
    std::size_t end_;
    std::size_t step_;
};

std::uint16_t StoredCrc(const TrackReader& track, std::size_t offset, std::size_t n) {
    return static_cast<std::uint16_t>((*track.At(offset, n) << 8) | *track.At(offset, n + 1));
}

std::optional<StructureLocation> LocateInDmk(Span image, const DmkHeader& header) {
    const std::size_t trackStart = kDmkHeader;  // track 0, side 0
    for (std::size_t entry = 0; entry < kIdamEntries; ++entry) {
        const unsigned pointer = image[trackStart + 2 * entry] | (image[trackStart + 2 * entry + 1] << 8);
        if (pointer == 0) break;
        const std::size_t idMark = pointer & 0x3FFF;
        const bool doubleDensity = (pointer & 0x8000) != 0;
        if (idMark < kIdamTable || idMark >= header.TrackLength) continue;
        const std::size_t step = (doubleDensity || header.SingleDensityUndoubled) ? 1 : 2;
        const TrackReader track(image, trackStart, header.TrackLength, step);

        // ID field: FE, cylinder, head, sector, size code, CRC (2).
        std::array<std::uint8_t, 7> id{};
        bool complete = true;
        for (std::size_t n = 0; n < id.size() && complete; ++n) {
            const auto byte = track.At(idMark, n);
            complete = byte.has_value();
            if (complete) id[n] = *byte;
        }
        if (!complete || id[0] != 0xFE || id[1] != 0 || id[2] != 0 || id[3] != 2) continue;

        const std::array<std::uint8_t, 3> sync = {0xA1, 0xA1, 0xA1};
        std::uint16_t idCrc = doubleDensity ? Crc16Ccitt(sync) : 0xFFFF;
        idCrc = Crc16Ccitt(Span(id.data(), 5), idCrc);
        const bool idCrcOk = idCrc == ((id[5] << 8) | id[6]);

        // The data address mark within the distance the recording allows.
        const std::size_t window = doubleDensity ? kDamWindowMfm : kDamWindowFm;
        std::optional<std::size_t> dam;
        for (std::size_t n = 7; n < 7 + window && !dam; ++n) {
            const auto byte = track.At(idMark, n);
            if (!byte) break;
            const bool preceded = !doubleDensity || track.At(idMark, n - 1) == std::uint8_t{0xA1};
            if (IsDataMark(*byte) && preceded) dam = n;
        }
        if (!dam) continue;

        const std::size_t size = std::size_t{128} << (id[4] & 3u);
        std::vector<std::uint8_t> data;
        data.reserve(size);
        for (std::size_t n = 0; n < size; ++n) {
            const auto byte = track.At(idMark, *dam + 1 + n);
            if (!byte) break;
            data.push_back(*byte);
        }
        bool dataCrcOk = false;
        if (data.size() == size && track.At(idMark, *dam + 1 + size + 1)) {
            std::uint16_t crc = doubleDensity ? Crc16Ccitt(sync) : 0xFFFF;
            const std::uint8_t mark = *track.At(idMark, *dam);
            crc = Crc16Ccitt(Span(&mark, 1), crc);
            crc = Crc16Ccitt(data, crc);
            dataCrcOk = crc == StoredCrc(track, idMark, *dam + 1 + size);
        }

        StructureLocation found;
        found.Layout = ImageLayout::Dmk;
        found.FormatLabel = kDmkFormatLabel;
        found.Offset = static_cast<std::int64_t>(track.FileOffset(idMark + (*dam + 1) * step));
        found.Sector = DiskData::FromBytes(data);
        found.IdCrcOk = idCrcOk;
        found.DataCrcOk = dataCrcOk;
        found.CrcOk = idCrcOk && dataCrcOk;
        return found;
    }
    return std::nullopt;
}

std::optional<StructureLocation> LocateInJv3(Span image) {
    std::size_t offset = kJv3DataStart;
    for (std::size_t i = 0; i < kJv3Entries; ++i) {
        const std::uint8_t track = image[3 * i];
        const std::uint8_t flags = image[3 * i + 2];
        const std::size_t length = Jv3SectorLength(track, flags);
        if (track == 0 && image[3 * i + 1] == 2 && (flags & 0x10) == 0) {
            StructureLocation found;
            found.Layout = ImageLayout::Jv3;
            found.FormatLabel = kJvFormatLabel;
            found.Offset = static_cast<std::int64_t>(offset);
            found.Sector = SectorAt(image, offset, length);
            return found;
        }
        offset += length;
    }
    return std::nullopt;
}

}  // namespace

std::size_t Jv3SectorLength(std::uint8_t track, std::uint8_t flags) {
    static constexpr std::array<std::size_t, 4> kUsed = {256, 128, 1024, 512};
    static constexpr std::array<std::size_t, 4> kFree = {512, 1024, 128, 256};
    return (track == 0xFF ? kFree : kUsed)[flags & 3u];
}

std::optional<ImageLayout> IdentifyLayout(const DiskData& image) {
    const Span bytes = image.Bytes();
    if (ReadDmkHeader(bytes)) return ImageLayout::Dmk;
    if (LooksLikeJv3(bytes)) return ImageLayout::Jv3;
    if (LooksLikeJv1(bytes)) return ImageLayout::Jv1;
    return std::nullopt;
}

std::optional<StructureLocation> LocateByStructure(const DiskData& image) {
    const Span bytes = image.Bytes();
    const auto layout = IdentifyLayout(image);
    if (!layout) return std::nullopt;
    switch (*layout) {
    case ImageLayout::Dmk: return LocateInDmk(bytes, *ReadDmkHeader(bytes));
    case ImageLayout::Jv3: return LocateInJv3(bytes);
    case ImageLayout::Jv1: break;
    }
    // JV1: ten 256-byte sectors a track from offset 0, so sector 2 of track 0 is at 512.
    StructureLocation found;
    found.Layout = ImageLayout::Jv1;
    found.FormatLabel = kJv1FormatLabel;
    found.Offset = 512;
    found.Sector = SectorAt(bytes, 512, 256);
    return found;
}

}  // namespace tabulon
