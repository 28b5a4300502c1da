#include "FluxBuilder.h"
#include "IdField.h"
#include "ImageBuilder.h"
#include "ImageContainer.h"
#include "ImageGeometry.h"
#include "SlotDecoding.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace tabulon {
namespace {

namespace img = images;

enum class Capture { Scp, KryoFlux };

// The capture as an image to analyse: an SCP file, or a stream set's track 0
// with the other tracks beside it.
DiskData Load(Capture capture, std::span<const img::TrackCells> tracks, const img::FluxOptions& options) {
    if (capture == Capture::Scp) return DiskData::FromBytes(img::BuildScpImage(tracks, options));
    auto set = img::BuildKryoFluxSet(tracks, options);
    const std::string first = set.begin()->first;
    DiskData image = DiskData::FromBytes(set.begin()->second);
    image.SetSiblings(first, std::make_shared<FilesInMemory>(std::move(set)));
    return image;
}

struct Answer {
    std::optional<ImageFormat> Format;
    std::optional<SectorLocation> Sector;
    std::optional<ImageGeometry> Geometry;
};

Answer Analyse(const DiskData& image) {
    const auto header = IdentifyContainer(image);
    if (!header) return {};
    return {FormatOf(*header), LocateInContainer(image, *header), SummariseGeometry(ContainerTracks(image, *header))};
}

// The same outcome, slot and geometry: sector 2's bytes, CRCs and marker, and what the tracks hold.
void ExpectSameAnswer(const Answer& flux, const Answer& source, const std::string& what) {
    ASSERT_EQ(flux.Sector.has_value(), source.Sector.has_value()) << what;
    EXPECT_EQ(flux.Geometry, source.Geometry) << what;
    if (!source.Sector) return;
    EXPECT_EQ(flux.Sector->CrcOk(), source.Sector->CrcOk()) << what;
    ASSERT_EQ(flux.Sector->Sector.Length(), source.Sector->Sector.Length()) << what;
    for (std::int64_t n = 0; n < source.Sector->Sector.Length(); ++n) {
        ASSERT_EQ(flux.Sector->Sector.At(n), source.Sector->Sector.At(n)) << what << " at " << n;
    }
}

// The tracks of an analysed image as cells: every ID field it lists, sector 2 with its data, the rest E5.
std::vector<img::TrackCells> CellsLike(const DiskData& image) {
    const auto header = IdentifyContainer(image);
    const auto sector = LocateInContainer(image, *header);
    std::vector<std::uint8_t> two;
    for (std::int64_t n = 0; sector && n < sector->Sector.Length(); ++n) two.push_back(sector->Sector.At(n));
    const std::vector<std::uint8_t> filler(1024, 0xE5);
    std::vector<img::TrackCells> tracks;
    for (const TrackLayout& track : ContainerTracks(image, *header)) {
        if (track.Sectors.empty()) continue;
        std::vector<img::TrackSector> sectors;
        for (const SectorId& id : track.Sectors) {
            const auto code = static_cast<std::uint8_t>(id.Size == 128   ? 0
                                                        : id.Size == 256 ? 1
                                                        : id.Size == 512 ? 2
                                                                         : 3);
            const bool system = track.Cylinder == 0 && track.Side == 0 && IsSystemSector(id) && sector;
            if (system) two.resize(static_cast<std::size_t>(id.Size), 0);
            sectors.push_back({id.Sector, system ? two.data() : filler.data(),
                               system && !sector->DataCrcOk.value_or(true), code, id.Cylinder, id.Head});
        }
        const auto style = track.Sectors[0].Recording == Density::Double ? img::TrackStyle::Mfm : img::TrackStyle::Fm;
        const int gap2 = style == img::TrackStyle::Mfm ? 22 : 11;
        auto raw =
            img::MakeTrack(style, static_cast<std::uint8_t>(track.Cylinder), static_cast<std::uint8_t>(track.Side),
                           sectors, gap2, style == img::TrackStyle::Mfm ? 16 : 15);
        tracks.push_back(img::CellsOfTrack(track.Cylinder, track.Side, std::move(raw), style));
    }
    return tracks;
}

constexpr std::array<double, 3> kSpeeds = {-0.05, 0, 0.05};

struct DiskCase {
    const char* what;
    void (*change)(img::DmkOptions&);
    void (*capture)(img::FluxOptions&) = [](img::FluxOptions&) {};
};
void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.what; }

class FluxCapture : public ::testing::TestWithParam<std::tuple<DiskCase, Capture>> {};

