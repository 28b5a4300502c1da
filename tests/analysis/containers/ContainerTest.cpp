#include "SlotDecoding.h"
#include "ImageBuilder.h"
#include "AnalysisStopped.h"
#include "Crc16.h"
#include "ContainerList.h"
#include "DosDisk.h"
#include "TestSupport.h"
#include "DmkImage.h"
#include "Jv1Image.h"
#include "Jv3Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tabulon {
namespace {

using test::FindSystemSector;
using test::ListTracks;

namespace img = images;

std::optional<ImageFormat> IdentifyLayout(auto&& image) {
    const auto container = OpenContainer(image);
    return container ? std::optional(container->Type().Format) : std::nullopt;
}

const test::Bytes kSector = img::MakeSystemSector(img::PdriveSlot{.TrackCount = 77});

struct DmkCase {
    const char* what;
    img::DmkOptions options;
    bool crcOk;
};

void PrintTo(const DmkCase& c, std::ostream* os) { *os << c.what; }

img::DmkOptions With(void (*change)(img::DmkOptions&)) {
    img::DmkOptions options;
    options.Tracks = 3;
    change(options);
    return options;
}

class DmkStructure : public ::testing::TestWithParam<DmkCase> {};

TEST_P(DmkStructure, FindsTheSectorThroughTheTrackTable) {
    const auto& c = GetParam();
    DiskData image = DiskData::FromBytes(img::BuildDmkImage(c.options, kSector));
    ASSERT_EQ(IdentifyLayout(image), kDmkContainer.Format);
    auto found = FindSystemSector(image);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->FormatLabel(), "   DMK Format");
    EXPECT_EQ(found->CrcOk(), c.crcOk);
    EXPECT_EQ(found->Sector.Length(), 256);
    EXPECT_EQ(found->Sector.At(0), kSector[0]);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    EXPECT_TRUE(HasNewdosMarker(found->Sector));
    // The offset names the first data byte in the file (the first copy, for doubled FM).
    EXPECT_EQ(image.At(found->FileOffset), kSector[0]);
    EXPECT_EQ(
        image.At(found->FileOffset + 3 * (c.options.Track0DoubleDensity || c.options.SingleDensityUndoubled ? 1 : 2)),
        77);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DmkStructure,
    ::testing::Values(DmkCase{"double density", With([](img::DmkOptions&) {}), true},
                      DmkCase{"double density, other gaps", With([](img::DmkOptions& o) {
                                  o.Gap2 = 16;
                                  o.Gap3 = 40;
                              }),
                              true},
                      DmkCase{"double density, interleaved", With([](img::DmkOptions& o) { o.Interleave = 3; }), true},
                      DmkCase{"single density, doubled",
                              With([](img::DmkOptions& o) { o.Track0DoubleDensity = false; }), true},
                      DmkCase{"single density, undoubled", With([](img::DmkOptions& o) {
                                  o.Track0DoubleDensity = false;
                                  o.OtherTracksDoubleDensity = false;
                                  o.SingleDensityUndoubled = true;
                              }),
                              true},
                      DmkCase{"single density, interleaved", With([](img::DmkOptions& o) {
                                  o.Track0DoubleDensity = false;
                                  o.Interleave = 5;
                              }),
                              true},
                      DmkCase{"double-sided", With([](img::DmkOptions& o) { o.DoubleSided = true; }), true},
                      DmkCase{"bad data CRC", With([](img::DmkOptions& o) { o.BadSystemSectorCrc = true; }), false},
                      DmkCase{"bad data CRC, single density", With([](img::DmkOptions& o) {
                                  o.Track0DoubleDensity = false;
                                  o.BadSystemSectorCrc = true;
                              }),
                              false}));

TEST(DmkStructure, BadCrcStillGivesTheData) {
    img::DmkOptions options;
    options.BadSystemSectorCrc = true;
    auto found = FindSystemSector(DiskData::FromBytes(img::BuildDmkImage(options, kSector)));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->IdCrcOk, true);
    EXPECT_EQ(found->DataCrcOk, false);
    EXPECT_TRUE(HasNewdosMarker(found->Sector));
}

