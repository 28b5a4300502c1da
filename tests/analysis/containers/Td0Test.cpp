#include "AnalysisStopped.h"
#include "ImageBuilder.h"
#include "ContainerList.h"
#include "ImageGeometry.h"
#include "LzhufDecoder.h"
#include "SlotDecoding.h"
#include "TestSupport.h"
#include "Td0Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>

namespace tabulon {
namespace {

using test::FindSystemSector;
using test::ListTracks;

namespace img = images;

const test::Bytes kSector = img::MakeSystemSector(img::PdriveSlot{.TrackCount = 77});

test::Bytes Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    test::Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// Everything a decoder gives, read count bytes at a time.
test::Bytes Decompress(std::span<const std::uint8_t> packed, std::size_t count = 4096) {
    DiskData input = DiskData::FromBytes(packed);
    LzhufDecoder decoder{ImageReader(input)};
    test::Bytes out;
    test::Bytes chunk(count);
    for (std::size_t got = 0; (got = decoder.Read(chunk)) > 0;) {
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    EXPECT_LE(decoder.InputUsed(), static_cast<std::int64_t>(packed.size()));
    return out;
}

TEST(Lzhuf, KnownStream) {
    // Four spaces copied from the ring's preset spaces, then a copy of "Teledisk, " twice over.
    const test::Bytes packed = {0x8D, 0x00, 0x78, 0x3E, 0x3F, 0x8C, 0x3F, 0x87,
                                0xD7, 0xFF, 0xF7, 0xDC, 0x4E, 0x02, 0x77, 0x40};
    const std::string text = "    Teledisk, Teledisk, Teledisk.";
    EXPECT_EQ(Decompress(packed), test::Bytes(text.begin(), text.end()));
    EXPECT_EQ(img::LzhufCompress(test::Bytes(text.begin(), text.end())), packed);
}

TEST(Lzhuf, RoundTripsWhateverTheReadSize) {
    test::Bytes mixed = Noise(3000, 1);
    mixed.insert(mixed.end(), 5000, 0xE5);
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 4000);  // copies from far back
    // 120,000 literals: the tree's counts are halved and it is rebuilt several times.
    for (const test::Bytes& data :
         {test::Bytes{}, test::Bytes{0x42}, test::Bytes(10000, ' '), mixed, Noise(120000, 2)}) {
        const test::Bytes packed = img::LzhufCompress(data);
        for (const std::size_t count : {std::size_t{1}, std::size_t{61}, std::size_t{4096}}) {
            // The zero bits that pad the last byte may spell a literal or a few more.
            test::Bytes out = Decompress(packed, count);
            EXPECT_LE(out.size(), data.size() + 7);
            out.resize(std::min(out.size(), data.size()));
            EXPECT_EQ(out, data) << data.size() << " read " << count << " at a time";
        }
    }
}

TEST(Lzhuf, AStreamCutShortGivesOnlyWhatItHolds) {
    test::Bytes data = Noise(2000, 3);
    data.insert(data.end(), 3000, 0x00);
    const test::Bytes packed = img::LzhufCompress(data);
    for (std::size_t size = 0; size < packed.size(); size += 37) {
        const test::Bytes out = Decompress(std::span(packed).first(size));
        ASSERT_LT(out.size(), data.size()) << size;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut at " << size;
    }
}

img::Td0Options Td0(void (*change)(img::Td0Options&)) {
    img::Td0Options options;
    options.Disk.Tracks = 2;
    change(options);
    return options;
}

void Fm(img::Td0Options& o) { o.Disk.Track0DoubleDensity = o.Disk.OtherTracksDoubleDensity = false; }

struct Td0Case {
    const char* what;
    img::Td0Options options;
    bool found;
    bool crcOk;
};
void PrintTo(const Td0Case& c, std::ostream* os) { *os << c.what; }

class Td0Structure : public ::testing::TestWithParam<Td0Case> {};

TEST_P(Td0Structure, WalksTheTrackRecords) {
    const auto& c = GetParam();
    DiskData image = DiskData::FromBytes(img::BuildTd0Image(c.options, kSector));
    const auto header = IdentifyTd0(image);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->Advanced, c.options.Advanced);
    ASSERT_EQ(OpenContainer(image)->Type().Format, kTd0Container.Format);

