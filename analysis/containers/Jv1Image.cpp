#include "Jv1Image.h"

#include "ImageReader.h"

namespace tabulon {

namespace {
constexpr std::int64_t kSectorLength = 256;
constexpr std::int64_t kSectorsPerTrack = 10;
constexpr std::int64_t kTrackLength = kSectorsPerTrack * kSectorLength;
}  // namespace

std::optional<Jv1Header> IdentifyJv1(const DiskData& image) {
    const std::int64_t size = image.FileLength();
    if (size == 0 || size % kTrackLength != 0) return std::nullopt;
    return Jv1Header{static_cast<int>(size / kTrackLength)};
}

std::optional<SectorLocation> LocateInJv1(const DiskData& image, const Jv1Header&) {
    const ImageReader sector = ImageReader(image).Window(2 * kSectorLength, kSectorLength);
    return SectorLocation{ImageFormat::Jv1,  LocateMethod::Structure,
                          2 * kSectorLength, SectorBytes(sector.Bytes(0, sector.Size())),
                          kSectorLength,     std::nullopt,
                          std::nullopt};
}

std::vector<TrackLayout> Jv1Tracks(const DiskData&, const Jv1Header& header) {
    std::vector<TrackLayout> tracks;
    for (int cylinder = 0; cylinder < header.Tracks; ++cylinder) {
        TrackLayout track{cylinder, 0, {}};
        for (int sector = 0; sector < kSectorsPerTrack; ++sector) {
            track.Sectors.push_back({static_cast<std::uint8_t>(cylinder), 0, static_cast<std::uint8_t>(sector),
                                     kSectorLength, Density::Single});
        }
        tracks.push_back(std::move(track));
    }
    return tracks;
}

}  // namespace tabulon
