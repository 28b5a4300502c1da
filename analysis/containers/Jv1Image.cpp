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

namespace {

// A track of ten sectors numbered 0 to 9, wherever the file holds it.
class Jv1Track final : public WalkedTrack {
public:
    Jv1Track(DiskData& image, int cylinder) : WalkedTrack({cylinder, 0}), image_(image) {}

    TrackLayout Layout(TrackDetail) override {
        TrackLayout track = Empty(kSectorsPerTrack);
        const auto cylinder = static_cast<std::uint8_t>(Place().Cylinder);
        for (int sector = 0; sector < kSectorsPerTrack; ++sector) {
            track.Sectors.push_back({cylinder, 0, static_cast<std::uint8_t>(sector), kSectorLength, Density::Single});
            track.Readings.push_back({true, true, false});
        }
        return track;
    }

    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        if (address.Sector < 0 || address.Sector >= kSectorsPerTrack) return std::nullopt;
        const std::int64_t offset = (Place().Cylinder * kSectorsPerTrack + address.Sector) * kSectorLength;
        ImageReader sector = ImageReader(image_).Window(offset, kSectorLength);
        return SectorLocation{kJv1Container.Format,
                              LocateMethod::Structure,
                              offset,
                              SectorBytes(sector.Bytes(0, sector.Size())),
                              kSectorLength,
                              std::nullopt,
                              std::nullopt};
    }

private:
    DiskData& image_;
};

// One side; a walk over every track meets no more than an ID field can number.
void WalkJv1(DiskData& image, const Jv1Header& header, const WalkScope& scope, const TrackVisitor& visit) {
    ForEachPlace(scope, scope ? header.Tracks : std::min(header.Tracks, kMostTracks), 1, [&](TrackPlace place) {
        Jv1Track track(image, place.Cylinder);
        return visit(track);
    });
}

constexpr std::array<std::string_view, 2> kJv1Extensions{".dsk", ".jv1"};
constexpr ContainerFunctions<Jv1Header> kJv1Functions{.Identify = IdentifyJv1, .Walk = WalkJv1};
}  // namespace

constinit const ContainerType kJv1Container{
    {"JV1", "   JV1 Format"}, kJv1Extensions, HeaderContainer<Jv1Header, kJv1Container, kJv1Functions>::Open, nullptr,
    SectorReach::Direct,      false};

}  // namespace tabulon