    const img::DmkOptions& disk = c.options.Disk;
    const auto tracks = ListTracks(image).Tracks;
    ASSERT_EQ(tracks.size(), static_cast<std::size_t>(disk.Tracks * (disk.DoubleSided ? 2 : 1)));
    ASSERT_EQ(tracks[0].Sectors.size(), disk.Track0DoubleDensity ? 18u : 10u);
    EXPECT_EQ(tracks[0].Sectors[static_cast<std::size_t>(disk.Interleave)].Sector, 1);
    EXPECT_EQ(tracks[0].Sectors[0].Recording, disk.Track0DoubleDensity ? Density::Double : Density::Single);
    EXPECT_EQ(tracks.back().Side, disk.DoubleSided ? 1 : 0);
    EXPECT_EQ(tracks.back().Sectors.size(), disk.OtherTracksDoubleDensity ? 18u : 10u);

    auto found = FindSystemSector(image);
    ASSERT_EQ(found.has_value(), c.found);
    if (!found) return;
    EXPECT_EQ(found->FormatLabel(), "   TD0 Format");
    EXPECT_EQ(found->CrcOk(), c.crcOk);
    EXPECT_FALSE(found->IdCrcOk.has_value());
    EXPECT_EQ(found->SectorSize, 256);
    ASSERT_EQ(found->Sector.Length(), 256);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    EXPECT_TRUE(HasNewdosMarker(found->Sector));
    // With advanced compression the offset is the one the same image has without it.
    img::Td0Options normal = c.options;
    normal.Advanced = false;
    EXPECT_EQ(found->FileOffset,
              FindSystemSector(DiskData::FromBytes(img::BuildTd0Image(normal, kSector)))->FileOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Td0Structure,
    ::testing::Values(Td0Case{"MFM", Td0([](img::Td0Options&) {}), true, true},
                      Td0Case{"MFM, advanced", Td0([](img::Td0Options& o) { o.Advanced = true; }), true, true},
                      Td0Case{"FM, no comment", Td0([](img::Td0Options& o) {
                                  Fm(o);
                                  o.Comment = false;
                              }),
                              true, true},
                      Td0Case{"FM told by the header alone, advanced", Td0([](img::Td0Options& o) {
                                  Fm(o);
                                  o.FmInHeader = true;
                                  o.Advanced = true;
                              }),
                              true, true},
                      Td0Case{"FM track 0, interleaved, double-sided, advanced", Td0([](img::Td0Options& o) {
                                  o.Disk.Track0DoubleDensity = false;
                                  o.Disk.Interleave = 3;
                                  o.Disk.DoubleSided = true;
                                  o.Advanced = true;
                              }),
                              true, true},
                      Td0Case{"read with a CRC error",
                              Td0([](img::Td0Options& o) { o.Disk.BadSystemSectorCrc = true; }), true, false},
                      Td0Case{"an ID but no data", Td0([](img::Td0Options& o) { o.SystemSectorNoData = true; }), false,
                              false},
                      Td0Case{"an ID but no data, advanced", Td0([](img::Td0Options& o) {
                                  o.SystemSectorNoData = true;
                                  o.Advanced = true;
                              }),
                              false, false}));

// One track 0 of three sectors: 1, then 2 with the given data (and block), then 3.
test::Bytes TrackZero(const test::Bytes& data, test::Bytes block) {
    std::vector<img::Td0Track> tracks(1);
    tracks[0].Sectors = {{0, 0, 1, 1, 0, test::Bytes(256, 0x11), {}},
                         {0, 0, 2, 1, 0, data, std::move(block)},
                         {0, 0, 3, 1, 0, test::Bytes(256, 0x33), {}}};
    return img::BuildTd0Image(tracks, img::Td0Options{});
}

TEST(Td0Structure, EveryEncodingGivesTheSectorsBytes) {
    test::Bytes runs = kSector;
    std::fill(runs.begin() + 100, runs.begin() + 180, 0x5A);
    test::Bytes halves(256, 0xAB);
    std::fill(halves.begin() + 128, halves.end(), 0xCD);
    const test::Bytes twoEntries{1, 64, 0, 0xAB, 0xAB, 64, 0, 0xCD, 0xCD};
    // 16 bytes as they are, a 4-byte pattern 8 times, 208 bytes as they are.
    test::Bytes quads = Noise(256, 6);
    for (std::size_t n = 16; n < 48; ++n) quads[n] = static_cast<std::uint8_t>(n % 4);
    test::Bytes quadRuns{2, 0, 16};
    quadRuns.insert(quadRuns.end(), quads.begin(), quads.begin() + 16);
    quadRuns.insert(quadRuns.end(), {2, 8, 0, 1, 2, 3, 0, 208});
    quadRuns.insert(quadRuns.end(), quads.begin() + 48, quads.end());
    struct Case {
        const char* what;
        test::Bytes data;
        test::Bytes block;  // as stored; empty: the builder's choice
        std::uint8_t encoding;
    };
    const std::vector<Case> cases = {
        {"as it is", Noise(256, 4), {}, 0},
        {"runs", runs, {}, 2},
        {"one pattern", test::Bytes(256, 0xE5), {}, 1},
        {"two pattern entries", halves, twoEntries, 1},
        {"runs of a 4-byte pattern", quads, quadRuns, 2},
    };
    for (const Case& c : cases) {
        const test::Bytes bytes = TrackZero(c.data, c.block);
        auto found = FindSystemSector(DiskData::FromBytes(bytes));
        ASSERT_TRUE(found) << c.what;
        ASSERT_EQ(found->Sector.Length(), 256) << c.what;
        for (std::int64_t n = 0; n < 256; ++n) {
            ASSERT_EQ(found->Sector.At(n), c.data[static_cast<std::size_t>(n)]) << c.what << " at " << n;
        }
        // FileOffset: the byte after the encoding byte, for data as it is its first byte.
        const auto at = static_cast<std::size_t>(found->FileOffset);
        EXPECT_EQ(bytes[at - 1], c.encoding) << c.what;
        if (c.encoding == 0) {
            EXPECT_EQ(bytes[at], c.data[0]) << c.what;
        }
    }
}

// Bad input: every case ends identified or not, found or not, never in a crash
// and never with bytes that are not there.
struct BadCase {
    const char* what;
    const test::Bytes* base;
    std::function<void(test::Bytes&)> spoil;
    bool identified;
    bool found;
    std::size_t tracks;
};

const test::Bytes kNormal = img::BuildTd0Image(Td0([](img::Td0Options&) {}), kSector);
const test::Bytes kAdvanced = img::BuildTd0Image(Td0([](img::Td0Options& o) { o.Advanced = true; }), kSector);
constexpr std::size_t kComment = 12;                  // the comment block's CRC
constexpr std::size_t kFirstTrack = kComment + 29;    // after its 10 bytes and 19 of text
constexpr std::size_t kSectorTwo = kFirstTrack + 30;  // after the track's header and two E5 sectors of 13 bytes
// After sector 2's header, its block (length, encoding, runs) and 15 more E5 sectors.
const std::size_t kSecondTrack =
    kSectorTwo + 6 + 2 + (std::size_t{kNormal[kSectorTwo + 6]} | (std::size_t{kNormal[kSectorTwo + 7]} << 8)) + 15 * 13;

void Cut(test::Bytes& b, std::size_t size) { b.resize(size); }

// Changes header byte at to value, and the header's CRC with it.
void SetHeader(test::Bytes& b, std::size_t at, std::uint8_t value) {
    b[at] = value;
    unsigned crc = 0;
    for (std::size_t n = 0; n < 10; ++n) {
        crc ^= unsigned{b[n]} << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0xA097u : crc << 1;
    }
    b[10] = static_cast<std::uint8_t>(crc & 0xFF);
    b[11] = static_cast<std::uint8_t>((crc >> 8) & 0xFF);
}

TEST(BadTd0Input, EndsClearly) {
    ASSERT_EQ(kNormal[kFirstTrack], 18) << "the first track's sector count";
    ASSERT_EQ(kNormal[kSectorTwo + 2], 2) << "sector 2's ID";
    ASSERT_EQ(kNormal[kSecondTrack + 1], 1) << "the second track's cylinder";
    const std::vector<BadCase> cases = {
        {"not TD", &kNormal, [](test::Bytes& b) { b[1] = 'X'; }, false, false, 0},
        {"header CRC flipped", &kNormal, [](test::Bytes& b) { b[10] ^= 0x01; }, false, false, 0},
        {"cut in the header", &kNormal, [](test::Bytes& b) { Cut(b, 11); }, false, false, 0},
        {"comment CRC flipped", &kNormal, [](test::Bytes& b) { b[kComment] ^= 0x80; }, true, false, 0},
        {"comment longer than the file", &kNormal, [](test::Bytes& b) { b[kComment + 3] = 0xFF; }, true, false, 0},
        {"track 0 header CRC flipped", &kNormal, [](test::Bytes& b) { b[kFirstTrack + 3] ^= 0x01; }, true, false, 0},
        {"sector 2's data CRC flipped", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 5] ^= 0x01; }, true, false, 0},
        {"sector 2 read with a CRC error", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 4] = 0x02; }, true, true, 2},
        {"sector 2 of no data, its block still there", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 4] = 0x20; }, true,
         false, 0},
        {"sector 2's size code 8", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 3] = 8; }, true, false, 0},
        {"sector 2's size code 2: too few bytes", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 3] = 2; }, true, false,
         0},
        {"sector 2's size code 0: too many bytes", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 3] = 0; }, true, false,
         0},
        {"sector 2's block of no length", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 6] = b[kSectorTwo + 7] = 0; },
         true, false, 0},
        {"sector 2's block past the end", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 7] = 0xFF; }, true, false, 0},
        {"sector 2's encoding 3", &kNormal, [](test::Bytes& b) { b[kSectorTwo + 8] = 3; }, true, false, 0},
        {"second track's CRC flipped", &kNormal, [](test::Bytes& b) { b[kSecondTrack + 3] ^= 0x01; }, true, true, 1},
        {"no end mark", &kNormal, [](test::Bytes& b) { Cut(b, b.size() - 4); }, true, true, 2},
        {"a later file of a set", &kNormal, [](test::Bytes& b) { SetHeader(b, 2, 1); }, true, false, 0},
        {"advanced, cut in track 0", &kAdvanced, [](test::Bytes& b) { Cut(b, 60); }, true, false, 0},
        {"advanced, cut after track 0", &kAdvanced, [](test::Bytes& b) { Cut(b, b.size() - 20); }, true, true, 1},
        {"advanced, a stream of noise", &kAdvanced,
         [](test::Bytes& b) {
             const test::Bytes noise = Noise(b.size() - 12, 5);
             std::copy(noise.begin(), noise.end(), b.begin() + 12);
         },
         true, false, 0},
        {"advanced, older compression (version 1.5)", &kAdvanced, [](test::Bytes& b) { SetHeader(b, 4, 15); }, true,
         false, 0},
        {"FM in the header: every track FM", &kNormal, [](test::Bytes& b) { SetHeader(b, 5, 0x80); }, true, true, 2},
    };
    for (const BadCase& c : cases) {
        test::Bytes bytes = *c.base;
        c.spoil(bytes);
        DiskData image = DiskData::FromBytes(bytes);
        const auto header = IdentifyTd0(image);
        ASSERT_EQ(header.has_value(), c.identified) << c.what;
        if (!header) continue;
        std::optional<SectorLocation> found;
        ASSERT_NO_THROW(found = FindSystemSector(image)) << c.what;
        ASSERT_EQ(found.has_value(), c.found) << c.what;
        if (found) {
            ASSERT_EQ(found->Sector.Length(), 256) << c.what;
            for (std::int64_t n = 0; n < 256; ++n) ASSERT_EQ(found->Sector.At(n), kSector[static_cast<std::size_t>(n)]);
        }
        std::vector<TrackLayout> tracks;
        ASSERT_NO_THROW(tracks = ListTracks(image).Tracks) << c.what;
        EXPECT_EQ(tracks.size(), c.tracks) << c.what;
        // Track 0's sectors read together are what each gives alone: a malformed record ends both alike.
        std::vector<int> numbers(20);
        std::iota(numbers.begin(), numbers.end(), 0);
        const auto together = OpenContainer(image)->FindSectors(image, {0, 0}, numbers);
        for (const int number : numbers) {
            EXPECT_EQ(together[static_cast<std::size_t>(number)].has_value(),
                      OpenContainer(image)->FindSector(image, {0, 0, number}).has_value())
                << c.what << ", sector " << number;
        }
    }
}