TEST(DmkStructure, HeaderMustFitTheFile) {
    img::DmkOptions options;
    options.Tracks = 2;
    const test::Bytes good = img::BuildDmkImage(options, kSector);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    for (const Case& c : {Case{"write-protect byte neither 00 nor FF", 0, 0x12}, Case{"real-drive signature", 12, 0x78},
                          Case{"track length of zero", 2, 0}, Case{"no tracks", 1, 0}}) {
        test::Bytes bytes = good;
        bytes[c.at] = c.value;
        bytes[3] = c.at == 2 ? 0 : bytes[3];
        EXPECT_NE(IdentifyLayout(DiskData::FromBytes(bytes)), kDmkContainer.Format) << c.what;
    }
    test::Bytes cut = good;
    cut.resize(16 + 100);
    EXPECT_NE(IdentifyLayout(DiskData::FromBytes(cut)), kDmkContainer.Format) << "track 0 cut short";
    test::Bytes longer = good;
    longer.resize(good.size() + 2 * 6400 + 1);
    EXPECT_NE(IdentifyLayout(DiskData::FromBytes(longer)), kDmkContainer.Format) << "far more than its tracks";
    // A header alone that declares no tracks is a blank DMK: no sector, no track.
    test::Bytes header(good.begin(), good.begin() + 16);
    header[1] = 0;
    DiskData blank = DiskData::FromBytes(header);
    ASSERT_EQ(IdentifyLayout(blank), kDmkContainer.Format);
    EXPECT_FALSE(FindSystemSector(blank));
    EXPECT_TRUE(OpenContainer(blank)->Tracks(blank).Tracks.empty());
}

TEST(DmkStructure, NoSectorTwoOnTrackZeroIsNotFound) {
    // A track table pointing only at sector 0's ID field of an MFM track.
    img::DmkOptions options;
    options.Tracks = 1;
    test::Bytes bytes = img::BuildDmkImage(options, kSector);
    for (std::size_t entry = 1; entry < 64; ++entry) bytes[16 + 2 * entry] = bytes[16 + 2 * entry + 1] = 0;
    EXPECT_EQ(IdentifyLayout(DiskData::FromBytes(bytes)), kDmkContainer.Format);
    EXPECT_FALSE(FindSystemSector(DiskData::FromBytes(bytes)));
}

TEST(DmkStructure, ASectorCutByTheEndOfItsTrackStopsAsSuch) {
    img::DmkOptions options;
    options.Tracks = 1;
    test::Bytes bytes = img::BuildDmkImage(options, kSector);
    // End the track 100 bytes after sector 2's ID field.
    std::size_t idMark = 0;
    for (std::size_t entry = 0; entry < 64 && idMark == 0; ++entry) {
        const std::size_t at = 16 + ((bytes[16 + 2 * entry] | (bytes[17 + 2 * entry] << 8)) & 0x3FFF);
        if (bytes[at + 3] == 2) idMark = at - 16;
    }
    ASSERT_NE(idMark, 0u);
    const std::size_t length = idMark + 100;
    bytes[2] = static_cast<std::uint8_t>(length & 0xFF);
    bytes[3] = static_cast<std::uint8_t>(length >> 8);
    bytes.resize(16 + length);
    auto found = FindSystemSector(DiskData::FromBytes(bytes));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->DataCrcOk, false);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    try {
        HasNewdosMarker(*found);
        FAIL() << "expected a stop";
    } catch (const AnalysisStopped& stop) {
        EXPECT_EQ(stop.WhyStopped(), AnalysisStopped::Reason::SectorCutShort);
    }
}

