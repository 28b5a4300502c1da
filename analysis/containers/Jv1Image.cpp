#include "Jv1Image.h"

#include "ImageReader.h"

#include <algorithm>

namespace tabulon {

namespace {
constexpr std::int64_t kSectorLength = 256;
constexpr std::int64_t kSectorsPerTrack = 10;
constexpr std::int64_t kTrackLength = kSectorsPerTrack * kSectorLength;
// An ID field numbers a track in one byte: a file longer than 256 tracks holds
// no disk's tracks past that, and listing them would cost memory without end.
constexpr int kMostTracks = 256;
}  // namespace

std::optional<Jv1Header> IdentifyJv1(DiskData& image) {
    const std::int64_t size = image.FileLength();
    if (size == 0 || size % kTrackLength != 0) return std::nullopt;
    return Jv1Header{static_cast<int>(size / kTrackLength)};
}

std::optional<SectorLocation> LocateInJv1(DiskData& image, const Jv1Header& header, const SectorPosition& address) {
    // One side, sectors 0 to 9 on every track.
    if (address.Side != 0 || address.Cylinder < 0 || address.Cylinder >= header.Tracks || address.Sector < 0 ||
        address.Sector >= kSectorsPerTrack) {
        return std::nullopt;
    }
    const std::int64_t offset = (address.Cylinder * kSectorsPerTrack + address.Sector) * kSectorLength;
    ImageReader sector = ImageReader(image).Window(offset, kSectorLength);
    return SectorLocation{kJv1Container.Format,
                          LocateMethod::Structure,
                          offset,
                          SectorBytes(sector.Bytes(0, sector.Size())),
                          kSectorLength,
                          std::nullopt,
                          std::nullopt};
}

TrackList Jv1Tracks(DiskData&, const Jv1Header& header, TrackDetail) {
    std::vector<TrackLayout> tracks;
    for (int cylinder = 0; cylinder < std::min(header.Tracks, kMostTracks); ++cylinder) {
        TrackLayout track{cylinder, 0, {}};
        for (int sector = 0; sector < kSectorsPerTrack; ++sector) {
            track.Sectors.push_back({static_cast<std::uint8_t>(cylinder), 0, static_cast<std::uint8_t>(sector),
                                     kSectorLength, Density::Single});
            track.Readings.push_back({true, true, false});
        }
        tracks.push_back(std::move(track));
    }
    return Undeclared(std::move(tracks));
}

namespace {
constexpr std::array<std::string_view, 2> kJv1Extensions{".dsk", ".jv1"};
constexpr ContainerFunctions<Jv1Header> kJv1Functions{IdentifyJv1, LocateInJv1, Jv1Tracks};
}  // namespace

constinit const ContainerType kJv1Container{
    {"JV1", "   JV1 Format"}, kJv1Extensions, HeaderContainer<Jv1Header, kJv1Container, kJv1Functions>::Open};

}  // namespace tabulon