TEST(BadTd0Input, CutOrFlippedAnywhere) {
    for (const test::Bytes* base : {&kNormal, &kAdvanced}) {
        for (std::size_t size = 0; size < base->size(); size += 7) {
            DiskData image = DiskData::FromBytes({base->data(), size});
            std::optional<SectorLocation> found;
            ASSERT_NO_THROW(found = FindSystemSector(image)) << size;
            if (found) {
                EXPECT_EQ(found->Sector.At(3), 77) << size;
            }
            if (const auto header = IdentifyTd0(image)) {
                EXPECT_NO_THROW(ListTracks(image)) << size;
            }
        }
        for (std::size_t at = 12; at < base->size(); at += 5) {
            test::Bytes bytes = *base;
            bytes[at] ^= 0x10;
            DiskData image = DiskData::FromBytes(bytes);
            EXPECT_NO_THROW(FindSystemSector(image)) << at;
            if (const auto header = IdentifyTd0(image)) {
                EXPECT_NO_THROW(ListTracks(image)) << at;
            }
        }
    }
}

// What the report makes of an image: the outcome, the slot and the geometry.
struct Analysis {
    bool found = false;
    bool stopped = false;
    std::optional<bool> marker;
    std::optional<DriveSlot> slot;
    bool dataCrcOk = true;
    std::optional<ImageGeometry> geometry;
    friend bool operator==(const Analysis&, const Analysis&) = default;
};