TEST(Jv3Structure, WalksMixedSizesAndFreeEntries) {
    test::Bytes system = kSector;
    const std::vector<img::Jv3Sector> sectors = {
        {0, 0, 0x01, test::Bytes(128, 0x11)},   // 128 bytes
        {0xFF, 0xFF, 0xFC, {}},                 // a free entry: 512 bytes kept in the file
        {0, 2, 0x10, test::Bytes(256, 0x22)},   // side 1: not ours
        {0, 1, 0x02, test::Bytes(1024, 0x33)},  // 1024 bytes
        {0, 2, 0x00, system},                   // track 0, side 0, sector 2
        {1, 0, 0x00, test::Bytes(256, 0x44)},
    };
    DiskData image = DiskData::FromBytes(img::BuildJv3Image(sectors));
    ASSERT_EQ(IdentifyLayout(image), kJv3Container.Format);
    auto found = FindSystemSector(image);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->FormatLabel(), "   JV  Format");
    EXPECT_EQ(found->FileOffset, 8704 + 128 + 512 + 256 + 1024);
    EXPECT_FALSE(found->DataCrcOk.has_value());
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    EXPECT_TRUE(HasNewdosMarker(found->Sector));
}

TEST(Jv3Structure, A128ByteSystemSectorHoldsNoMarker) {
    const std::vector<img::Jv3Sector> sectors = {{0, 2, 0x01, test::Bytes(kSector.begin(), kSector.begin() + 128)}};
    auto found = FindSystemSector(DiskData::FromBytes(img::BuildJv3Image(sectors)));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Sector.Length(), 128);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    EXPECT_THROW(HasNewdosMarker(found->Sector), std::exception) << "its bytes end before 239";
    EXPECT_FALSE(HasNewdosMarker(*found)) << "a sector that short is no Newdos sector";
}

TEST(Jv3Structure, SectorsMustFitTheFile) {
    test::Bytes bytes = img::BuildJv3Image(img::StandardJv3Sectors(2, 10, false, kSector));
    bytes.resize(bytes.size() - 1);
    EXPECT_NE(IdentifyLayout(DiskData::FromBytes(bytes)), kJv3Container.Format);
    test::Bytes protectedOne = img::BuildJv3Image(img::StandardJv3Sectors(2, 10, false, kSector), true);
    EXPECT_EQ(IdentifyLayout(DiskData::FromBytes(protectedOne)), kJv3Container.Format);
    protectedOne[8703] = 0x42;
    EXPECT_NE(IdentifyLayout(DiskData::FromBytes(protectedOne)), kJv3Container.Format);
}

TEST(Jv1Structure, SectorTwoIsAtOffset512) {
    DiskData image = DiskData::FromBytes(img::BuildJv1Image(35, kSector));
    ASSERT_EQ(IdentifyLayout(image), kJv1Container.Format);
    auto found = FindSystemSector(image);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->FormatLabel(), "   JV1 Format");
    EXPECT_EQ(found->FileOffset, 512);
    EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, " 77");
    // A file far longer than any disk lists no more tracks than an ID field can number.
    DiskData huge = DiskData::FromBytes(img::BuildJv1Image(300, kSector));
    EXPECT_EQ(OpenContainer(huge)->Tracks(huge, TrackDetail::WithData).Tracks.size(), 256u);
}

TEST(Structure, OtherFilesFitNoLayout) {
    for (const test::Bytes& bytes :
         {test::Bytes{}, test::Bytes(100, 0), test::Bytes(2561, 0xE5), test::Bytes(9000, 0x55)}) {
        EXPECT_FALSE(IdentifyLayout(DiskData::FromBytes(bytes)).has_value()) << bytes.size();
        EXPECT_FALSE(FindSystemSector(DiskData::FromBytes(bytes)).has_value());
    }
}

