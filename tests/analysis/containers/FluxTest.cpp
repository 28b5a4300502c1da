#include "DecodedSectors.h"
#include "FluxBuilder.h"
#include "FluxTrack.h"
#include "ImageBuilder.h"
#include "AnalysisStopped.h"
#include "ContainerList.h"
#include "ImageFile.h"
#include "ImagePath.h"
#include "ImageGeometry.h"
#include "SlotDecoding.h"
#include "TestSupport.h"
#include "DmkImage.h"
#include "KryoFluxImage.h"
#include "ScpImage.h"
#include "TrackMap.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <set>
#include <string>
#include <utility>

namespace tabulon {
namespace {

namespace img = images;

enum class Capture { Scp, KryoFlux };

std::uint32_t Le32(const test::Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
void Put32(test::Bytes& b, std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

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

Answer Analyse(auto&& image) {
    const auto header = OpenContainer(image);
    if (!header) return {};
    return {header->Type().Format, header->FindSector(image, kSystemSector), SummariseGeometry(header->Tracks(image))};
}

// The same outcome, slot and geometry: sector 2's bytes, CRCs and marker, and what the tracks hold.
void ExpectSameAnswer(auto&& flux, auto&& source, const std::string& what) {
    ASSERT_EQ(flux.Sector.has_value(), source.Sector.has_value()) << what;
    // What the tracks hold: a capture declares no cylinder count (none of these sources is cut).
    const auto held = [](std::optional<ImageGeometry> geometry) {
        if (geometry && !geometry->Cut()) {
            geometry->DeclaredCylinders.reset();
            geometry->HeldCylinders = 0;
        }
        return geometry;
    };
    EXPECT_EQ(held(flux.Geometry), held(source.Geometry)) << what;
    if (!source.Sector) return;
    EXPECT_EQ(flux.Sector->CrcOk(), source.Sector->CrcOk()) << what;
    ASSERT_EQ(flux.Sector->Sector.Length(), source.Sector->Sector.Length()) << what;
    for (std::int64_t n = 0; n < source.Sector->Sector.Length(); ++n) {
        ASSERT_EQ(flux.Sector->Sector.At(n), source.Sector->Sector.At(n)) << what << " at " << n;
    }
}

// The tracks of an analysed image as cells: every ID field it lists, sector 2 with its data, the rest E5.
std::vector<img::TrackCells> CellsLike(auto&& image) {
    const auto header = OpenContainer(image);
    auto sector = header->FindSector(image, kSystemSector);
    std::vector<std::uint8_t> two;
    for (std::int64_t n = 0; sector && n < sector->Sector.Length(); ++n) two.push_back(sector->Sector.At(n));
    const std::vector<std::uint8_t> filler(1024, 0xE5);
    std::vector<img::TrackCells> tracks;
    for (const TrackLayout& track : header->Tracks(image).Tracks) {
        if (track.Sectors.empty()) continue;
        std::vector<img::TrackSector> sectors;
        for (const SectorId& id : track.Sectors) {
            const auto code = static_cast<std::uint8_t>(id.Size == 128   ? 0
                                                        : id.Size == 256 ? 1
                                                        : id.Size == 512 ? 2
                                                                         : 3);
            const bool system =
                track.Cylinder == 0 && track.Side == 0 && id.Cylinder == 0 && id.Head == 0 && id.Sector == 2 && sector;
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
constexpr std::array<double, 2> kJitters = {0.05, 0.10};  // sigma, a part of the encoding's own cell

struct DiskCase {
    const char* what;
    void (*change)(img::DmkOptions&);
    void (*capture)(img::FluxOptions&) = [](img::FluxOptions&) {};
};
void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.what; }

class FluxCapture : public ::testing::TestWithParam<std::tuple<DiskCase, Capture>> {};

// A disk written as DMK and captured as flux with Gaussian jitter of 0.05 and
// 0.10 of the encoding's own cell, 5 % slow, on time and 5 % fast, two seeds each.
TEST_P(FluxCapture, GivesWhatTheDiskGivesAsDmk) {
    const auto& [disk, capture] = GetParam();
    img::DmkOptions options;
    options.Tracks = 3;
    disk.change(options);
    const auto sector = img::MakeSystemSector(img::PdriveSlot{.TrackCount = 77});
    Answer source = Analyse(DiskData::FromBytes(img::BuildDmkImage(options, sector)));
    ASSERT_EQ(source.Format, kDmkContainer.Format);
    const auto cells = img::DiskCells(options, sector);
    for (const double speed : kSpeeds) {
        for (const double jitter : kJitters) {
            for (const std::uint32_t seed : {1u, 2u}) {
                img::FluxOptions flux{.Jitter = jitter, .Speed = speed, .Seed = seed};
                disk.capture(flux);
                Answer answer = Analyse(Load(capture, cells, flux));
                EXPECT_EQ(answer.Format, capture == Capture::Scp ? kScpContainer.Format : kKryoFluxContainer.Format);
                ExpectSameAnswer(answer, source,
                                 std::string(disk.what) + ", speed " + std::to_string(speed) + ", jitter " +
                                     std::to_string(jitter) + ", seed " + std::to_string(seed));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, FluxCapture,
    ::testing::
        Combine(::testing::Values(
                    DiskCase{"MFM", [](img::DmkOptions&) {}},
                    DiskCase{"FM",
                             [](img::DmkOptions& o) { o.Track0DoubleDensity = o.OtherTracksDoubleDensity = false; }},
                    DiskCase{"FM track 0, MFM after", [](img::DmkOptions& o) { o.Track0DoubleDensity = false; }},
                    DiskCase{"8-inch rates: FM 250, MFM 500 kbit/s",
                             [](img::DmkOptions& o) { o.Track0DoubleDensity = false; },
                             [](img::FluxOptions& f) { f.CellMicroseconds = 1; }},
                    DiskCase{
                        "FM, double-sided, interleaved",
                        [](img::DmkOptions& o) {
                            o.Track0DoubleDensity = o.OtherTracksDoubleDensity = false;
                            o.DoubleSided = true;
                            o.Interleave = 3;
                        }},
                    DiskCase{"bad data CRC", [](img::DmkOptions& o) { o.BadSystemSectorCrc = true; }},
                    DiskCase{"one damaged revolution", [](img::DmkOptions& o) { o.Track0DoubleDensity = false; },
                             [](img::FluxOptions& f) { f.Damaged = 0; }},
                    DiskCase{"part revolution first (SCP not index cued)", [](img::DmkOptions&) {},
                             [](img::FluxOptions& f) { f.IndexCued = false; }},
                    DiskCase{"single-sided tracks numbered one after another, table at 0x80",
                             [](img::DmkOptions& o) { o.Track0DoubleDensity = false; },
                             [](img::FluxOptions& f) { f.Consecutive = f.Extended = true; }}),
                ::testing::Values(Capture::Scp, Capture::KryoFlux)));

TEST(KryoFluxNames, SayTheTrackAndTheSet) {
    struct Case {
        const char* name;
        std::optional<StreamName> parsed;
    };
    for (const Case& c : {Case{"track00.0.raw", StreamName{"track", 0, 0}},
                          Case{"disk83.1.RAW", StreamName{"disk", 83, 1}}, Case{"05.1.raw", StreamName{"", 5, 1}},
                          Case{"track00.2.raw", std::nullopt}, Case{"track0.0.raw", std::nullopt},
                          Case{"track00.0.raw.gz", std::nullopt}, Case{"image.scp", std::nullopt}}) {
        const auto parsed = ParseStreamName(c.name);
        ASSERT_EQ(parsed.has_value(), c.parsed.has_value()) << c.name;
        if (!parsed) continue;
        EXPECT_EQ(parsed->Prefix, c.parsed->Prefix) << c.name;
        EXPECT_EQ(parsed->Cylinder, c.parsed->Cylinder) << c.name;
        EXPECT_EQ(parsed->Side, c.parsed->Side) << c.name;
    }
}

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
class ImageAsFlux : public ::testing::TestWithParam<const char*> {};

TEST_P(ImageAsFlux, GivesTheImagesOwnAnswer) {
    const std::string name = GetParam();
    std::filesystem::path file = test::SamplesDir() / name;
    if (!std::filesystem::exists(file)) {
        TABULON_REAL_IMAGES(dir);
        file = dir / name;
    }
    DiskData image = DiskData::FromBytes(test::ReadWholeFile(file));
    Answer source = Analyse(image);
    ASSERT_TRUE(source.Format) << "no container reads " << name;
    const auto cells = CellsLike(image);
    // Each speed and jitter once, as SCP and as a stream set by turns.
    int turn = 0;
    for (const double speed : kSpeeds) {
        for (const double jitter : kJitters) {
            const Capture capture = turn++ % 2 == 0 ? Capture::Scp : Capture::KryoFlux;
            Answer answer = Analyse(Load(capture, cells, {.Revolutions = 2, .Jitter = jitter, .Speed = speed}));
            ExpectSameAnswer(answer, source,
                             name + ", speed " + std::to_string(speed) + ", jitter " + std::to_string(jitter));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ImageAsFlux,
                         ::testing::Values("dmk-drive-report.dsk", "dmk-wrong-marker.dsk", "jv3-drive-report.dsk",
                                           "not-found.dsk", "hfe-drive-report.hfe", "imd-drive-report.imd",
                                           "cpm-blank-sd-marked-mfm.hfe", "frehd-boot-dd.hfe", "frehd-boot-dd.jv3",
                                           "genie-cpm-dd.dmk", "genie-cpm-dd.imd", "model2-cpm-8in.td0",
                                           "newdos80-no-pdrive-dmk.dsk", "newdos80-sd-track0-dmk.dsk",
                                           "newdos80-sssd-jv1.dsk", "newdos86-dd-track0-dmk.dsk"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// A capture an independent writer made of a real single-density disk (Gaussian
// jitter 0.08 of the FM cell, 3 % slow) reads as the disk's own image does.
TEST(SharedFlux, GivesTheSourceImagesAnswer) {
    TABULON_REAL_IMAGES(dir);
    const auto flux = dir.parent_path() / "flux" / "newdos80-sssd-jv1-fm.scp";
    if (!std::filesystem::exists(flux)) GTEST_SKIP() << "no shared flux captures here";
    Answer source = Analyse(DiskData::FromBytes(test::ReadWholeFile(dir / "newdos80-sssd-jv1.dsk")));
    Answer answer = Analyse(DiskData::FromBytes(test::ReadWholeFile(flux)));
    ASSERT_TRUE(source.Sector && source.Sector->CrcOk());
    ExpectSameAnswer(answer, source, flux.string());
}

// A real drive's KryoFlux capture of a 360K PC disk (3 revolutions a track),
// beside the disk's sectors in order: every track holds sectors 1-9 of 512
// bytes, read with good CRCs, lacking nothing, with the image's bytes.
TEST(SharedFlux, ARealDrivesCaptureGivesEverySector) {
    const std::filesystem::path shared = test::SharedDir();
    if (shared.empty()) GTEST_SKIP() << "the shared folder is not here";
    const test::Bytes sectors = test::ReadWholeFile(shared / "flux" / "real-360k.img");
    ASSERT_EQ(sectors.size(), 40u * 2 * 9 * 512);
    ImageFile file;
    ASSERT_TRUE(OpenImagePath((shared / "flux" / "real-360k").string(), file).Opened());
    DiskData image = file.Load();
    const auto container = OpenContainer(image);
    ASSERT_TRUE(container);
    ASSERT_EQ(container->Type().Format.Name, "KryoFlux");
    const TrackMap map = MapTracks(container->Tracks(image, TrackDetail::WithData), std::nullopt);
    ASSERT_EQ(map.Tracks.size(), 80u);
    std::set<std::pair<int, int>> places;
    for (std::size_t n = 0; n < map.Tracks.size(); ++n) {
        const TrackLayout& track = map.Tracks[n];
        SCOPED_TRACE(std::to_string(track.Cylinder) + "/" + std::to_string(track.Side));
        places.emplace(track.Cylinder, track.Side);
        EXPECT_EQ(map.Findings[n].State, TrackState::Good);
        EXPECT_TRUE(map.Findings[n].Missing.empty());
        ASSERT_EQ(track.Sectors.size(), 9u);
        ASSERT_EQ(track.Readings.size(), 9u);
        std::set<int> numbers;
        for (std::size_t k = 0; k < 9; ++k) {
            const SectorId& id = track.Sectors[k];
            numbers.insert(id.Sector);
            EXPECT_EQ(id.Size, 512);
            EXPECT_EQ(id.Cylinder, track.Cylinder);
            EXPECT_EQ(id.Head, track.Side);
            EXPECT_TRUE(track.Readings[k].IdCrcOk);
            EXPECT_EQ(track.Readings[k].DataCrcOk, true);
        }
        EXPECT_EQ(numbers, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        for (int number = 1; number <= 9; ++number) {
            auto found = container->FindSector(image, {track.Cylinder, track.Side, number});
            ASSERT_TRUE(found && found->CrcOk()) << "sector " << number;
            ASSERT_EQ(found->Sector.Length(), 512);
            const std::size_t at = static_cast<std::size_t>(((track.Cylinder * 2 + track.Side) * 9 + number - 1) * 512);
            for (std::int64_t b = 0; b < 512; ++b) {
                ASSERT_EQ(found->Sector.At(b), sectors[at + static_cast<std::size_t>(b)])
                    << "sector " << number << " byte " << b;
            }
        }
    }
    EXPECT_EQ(places.size(), 80u) << "each of 40 cylinders by 2 sides once";
}

// Track entries and revolutions that point at the same flux are read once:
// the answer stays the disk's.
TEST(FluxCapture, RepeatedTracksAndRevolutionsShareTheirFlux) {
    img::DmkOptions options;
    options.Tracks = 2;
    const auto sector = img::MakeSystemSector(img::PdriveSlot{});
    Answer source = Analyse(DiskData::FromBytes(img::BuildDmkImage(options, sector)));
    test::Bytes scp = img::BuildScpImage(img::DiskCells(options, sector), {.Revolutions = 3, .Jitter = 0.05});
    const std::uint32_t track0 = Le32(scp, 0x10);
    for (std::size_t n = 1; n < 3; ++n) {  // every revolution's values are the first one's
        const std::size_t entry = track0 + 4 + 12 * n;
        Put32(scp, entry + 4, Le32(scp, track0 + 8));
        Put32(scp, entry + 8, Le32(scp, track0 + 12));
    }
    ExpectSameAnswer(Analyse(DiskData::FromBytes(scp)), source, "revolutions sharing their values");
    // Every later table entry of side 0 a copy of cylinder 0's or 1's: refused, the sector read as before.
    for (std::size_t n = 4; n < 168; n += 2) Put32(scp, 0x10 + 4 * n, Le32(scp, 0x10 + 4 * (n % 4)));
    Answer answer = Analyse(DiskData::FromBytes(scp));
    ASSERT_TRUE(answer.Geometry);
    answer.Geometry = source.Geometry;
    ExpectSameAnswer(answer, source, "track entries repeated");
}

// A track's revolutions as intervals, for the flux decoder alone.
class IntervalTrack final : public FluxTrack {
public:
    IntervalTrack(std::vector<std::uint32_t> flux, std::size_t revolutions)
        : flux_(std::move(flux)), revolutions_(revolutions) {}
    std::size_t Revolutions() const override { return revolutions_; }
    bool ReadRevolution(std::size_t, std::size_t limit, std::vector<std::uint32_t>& flux) override {
        flux.assign(flux_.begin(), flux_.begin() + static_cast<std::ptrdiff_t>(std::min(limit, flux_.size())));
        return true;
    }
    double TicksPerMicrosecond() const override { return 40; }

private:
    std::vector<std::uint32_t> flux_;
    std::size_t revolutions_;
};

// The intervals an image may decode are capped: what is left over reads as if the track ended.
TEST(FluxBudget, CapsTheIntervalsDecoded) {
    img::DmkOptions options;
    options.Tracks = 1;
    const auto cells = img::DiskCells(options, img::MakeSystemSector(img::PdriveSlot{}));
    std::vector<std::uint32_t> flux;  // 2 us cells at 40 ticks a microsecond, no jitter
    std::uint32_t run = 0;
    for (const std::uint8_t cell : cells[0].Cells) {
        run += 80;
        if (cell != 0) flux.push_back(std::exchange(run, 0));
    }
    IntervalTrack track(flux, 3);
    FluxBudget whole;
    EXPECT_EQ(GoodIds(ListFluxSectors(track, SectorDetail::IdsOnly, whole)).size(), 18u);
    EXPECT_EQ(whole.Left(), FluxBudget::kPerImage - flux.size()) << "one good revolution is enough";
    FluxBudget half(flux.size() / 2);
    const auto some = ListFluxSectors(track, SectorDetail::WithData, half);
    EXPECT_EQ(half.Left(), 0u);
    EXPECT_GT(GoodIds(some).size(), 4u);
    EXPECT_LT(GoodIds(some).size(), 14u);
    FluxBudget none(0);
    EXPECT_FALSE(FindFluxSector(track, SectorQuery{0, 0, 2}, none));
    FluxBudget enough;
    auto found = FindFluxSector(track, SectorQuery{0, 0, 2}, enough);
    ASSERT_TRUE(found && found->Sector.Good());
    EXPECT_EQ(found->Revolution, 0u);
}

// A stream set named in upper case finds its other tracks in upper case; a
// stream file that is there but cannot be read stops the analysis as a read
// error; a folder whose first stream is no file opens the next one.
TEST(KryoFluxSet, NamesInTheirOwnCaseAndUnreadableFiles) {
    img::DmkOptions options;
    options.Tracks = 3;
    const auto sector = img::MakeSystemSector(img::PdriveSlot{});
    Answer source = Analyse(DiskData::FromBytes(img::BuildDmkImage(options, sector)));
    const test::TempDir dir;
    for (const auto& [name, bytes] : img::BuildKryoFluxSet(img::DiskCells(options, sector), {.Jitter = 0.05})) {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        dir.Write(upper, bytes);
    }
    const auto open = [](const std::filesystem::path& path) {
        ImageFile file;
        EXPECT_TRUE(OpenImagePath(path.string(), file).Opened()) << path;
        return file.Load();
    };
    ExpectSameAnswer(Analyse(open(dir.path() / "TRACK01.0.RAW")), source, "upper case");
    ExpectSameAnswer(Analyse(open(dir.path())), source, "the folder");

    std::filesystem::remove(dir.path() / "TRACK02.0.RAW");
    std::filesystem::create_directory(dir.path() / "TRACK02.0.RAW");
    try {
        Analyse(open(dir.path()));
        ADD_FAILURE() << "expected a read error";
    } catch (const AnalysisStopped& stop) {
        EXPECT_EQ(stop.WhyStopped(), AnalysisStopped::Reason::ReadError);
    }
    std::filesystem::rename(dir.path() / "TRACK02.0.RAW", dir.path() / "TRACK00.0.RAW.tmp");
    std::filesystem::rename(dir.path() / "TRACK00.0.RAW", dir.path() / "TRACK02.0.RAW");
    std::filesystem::rename(dir.path() / "TRACK00.0.RAW.tmp", dir.path() / "TRACK00.0.RAW");
    DiskData next = open(dir.path());
    EXPECT_EQ(next.Name(), "TRACK01.0.RAW");
    EXPECT_THROW(Analyse(next), AnalysisStopped);  // its track 0 cannot be read
}

}  // namespace
}  // namespace tabulon

namespace tabulon {
namespace {

// Bad input: each case is identified or not and found or not, and never crashes or hangs.
struct BadFlux {
    const char* what;
    Capture capture;
    std::function<void(std::map<std::string, test::Bytes>&)> spoil;  // SCP: the one file "image.scp"
    bool identified;
    bool found;
};

// Where the first revolution of SCP track 0 keeps its count, and its values begin.
std::size_t ScpCount(const test::Bytes& b) { return Le32(b, 0x10) + 8; }
std::size_t ScpValues(const test::Bytes& b) { return Le32(b, 0x10) + Le32(b, Le32(b, 0x10) + 12); }

TEST(BadFluxInput, EndsClearly) {
    img::DmkOptions disk;
    disk.Tracks = 2;
    const auto cells = img::DiskCells(disk, img::MakeSystemSector(img::PdriveSlot{}));
    const auto scp = [](std::map<std::string, test::Bytes>& f) -> test::Bytes& { return f.at("image.scp"); };
    const auto track0 = [](std::map<std::string, test::Bytes>& f) -> test::Bytes& { return f.at("track00.0.raw"); };
    const std::vector<BadFlux> cases = {
        {"SCP all track offsets past the end", Capture::Scp,
         [&](auto& f) {
             for (std::size_t n = 0; n < 4; ++n) Put32(scp(f), 0x10 + 4 * n, 0x7FFFFFF0);
         },
         true, false},
        {"SCP zero revolutions", Capture::Scp, [&](auto& f) { scp(f)[5] = 0; }, false, false},
        {"SCP a flux count past its data", Capture::Scp,
         [&](auto& f) {
             for (std::size_t n = 0; n < 3; ++n) Put32(scp(f), ScpCount(scp(f)) + 12 * n, 0x7FFFFFF);
         },
         true, false},
        {"SCP all-overflow flux", Capture::Scp,
         [&](auto& f) { std::fill(scp(f).begin() + static_cast<std::ptrdiff_t>(ScpValues(scp(f))), scp(f).end(), 0); },
         true, false},
        {"SCP first revolution's count past its data, the others good", Capture::Scp,
         [&](auto& f) { Put32(scp(f), ScpCount(scp(f)), 0x7FFFFFF); }, true, true},
        {"SCP cut in the track table", Capture::Scp, [&](auto& f) { scp(f).resize(0x14); }, true, false},
        {"SCP cut in the header", Capture::Scp, [&](auto& f) { scp(f).resize(0x0E); }, false, false},
        {"SCP cell width 12", Capture::Scp, [&](auto& f) { scp(f)[9] = 12; }, false, false},
        {"KryoFlux an out-of-band size past the end", Capture::KryoFlux,
         [&](auto& f) {
             auto& b = track0(f);
             b.resize(b.size() - 4);
             b.insert(b.end(), {0x0D, 0x04, 0xFF, 0xFF});
         },
         true, false},
        {"KryoFlux no index at all", Capture::KryoFlux,
         [&](auto& f) {
             auto& b = track0(f);
             for (std::size_t at = 0; at + 4 < b.size(); ++at) {
                 if (b[at] == 0x0D && b[at + 1] == 0x02 && b[at + 2] == 12) b[at + 1] = 0x03;  // index -> stream end
             }
         },
         true, false},
        {"KryoFlux a set with holes: no track 0", Capture::KryoFlux,
         [&](auto& f) {
             f["track01.0.raw"] = track0(f);  // given as track 1, with track 0 gone
             f.erase("track00.0.raw");
         },
         true, false},
        {"KryoFlux unknown out-of-band type", Capture::KryoFlux, [&](auto& f) { track0(f)[1] = 0x07; }, false, false},
        {"KryoFlux stream of noise after its info", Capture::KryoFlux,
         [&](auto& f) {
             auto& b = track0(f);
             for (std::size_t at = 120; at < b.size(); ++at) b[at] = static_cast<std::uint8_t>(at * 7919 % 251);
         },
         false, false},
    };
    for (const BadFlux& c : cases) {
        std::map<std::string, test::Bytes> files;
        if (c.capture == Capture::Scp) {
            files["image.scp"] = img::BuildScpImage(cells, {.Jitter = 0.1});
        } else {
            for (auto& [name, bytes] : img::BuildKryoFluxSet(cells, {.Jitter = 0.1})) files[name] = std::move(bytes);
        }
        c.spoil(files);
        const std::string given = files.begin()->first;
        DiskData image = DiskData::FromBytes(files.begin()->second);
        image.SetSiblings(given, std::make_shared<FilesInMemory>(files));
        std::unique_ptr<Container> header;
        ASSERT_NO_THROW(header = OpenContainer(image)) << c.what;
        const bool identified = header && (header->Type().Format == kScpContainer.Format ||
                                           header->Type().Format == kKryoFluxContainer.Format);
        EXPECT_EQ(identified, c.identified) << c.what;
        if (!identified) continue;
        std::optional<SectorLocation> found;
        ASSERT_NO_THROW(found = header->FindSector(image, kSystemSector)) << c.what;
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        EXPECT_NO_THROW(header->Tracks(image)) << c.what;
    }
}

TEST(BadFluxInput, CutAnywhere) {
    img::DmkOptions disk;
    disk.Tracks = 1;
    const auto cells = img::DiskCells(disk, img::MakeSystemSector(img::PdriveSlot{}));
    const test::Bytes scp = img::BuildScpImage(cells, {.Revolutions = 1});
    const test::Bytes stream = img::BuildKryoFluxSet(cells, {.Revolutions = 1}).begin()->second;
    for (const test::Bytes* base : {&scp, &stream}) {
        for (std::size_t size = 0; size < base->size(); size += size < 2000 ? 13 : 7919) {
            DiskData image = DiskData::FromBytes({base->data(), size});
            const auto header = OpenContainer(image);
            if (!header) continue;
            EXPECT_NO_THROW(header->FindSector(image, kSystemSector)) << size;
            EXPECT_NO_THROW(header->Tracks(image)) << size;
        }
    }
}

}  // namespace
}  // namespace tabulon