Analysis Analyse(auto&& image) {
    Analysis result;
    const auto container = OpenContainer(image);
    auto found = container ? container->FindSector(image, kSystemSector) : LocateSystemSector(image);
    if (container) result.geometry = SummariseGeometry(container->Tracks(image));
    if (result.geometry) {
        // A TD0 declares no cylinder count: the tracks it holds are the geometry.
        EXPECT_FALSE(result.geometry->Cut());
        result.geometry->DeclaredCylinders.reset();
        result.geometry->HeldCylinders = 0;
    }
    result.found = found.has_value();
    if (!found) return result;
    result.dataCrcOk = found->DataCrcOk.value_or(true);
    try {
        result.slot = ReadDriveSlot(found->Sector);
        result.marker = HasNewdosMarker(*found);
    } catch (const AnalysisStopped&) {
        result.stopped = true;
    }
    return result;
}

// The image's tracks as TD0: every ID its container lists, in order, each
// track's density its sectors' majority. Track 0, side 0, sector 2 holds the
// bytes the container found for it (or no data when it found none); the other
// sectors, which no check reads, hold 0xE5.
test::Bytes AsTd0(DiskData& image, bool advanced) {
    std::vector<img::Td0Track> tracks;
    if (const auto container = OpenContainer(image)) {
        auto found = container->FindSector(image, kSystemSector);
        bool placed = false;
        for (const TrackLayout& layout : container->Tracks(image).Tracks) {
            const auto singles = std::count_if(layout.Sectors.begin(), layout.Sectors.end(),
                                               [](const SectorId& id) { return id.Recording == Density::Single; });
            img::Td0Track track{static_cast<std::uint8_t>(layout.Cylinder),
                                static_cast<std::uint8_t>(layout.Side),
                                2 * singles > static_cast<std::ptrdiff_t>(layout.Sectors.size()),
                                {}};
            for (const SectorId& id : layout.Sectors) {
                std::uint8_t code = 0;
                while ((std::int64_t{128} << code) < id.Size) ++code;
                img::Td0Sector sector{id.Cylinder, id.Head, id.Sector, code, 0, test::Bytes(128u << code, 0xE5), {}};
                if (!placed && layout.Cylinder == 0 && layout.Side == 0 && id.Cylinder == 0 && id.Head == 0 &&
                    id.Sector == 2) {
                    placed = true;
                    sector.Flags = !found ? 0x20 : found->DataCrcOk.value_or(true) ? 0x00 : 0x02;
                    for (std::int64_t n = 0; found && n < found->Sector.Length(); ++n) {
                        sector.Data[static_cast<std::size_t>(n)] = found->Sector.At(n);
                    }
                }
                track.Sectors.push_back(std::move(sector));
            }
            tracks.push_back(std::move(track));
        }
    }
    img::Td0Options options;
    options.Advanced = advanced;
    return img::BuildTd0Image(tracks, options);
}

