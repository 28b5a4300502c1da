#include "ImageBuilder.h"
#include "ContainerList.h"
#include "SlotDecoding.h"
#include "TestSupport.h"
#include "DmkImage.h"
#include "HfeImage.h"
#include "ImdImage.h"
#include "Jv3Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tabulon {
namespace {

using test::FindSystemSector;
using test::ListTracks;

namespace img = images;

const test::Bytes kSector = img::MakeSystemSector(img::PdriveSlot{.TrackCount = 77});

img::DmkOptions Disk(void (*change)(img::DmkOptions&)) {
    img::DmkOptions options;
    options.Tracks = 2;
    change(options);
    return options;
}

void Fm(img::DmkOptions& o) { o.Track0DoubleDensity = o.OtherTracksDoubleDensity = false; }

// Expects the system sector, and track 0's sectors all listed, in the order they lie.
void ExpectSystemSector(auto&& found, ImageFormat format, bool crcOk) {
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->Format, format);
    EXPECT_EQ(found->CrcOk(), crcOk);
    EXPECT_EQ(found->SectorSize, 256);
    ASSERT_EQ(found->Sector.Length(), 256);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    EXPECT_TRUE(HasNewdosMarker(found->Sector));
}

void ExpectTrackZero(const std::vector<TrackLayout>& tracks, const img::DmkOptions& disk) {
    ASSERT_EQ(tracks.size(), static_cast<std::size_t>(disk.Tracks * (disk.DoubleSided ? 2 : 1)));
    const auto& sectors = tracks[0].Sectors;
    ASSERT_EQ(sectors.size(), disk.Track0DoubleDensity ? 18u : 10u);
    EXPECT_EQ(sectors[0].Sector, 0);
    EXPECT_EQ(sectors[static_cast<std::size_t>(disk.Interleave)].Sector, 1);
    EXPECT_EQ(sectors[0].Recording, disk.Track0DoubleDensity ? Density::Double : Density::Single);
    EXPECT_EQ(tracks.back().Sectors.size(), disk.OtherTracksDoubleDensity ? 18u : 10u);
}

struct HfeCase {
    const char* what;
    img::HfeOptions options;
    bool found;
    bool crcOk;
    std::int64_t fileOffset = 0;  // when given: the chunk the builder put the first data cell in
};
void PrintTo(const HfeCase& c, std::ostream* os) { *os << c.what; }

class HfeStructure : public ::testing::TestWithParam<HfeCase> {};

TEST_P(HfeStructure, DecodesTrackZeroFromTheBitCells) {
    const auto& c = GetParam();
    DiskData image = DiskData::FromBytes(img::BuildHfeImage(c.options, kSector));
    const auto header = IdentifyHfe(image);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->Version, c.options.Version3 ? 3 : 1);
    ASSERT_EQ(OpenContainer(image)->Type().Format, kHfeContainer.Format);
    auto found = FindSystemSector(image);
    if (!c.found) {
        EXPECT_FALSE(found.has_value());
        return;
    }
    ExpectSystemSector(found, kHfeContainer.Format, c.crcOk);
    EXPECT_EQ(found->FormatLabel(), "   HFE Format");
    // The offset names a 256-byte chunk of side 0 inside track 0's blocks.
    EXPECT_EQ(found->FileOffset % 512, 0);
    EXPECT_GE(found->FileOffset, 1024);
    EXPECT_LT(found->FileOffset, 1024 + 2 * 12800);
    if (c.fileOffset != 0) {
        EXPECT_EQ(found->FileOffset, c.fileOffset);
    }
    ExpectTrackZero(ListTracks(image).Tracks, c.options.Disk);
}