// A disk written as DMK and captured as flux at jitter 0.1 cell, 5 % slow, on time and 5 % fast.
TEST_P(FluxCapture, GivesWhatTheDiskGivesAsDmk) {
    const auto& [disk, capture] = GetParam();
    img::DmkOptions options;
    options.Tracks = 3;
    disk.change(options);
    const auto sector = img::MakeSystemSector(img::PdriveSlot{.TrackCount = 77});
    const Answer source = Analyse(DiskData::FromBytes(img::BuildDmkImage(options, sector)));
    ASSERT_EQ(source.Format, ImageFormat::Dmk);
    for (const double speed : kSpeeds) {
        img::FluxOptions flux{.Jitter = 0.1, .Speed = speed};
        disk.capture(flux);
        const Answer answer = Analyse(Load(capture, img::DiskCells(options, sector), flux));
        EXPECT_EQ(answer.Format, capture == Capture::Scp ? ImageFormat::Scp : ImageFormat::KryoFlux);
        ExpectSameAnswer(answer, source, std::string(disk.what) + ", speed " + std::to_string(speed));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, FluxCapture,
    ::testing::Combine(
        ::testing::Values(DiskCase{"MFM", [](img::DmkOptions&) {}},
                          DiskCase{"FM track 0, MFM after", [](img::DmkOptions& o) { o.Track0DoubleDensity = false; }},
                          DiskCase{"FM, double-sided, interleaved",
                                   [](img::DmkOptions& o) {
                                       o.Track0DoubleDensity = o.OtherTracksDoubleDensity = false;
                                       o.DoubleSided = true;
                                       o.Interleave = 3;
                                   }},
                          DiskCase{"bad data CRC", [](img::DmkOptions& o) { o.BadSystemSectorCrc = true; }},
                          DiskCase{"one damaged revolution", [](img::DmkOptions&) {},
                                   [](img::FluxOptions& f) { f.Damaged = 0; }},
                          DiskCase{"part revolution first (SCP not index cued)", [](img::DmkOptions&) {},
                                   [](img::FluxOptions& f) { f.IndexCued = false; }},
                          DiskCase{"single-sided tracks numbered one after another, table at 0x80",
                                   [](img::DmkOptions& o) { o.Track0DoubleDensity = false; },
                                   [](img::FluxOptions& f) { f.Consecutive = f.Extended = true; }}),
        ::testing::Values(Capture::Scp, Capture::KryoFlux)));

TEST(FluxCapture, ADamagedRevolutionIsPassedOver) {
    img::DmkOptions options;
    options.Tracks = 1;
    const auto cells = img::DiskCells(options, img::MakeSystemSector(img::PdriveSlot{}));
    for (const Capture capture : {Capture::Scp, Capture::KryoFlux}) {
        const auto good = Analyse(Load(capture, cells, {.Jitter = 0.1}));
        const auto damaged = Analyse(Load(capture, cells, {.Jitter = 0.1, .Damaged = 0}));
        ASSERT_TRUE(good.Sector && damaged.Sector);
        EXPECT_TRUE(damaged.Sector->CrcOk());
        EXPECT_GT(damaged.Sector->FileOffset, good.Sector->FileOffset) << "read from a later revolution";
        const auto allDamaged = Analyse(Load(capture, cells, {.Revolutions = 1, .Jitter = 0.1, .Damaged = 0}));
        EXPECT_FALSE(allDamaged.Sector && allDamaged.Sector->CrcOk());
    }
}

// Every sample and shared real image the containers read, captured as flux.
TEST(FluxCapture, SamplesAndRealImagesGiveTheirOwnAnswers) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(test::SamplesDir())) files.push_back(entry.path());
    if (const auto real = test::RealImagesDir(); !real.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(real)) files.push_back(entry.path());
    }
    int checked = 0;
    for (const auto& file : files) {
        const DiskData image = DiskData::FromBytes(test::ReadWholeFile(file));
        const Answer source = Analyse(image);
        if (!source.Format) continue;
        const auto cells = CellsLike(image);
        for (const Capture capture : {Capture::Scp, Capture::KryoFlux}) {
            for (const double speed : kSpeeds) {
                const Answer answer = Analyse(Load(capture, cells, {.Revolutions = 2, .Jitter = 0.1, .Speed = speed}));
                ExpectSameAnswer(answer, source, file.filename().string() + ", speed " + std::to_string(speed));
            }
        }
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

}  // namespace
}  // namespace tabulon