TEST(Td0Conversion, SamplesAndRealImagesKeepTheirOutcomeSlotAndGeometry) {
    std::vector<std::filesystem::path> files;
    for (const auto& dir : {test::SamplesDir(), test::RealImagesDir()}) {
        if (dir.empty()) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const auto extension = entry.path().extension();
            for (const char* image : {".dsk", ".dmk", ".jv3", ".hfe", ".imd", ".td0"}) {
                if (extension == image) files.push_back(entry.path());
            }
        }
    }
    if (test::RealImagesDir().empty()) std::cout << "the shared real images are not here: samples only\n";
    int foundAndConverted = 0;
    for (const auto& file : files) {
        DiskData image = DiskData::FromBytes(test::ReadWholeFile(file));
        const Analysis original = Analyse(image);
        for (const bool advanced : {false, true}) {
            const test::Bytes td0 = AsTd0(image, advanced);
            DiskData converted = DiskData::FromBytes(td0);
            ASSERT_EQ(OpenContainer(converted)->Type().Format, kTd0Container.Format) << file;
            EXPECT_EQ(Analyse(converted), original) << file << (advanced ? " (advanced)" : "");
        }
        foundAndConverted += original.found ? 1 : 0;
    }
    EXPECT_GE(foundAndConverted, test::RealImagesDir().empty() ? 6 : 16)
        << "images whose sector 2 was found and converted";
}