img::HfeOptions Hfe(void (*change)(img::DmkOptions&), bool doubled = true, bool version3 = false) {
    return {Disk(change), doubled, version3};
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HfeStructure,
    ::testing::Values(
        // 874 raw bytes before the data: 16 cells each, side byte 1748, chunk 6.
        HfeCase{"MFM", Hfe([](img::DmkOptions&) {}), true, true, 1024 + 6 * 512},
        HfeCase{"MFM, interleaved, double-sided", Hfe([](img::DmkOptions& o) {
                    o.Interleave = 3;
                    o.DoubleSided = true;
                }),
                true, true},
        HfeCase{"MFM, other gaps", Hfe([](img::DmkOptions& o) {
                    o.Gap2 = 16;
                    o.Gap3 = 40;
                }),
                true, true},
        // 673 raw bytes before the data: 32 cells each (side byte 2692, chunk 10), or 16 (1346, chunk 5).
        HfeCase{"FM, doubled cells, header says MFM", Hfe(Fm), true, true, 1024 + 10 * 512},
        HfeCase{"FM at its own rate", Hfe(Fm, false), true, true, 1024 + 5 * 512},
        HfeCase{"FM doubled track 0, MFM elsewhere, interleaved", Hfe([](img::DmkOptions& o) {
                    o.Track0DoubleDensity = false;
                    o.Interleave = 4;
                }),
                true, true},
        HfeCase{"version 3 opcodes, MFM", Hfe([](img::DmkOptions&) {}, true, true), true, true},
        HfeCase{"version 3 opcodes, FM doubled", Hfe(Fm, true, true), true, true},
        HfeCase{"bad data CRC, MFM", Hfe([](img::DmkOptions& o) { o.BadSystemSectorCrc = true; }), true, false},
        HfeCase{"bad data CRC, FM doubled", Hfe([](img::DmkOptions& o) {
                    Fm(o);
                    o.BadSystemSectorCrc = true;
                }),
                true, false},
        HfeCase{"MFM data mark beyond 43 bytes", Hfe([](img::DmkOptions& o) { o.Gap2 = 30; }), false, false},
        HfeCase{"FM data mark beyond 30 bytes", Hfe([](img::DmkOptions& o) {
                    Fm(o);
                    o.Gap2 = 25;
                }),
                false, false}));

struct ImdCase {
    const char* what;
    img::ImdOptions options;
    bool found;
    bool crcOk;
};
void PrintTo(const ImdCase& c, std::ostream* os) { *os << c.what; }

class ImdStructure : public ::testing::TestWithParam<ImdCase> {};

TEST_P(ImdStructure, WalksTheTrackRecords) {
    const auto& c = GetParam();
    DiskData image = DiskData::FromBytes(img::BuildImdImage(c.options, kSector));
    const auto header = IdentifyImd(image);
    ASSERT_TRUE(header.has_value());
    ASSERT_EQ(OpenContainer(image)->Type().Format, kImdContainer.Format);
    ExpectTrackZero(ListTracks(image).Tracks, c.options.Disk);
    auto found = FindSystemSector(image);
    if (!c.found) {
        EXPECT_FALSE(found.has_value());
        return;
    }
    ExpectSystemSector(found, kImdContainer.Format, c.crcOk);
    EXPECT_EQ(found->FormatLabel(), "   IMD Format");
    EXPECT_FALSE(found->IdCrcOk.has_value());
    EXPECT_EQ(image.At(found->FileOffset), kSector[0]);
    EXPECT_EQ(image.At(found->FileOffset + 3), 77);
}

img::ImdOptions Imd(void (*change)(img::DmkOptions&), bool compress = true, bool missing = false, bool maps = false) {
    return {Disk(change), compress, missing, maps};
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ImdStructure,
    ::testing::Values(ImdCase{"MFM, compressed records", Imd([](img::DmkOptions&) {}), true, true},
                      ImdCase{"MFM, whole records", Imd([](img::DmkOptions&) {}, false), true, true},
                      ImdCase{"FM", Imd(Fm), true, true},
                      ImdCase{"interleaved, double-sided, with maps",
                              Imd(
                                  [](img::DmkOptions& o) {
                                      o.Interleave = 3;
                                      o.DoubleSided = true;
                                  },
                                  true, false, true),
                              true, true},
                      ImdCase{"read with a data error", Imd([](img::DmkOptions& o) { o.BadSystemSectorCrc = true; }),
                              true, false},
                      ImdCase{"data unavailable", Imd([](img::DmkOptions&) {}, true, true), false, false}));

TEST(ImdStructure, CompressedSystemSectorFillsTheSector) {
    const test::Bytes filled(256, 0x42);
    auto found = FindSystemSector(DiskData::FromBytes(img::BuildImdImage(Imd(Fm), filled)));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Sector.Length(), 256);
    EXPECT_EQ(found->Sector.At(0), 0x42);
    EXPECT_EQ(found->Sector.At(255), 0x42);
}