// A place recorded twice, the sector only in the second record: IMD looks in
// every record of the place, TD0 only in the first. Either way the listing
// gives both records.
TEST(Walk, APlaceRecordedTwice) {
    const auto low = [](std::span<const std::uint8_t> bytes) {
        return static_cast<std::uint8_t>(Crc16Teledisk(bytes) & 0xFFu);
    };
    test::Raw imd;
    imd.Put({'I', 'M', 'D', ' ', '1', '.', '1', '8', 0x1A});
    imd.Put({0, 0, 0, 1, 1, 1, 2, 0xE5});  // FM, cylinder 0, head 0, sector 1 of 256 bytes, compressed
    imd.Put({0, 0, 0, 1, 1, 2, 1}).Put(kSector);
    test::Raw td0;
    td0.Put({'T', 'D', 0, 0, 21, 0, 0, 0, 0, 1});
    const std::uint16_t headerCrc = Crc16Teledisk(td0.bytes());
    td0.Put({static_cast<std::uint8_t>(headerCrc & 0xFFu), static_cast<std::uint8_t>(headerCrc >> 8)});
    for (const std::uint8_t number : {std::uint8_t{1}, std::uint8_t{2}}) {
        const std::array<std::uint8_t, 3> track{1, 0, 0};
        td0.Put(track).Put({low(track)});
        td0.Put({0, 0, number, 1, 0, low(kSector), 1, 1, 0}).Put(kSector);  // 257 bytes follow: as they are
    }
    td0.Put({0xFF});
    for (const auto& [raw, found] : {std::pair{&imd, true}, std::pair{&td0, false}}) {
        DiskData image = raw->Data();
        ASSERT_TRUE(IdentifyLayout(image).has_value());
        EXPECT_EQ(FindSystemSector(image).has_value(), found) << IdentifyLayout(image)->Name;
        EXPECT_EQ(ListTracks(image).Tracks.size(), 2u);
    }
}

TEST(ReadAllSlots, TenSlotsSixteenBytesApart) {
    std::vector<img::PdriveSlot> slots(10);
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i].TrackCount = static_cast<std::uint8_t>(30 + i);
    DiskData sector = DiskData::FromBytes(img::MakeSystemSector(slots));
    SectorBytes whole(sector, 0);
    const auto decoded = ReadAllSlots(whole);
    ASSERT_EQ(decoded.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(decoded[i]);
        EXPECT_EQ(decoded[i]->TrackCount, 30 + i);
    }
    DiskData shortOne = DiskData::FromBytes(test::Bytes(60, 0));
    SectorBytes shortBytes(shortOne, 0);
    const auto cut = ReadAllSlots(shortBytes);
    EXPECT_TRUE(cut[3]) << "slot 3 ends at byte 57";
    EXPECT_FALSE(cut[4]) << "slot 4 needs byte 73";
}

TEST(RealImages, StructureFindsWhatTheScansMiss) {
    TABULON_REAL_IMAGES(dir);
    struct Case {
        const char* file;
        ImageFormat layout;
        bool marker;
        const char* trackCount;
    };
    for (const Case& c : {Case{"newdos80-sd-track0-dmk.dsk", kDmkContainer.Format, true, " 40"},
                          Case{"newdos86-dd-track0-dmk.dsk", kDmkContainer.Format, true, " 40"},
                          Case{"newdos80-sssd-jv1.dsk", kJv1Container.Format, true, " 80"},
                          Case{"newdos80-no-pdrive-dmk.dsk", kDmkContainer.Format, false, nullptr}}) {
        DiskData image = DiskData::FromBytes(test::ReadWholeFile(dir / c.file));
        auto found = FindSystemSector(image);
        ASSERT_TRUE(found) << c.file;
        EXPECT_EQ(found->Format, c.layout) << c.file;
        EXPECT_EQ(HasNewdosMarker(found->Sector), c.marker) << c.file;
        if (c.layout == kDmkContainer.Format) {
            EXPECT_TRUE(found->CrcOk()) << c.file;
        }
        if (c.trackCount) {
            EXPECT_EQ(DecodeDriveSpecs(found->Sector).TrackCount, c.trackCount) << c.file;
        }
    }
}