TEST(RealImages, TelediskModelIiCpmDisk) {
    const auto dir = test::RealImagesDir();
    if (dir.empty()) GTEST_SKIP() << "the shared real images are not here";
    DiskData image = DiskData::FromBytes(test::ReadWholeFile(dir / "model2-cpm-8in.td0"));
    const auto header = IdentifyTd0(image);
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->Advanced);
    EXPECT_EQ(header->DriveType, 2);
    auto found = FindSystemSector(image);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->FileOffset, 490);  // fc 0e 00 cd: the CP/M boot loader's sector 2
    EXPECT_EQ(found->Sector.At(0), 0xFC);
    EXPECT_TRUE(found->CrcOk());
    EXPECT_EQ(found->SectorSize, 128);
    EXPECT_FALSE(HasNewdosMarker(*found)) << "a 128-byte sector holds no marker";
    // 8-inch: FM track 0 of 26 sectors of 128 bytes, MFM data tracks of 26 of 256 up to
    // cylinder 76, and three more cylinders of 15 sectors of 512.
    const auto geometry = SummariseGeometry(ListTracks(image));
    ASSERT_TRUE(geometry);
    EXPECT_EQ(*geometry, (ImageGeometry{80, {}, 1, Density::Single, Density::Double, 26, 256, std::nullopt, 80}));
}

}  // namespace
}  // namespace tabulon