TEST(ImdStructure, SizeTableAndDeletedData) {
    // One track: sector 1 of 128 bytes (compressed), then sector 2 of 256 bytes as deleted data.
    test::Raw raw;
    raw.Put({'I', 'M', 'D', ' ', '1', '.', '1', '8', 0x1A});
    raw.Put({5, 0, 0, 2, 0xFF, 1, 2, 0x80, 0x00, 0x00, 0x01});
    raw.Put({2, 0x11, 3}).Put(kSector);
    DiskData image = raw.Data();
    const auto header = IdentifyImd(image);
    ASSERT_TRUE(header);
    const auto tracks = ListTracks(image).Tracks;
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_EQ(tracks[0].Sectors.size(), 2u);
    EXPECT_EQ(tracks[0].Sectors[0].Size, 128);
    ExpectSystemSector(FindSystemSector(image), kImdContainer.Format, true);
    EXPECT_EQ(FindSystemSector(image)->FileOffset, 9 + 11 + 3);
}

// Bad input: every case ends identified or not, found or not, never in a crash.
struct BadCase {
    const char* what;
    const test::Bytes* base;
    std::function<void(test::Bytes&)> spoil;
    bool identified;
    bool found;
};

const test::Bytes kHfe = img::BuildHfeImage(Hfe([](img::DmkOptions&) {}), kSector);
const test::Bytes kImd = img::BuildImdImage(Imd([](img::DmkOptions&) {}), kSector);
constexpr std::size_t kImdFirstTrack = 52;  // after the builder's comment and 0x1A