// A track's sectors read together, by a container that has walked every track
// (and may have learnt where they lie), are what each read alone gives on a
// container fresh from opening: on the samples, a disk written as each
// container, and the shared real images (flux captures aside: they are slow).
TEST(Containers, ReadATracksSectorsTogetherAsEachAlone) {
    std::vector<std::pair<std::string, test::Bytes>> images;
    for (const auto& entry : std::filesystem::directory_iterator(test::SamplesDir())) {
        if (entry.is_regular_file()) images.emplace_back(entry.path().filename(), test::ReadWholeFile(entry.path()));
    }
    // Every sector its own bytes, some with deleted data marks.
    const auto written = [](const img::DiskShape& shape) {
        img::DosDisk disk(shape);
        for (int cylinder = 0; cylinder < shape.Cylinders; ++cylinder) {
            for (int index = 0; index < disk.SectorsOn(cylinder) * shape.Sides; ++index) {
                const img::DiskPlace place = disk.Ordered(index, cylinder);
                disk.At(place).assign(disk.At(place).size(), static_cast<std::uint8_t>(cylinder * 37 + index));
                if (index % 5 == 1) disk.SetDeleted(place);
            }
        }
        return disk;
    };
    const img::DosDisk doubleSided = written(img::DiskShape{12, 2, 18, 256, 0, true, 10, 3});
    const img::DosDisk single = written(img::DiskShape{12, 1, 10, 256, 0, false});
    for (const auto& [name, bytes] :
         {std::pair{"DMK", doubleSided.Dmk()}, std::pair{"JV3", doubleSided.Jv3()}, std::pair{"JV1", single.Jv1()},
          std::pair{"IMD", doubleSided.Imd()}, std::pair{"TD0", doubleSided.Td0()}}) {
        images.emplace_back(std::string("written as ") + name, bytes);
    }
    if (const auto dir = test::RealImagesDir(); !dir.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const auto extension = entry.path().extension();
            if (entry.is_regular_file() && extension != ".md" && extension != ".zip" && extension != ".scp") {
                images.emplace_back(entry.path().filename(), test::ReadWholeFile(entry.path()));
            }
        }
    }
    const auto same = [](std::optional<SectorLocation>& a, std::optional<SectorLocation>& b) {
        if (!a || !b) return a.has_value() == b.has_value();
        std::vector<std::uint8_t> first(static_cast<std::size_t>(a->Sector.Length()));
        std::vector<std::uint8_t> second(static_cast<std::size_t>(b->Sector.Length()));
        a->Sector.CopyTo(first);
        b->Sector.CopyTo(second);
        return a->FileOffset == b->FileOffset && a->SectorSize == b->SectorSize && a->IdCrcOk == b->IdCrcOk &&
               a->DataCrcOk == b->DataCrcOk && first == second;
    };
    int compared = 0;
    for (const auto& [name, bytes] : images) {
        DiskData image = DiskData::FromBytes(bytes);
        const auto warm = OpenContainer(image);
        if (!warm) continue;
        const TrackList list = warm->Tracks(image);
        for (std::size_t t = 0; t < list.Tracks.size() && t < 40; ++t) {
            const TrackLayout& track = list.Tracks[t];
            std::vector<int> numbers{250};  // one no track holds
            for (const SectorId& id : track.Sectors) numbers.push_back(id.Sector);
            std::sort(numbers.begin(), numbers.end());
            numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
            auto together = warm->FindSectors(image, {track.Cylinder, track.Side}, numbers);
            const auto cold = OpenContainer(image);
            for (std::size_t n = 0; n < numbers.size(); ++n) {
                auto alone = cold->FindSector(image, {track.Cylinder, track.Side, numbers[n]});
                EXPECT_TRUE(same(together[n], alone))
                    << name << " cylinder " << track.Cylinder << " side " << track.Side << " sector " << numbers[n];
                compared += alone.has_value() ? 1 : 0;
            }
        }
    }
    EXPECT_GT(compared, 2000);
}

}  // namespace
}  // namespace tabulon