void Cut(test::Bytes& b, std::size_t size) { b.resize(size); }
void Put16(test::Bytes& b, std::size_t at, unsigned value) {
    b[at] = static_cast<std::uint8_t>(value & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

TEST(BadHfeImdInput, EndsClearly) {
    ASSERT_EQ(kImd[kImdFirstTrack - 1], 0x1A);
    const std::vector<BadCase> cases = {
        {"HFE cut in the header", &kHfe, [](test::Bytes& b) { Cut(b, 100); }, false, false},
        {"HFE cut in the track list", &kHfe, [](test::Bytes& b) { Cut(b, 514); }, false, false},
        {"HFE cut in track 0", &kHfe, [](test::Bytes& b) { Cut(b, 3000); }, false, false},
        {"HFE cut in track 1", &kHfe, [](test::Bytes& b) { Cut(b, b.size() - 3000); }, true, true},
        {"HFE track 0 past the end", &kHfe, [](test::Bytes& b) { Put16(b, 512, 0xFFFF); }, false, false},
        {"HFE track 1 past the end", &kHfe, [](test::Bytes& b) { Put16(b, 516, 0xFFFF); }, true, true},
        {"HFE track 0 of no length", &kHfe, [](test::Bytes& b) { Put16(b, 514, 0); }, false, false},
        {"HFE track 0 longer than the file", &kHfe, [](test::Bytes& b) { Put16(b, 514, 0xFFFF); }, false, false},
        {"HFE 255 tracks", &kHfe, [](test::Bytes& b) { b[9] = 255; }, true, true},
        {"HFE no sides", &kHfe, [](test::Bytes& b) { b[10] = 0; }, false, false},
        {"HFE three sides", &kHfe, [](test::Bytes& b) { b[10] = 3; }, false, false},
        {"HFE track list in the header", &kHfe, [](test::Bytes& b) { Put16(b, 18, 0); }, false, false},
        {"HFE track list past the end", &kHfe, [](test::Bytes& b) { Put16(b, 18, 0x7FFF); }, false, false},
        {"HFE cells all zero", &kHfe, [](test::Bytes& b) { std::fill(b.begin() + 1024, b.end(), 0); }, true, false},
        {"HFE v3, opcodes everywhere", &kHfe,
         [](test::Bytes& b) {
             b[3] = 'H';
             b[4] = 'F';
             b[5] = 'E';
             b[6] = 'V';
             b[7] = '3';
             std::fill(b.begin() + 1024, b.end(), 0xCF);
         },
         true, false},
        {"IMD no comment end", &kImd, [](test::Bytes& b) { Cut(b, kImdFirstTrack - 1); }, false, false},
        {"IMD cut in the first track", &kImd, [](test::Bytes& b) { Cut(b, kImdFirstTrack + 30); }, false, false},
        {"IMD cut in the second track", &kImd, [](test::Bytes& b) { Cut(b, b.size() - 10); }, true, true},
        {"IMD mode 6", &kImd, [](test::Bytes& b) { b[kImdFirstTrack] = 6; }, false, false},
        {"IMD unknown head flag", &kImd, [](test::Bytes& b) { b[kImdFirstTrack + 2] = 0x20; }, false, false},
        {"IMD 255 sectors", &kImd, [](test::Bytes& b) { b[kImdFirstTrack + 3] = 255; }, false, false},
        {"IMD size code 7", &kImd, [](test::Bytes& b) { b[kImdFirstTrack + 4] = 7; }, false, false},
        {"IMD record type 9", &kImd, [](test::Bytes& b) { b[kImdFirstTrack + 5 + 18] = 9; }, false, false},
        {"IMD size table out of range", &kImd, [](test::Bytes& b) { b[kImdFirstTrack + 4] = 0xFF; }, false, false},
    };
    for (const BadCase& c : cases) {
        test::Bytes bytes = *c.base;
        c.spoil(bytes);
        DiskData image = DiskData::FromBytes(bytes);
        const auto hfe = IdentifyHfe(image);
        const auto imd = IdentifyImd(image);
        EXPECT_EQ(hfe.has_value() || imd.has_value(), c.identified) << c.what;
        std::optional<SectorLocation> found;
        ASSERT_NO_THROW(found = hfe ? FindSystemSector(image) : imd ? FindSystemSector(image) : std::nullopt) << c.what;
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        if (hfe) {
            EXPECT_NO_THROW(ListTracks(image)) << c.what;
        }
        if (imd) {
            EXPECT_NO_THROW(ListTracks(image)) << c.what;
        }
    }
}

TEST(BadHfeImdInput, CutAnywhere) {
    for (const test::Bytes* base : {&kHfe, &kImd}) {
        for (std::size_t size = 0; size < base->size(); size += size < 1100 ? 7 : 701) {
            DiskData image = DiskData::FromBytes({base->data(), size});
            EXPECT_NO_THROW(FindSystemSector(image)) << size;
            if (const auto hfe = IdentifyHfe(image)) {
                EXPECT_NO_THROW(ListTracks(image)) << size;
            }
            if (const auto imd = IdentifyImd(image)) {
                EXPECT_NO_THROW(ListTracks(image)) << size;
            }
        }
    }
}

// The same disk in two containers gives the same sector 2.
TEST(RealImages, PairsGiveTheSameSectorTwo) {
    TABULON_REAL_IMAGES(dir);
    struct Pair {
        const char* first;
        ImageFormat firstFormat;
        const char* second;
        ImageFormat secondFormat;
        std::int64_t size;
    };
    for (const Pair& p :
         {Pair{"frehd-boot-dd.hfe", kHfeContainer.Format, "frehd-boot-dd.jv3", kJv3Container.Format, 256},
          Pair{"genie-cpm-dd.imd", kImdContainer.Format, "genie-cpm-dd.dmk", kDmkContainer.Format, 512}}) {
        DiskData one = DiskData::FromBytes(test::ReadWholeFile(dir / p.first));
        DiskData two = DiskData::FromBytes(test::ReadWholeFile(dir / p.second));
        auto a = FindSystemSector(one);
        auto b = FindSystemSector(two);
        ASSERT_TRUE(a && b) << p.first;
        EXPECT_EQ(a->Format, p.firstFormat);
        EXPECT_EQ(b->Format, p.secondFormat);
        EXPECT_TRUE(a->CrcOk() && b->CrcOk()) << p.first;
        ASSERT_EQ(a->Sector.Length(), p.size) << p.first;
        ASSERT_EQ(b->Sector.Length(), p.size) << p.second;
        for (std::int64_t n = 0; n < p.size; ++n) ASSERT_EQ(a->Sector.At(n), b->Sector.At(n)) << p.first << " at " << n;
        EXPECT_FALSE(HasNewdosMarker(a->Sector)) << p.first;
    }
}

TEST(RealImages, SingleDensityMarkedMfmIsFound) {
    TABULON_REAL_IMAGES(dir);
    DiskData image = DiskData::FromBytes(test::ReadWholeFile(dir / "cpm-blank-sd-marked-mfm.hfe"));
    const auto header = IdentifyHfe(image);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->Encoding, 0) << "the header says MFM";
    auto found = FindSystemSector(image);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->CrcOk());
    EXPECT_EQ(found->SectorSize, 256);
    const auto tracks = ListTracks(image).Tracks;
    ASSERT_EQ(tracks.size(), 40u);
    ASSERT_EQ(tracks[0].Sectors.size(), 10u);
    EXPECT_EQ(tracks[0].Sectors[0].Recording, Density::Single);
}

}  // namespace
}  // namespace tabulon
