#include "AnalysisStopped.h"
#include "SlotDecoding.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

using test::Raw;

// Images made for the case or kept by it.
DriveSpecs Decode(auto&& data, std::int64_t base) {
    SectorBytes sector(data, base);
    return DecodeDriveSpecs(sector);
}
bool Marker(auto&& data, std::int64_t base) {
    SectorBytes sector(data, base);
    return HasNewdosMarker(sector);
}

// A slot at offset 0 with the given flag bytes (F at 2, G at 7), marker at 239.
DiskData Slot(std::uint8_t f, std::uint8_t g, std::uint8_t spt = 10) {
    return Raw().At(0, {17, 0, f, 40, spt, 2, 0, g, 0, 2}).At(239, {0xA5}).Resize(256).Data();
}

struct FlagCase {
    std::uint8_t f;
    std::uint8_t g;
    const char* interfaceType;
    const char* stepRate;
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << "F=" << int(c.f) << " G=" << int(c.g); }

class InterfaceType : public ::testing::TestWithParam<FlagCase> {};

TEST_P(InterfaceType, LetterSuffixAndStepRate) {
    const auto& c = GetParam();
    const DriveSpecs drive = Decode(Slot(c.f, c.g), 0);
    EXPECT_EQ(drive.InterfaceType, c.interfaceType) << std::hex << int(c.f) << "/" << int(c.g);
    EXPECT_EQ(drive.TrackStepRate, c.stepRate);
}

// The worked table of flag bytes, plus the other edge cases of the letter rules.
INSTANTIATE_TEST_SUITE_P(WorkedValues, InterfaceType,
                         ::testing::Values(FlagCase{0x00, 0x00, "? ", " 0"}, FlagCase{0x03, 0x04, "?L", " 3"},
                                           FlagCase{0x04, 0x00, "A ", " 0"}, FlagCase{0x04, 0x04, "AL", " 0"},
                                           FlagCase{0x0C, 0x00, "B ", " 0"}, FlagCase{0x10, 0x00, "C ", " 0"},
                                           FlagCase{0x14, 0x04, "EL", " 0"}, FlagCase{0x17, 0x00, "E ", " 3"},
                                           FlagCase{0x18, 0x00, "D ", " 0"}, FlagCase{0x1C, 0x00, "A ", " 0"},
                                           FlagCase{0x34, 0x04, "AM", " 0"}, FlagCase{0x4C, 0x04, "AK", " 0"},
                                           FlagCase{0x60, 0x04, "?M", " 0"}, FlagCase{0x8C, 0x00, "A ", " 0"},
                                           FlagCase{0x94, 0x04, "AL", " 0"}, FlagCase{0xFF, 0x00, "AM", " 3"},
                                           FlagCase{0x40, 0x00, "?K", " 0"}, FlagCase{0x02, 0xFB, "? ", " 2"},
                                           FlagCase{0x09, 0xFF, "DL", " 1"}));

struct SptCase {
    std::uint8_t spt;
    const char* diskType;
    const char* sidesDensity;
    const char* shown;
};

void PrintTo(const SptCase& c, std::ostream* os) { *os << "SPT=" << int(c.spt); }

class SectorsPerTrack : public ::testing::TestWithParam<SptCase> {};

TEST_P(SectorsPerTrack, DiskTypeAndSidesDensity) {
    const auto& c = GetParam();
    const DriveSpecs drive = Decode(Slot(0x04, 0, c.spt), 0);
    EXPECT_EQ(drive.DiskType, c.diskType);
    EXPECT_EQ(drive.SidesDensity, c.sidesDensity);
    EXPECT_EQ(drive.SectorsPerTrack, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Table, SectorsPerTrack,
                         ::testing::Values(SptCase{10, "A", "S/S S/D", " 10"}, SptCase{20, "C", "D/S S/D", " 20"},
                                           SptCase{18, "E", "S/S D/D", " 18"}, SptCase{0, "G", "D/S D/D", " 0"},
                                           SptCase{9, "G", "D/S D/D", " 9"}, SptCase{19, "G", "D/S D/D", " 19"},
                                           SptCase{36, "G", "D/S D/D", " 36"}, SptCase{255, "G", "D/S D/D", " 255"}));

TEST(DecodeDriveSpecs, NumericFieldsAreSpacedAndNeverPadded) {
    DiskData data = Raw().At(100, {0, 0xEE, 0x07, 255, 10, 1, 0xEE, 0, 0xEE, 0}).Resize(400).Data();
    const DriveSpecs drive = Decode(data, 100);
    EXPECT_EQ(drive.DirectoryStartLump, " 0");
    EXPECT_EQ(drive.TrackCount, " 255");
    EXPECT_EQ(drive.SectorsPerTrack, " 10");
    EXPECT_EQ(drive.GranulesPerLump, " 1");
    EXPECT_EQ(drive.DirectoryGranules, " 0");
    EXPECT_EQ(drive.TrackStepRate, " 3");
    EXPECT_EQ(drive.InterfaceType, "A ");
}

TEST(DecodeDriveSpecs, StopsWhenTheSlotRunsPastTheImage) {
    // base+9 is the farthest read: FileLength = base+8 stops, base+9 (the spare byte) does not.
    DiskData shortOne = Raw().Fill(108, 0x04).Data();
    EXPECT_THROW(Decode(shortOne, 100), AnalysisStopped);
    DiskData justEnough = Raw().Fill(109, 0x04).Data();
    EXPECT_EQ(Decode(justEnough, 100).DirectoryGranules, " 0") << "base+9 is the spare byte";
    EXPECT_THROW(Decode(justEnough, 8704), AnalysisStopped) << "a JV Base far beyond a short file";
    EXPECT_THROW(Decode(justEnough, -1), AnalysisStopped);
}

TEST(HasNewdosMarker, OnlyA5Counts) {
    for (const std::uint8_t marker : {std::uint8_t{0xA5}, std::uint8_t{0xA4}, std::uint8_t{0x5A}, std::uint8_t{0x00}}) {
        DiskData data = Raw().At(239, {marker}).Resize(256).Data();
        EXPECT_EQ(Marker(data, 0), marker == 0xA5) << int(marker);
    }
}

TEST(HasNewdosMarker, SpareByteReadsAsNoMarkerAndBeyondStops) {
    DiskData data = Raw().Fill(239, 0xA5).Data();  // FileLength = 239: base+239 is the spare byte
    EXPECT_FALSE(Marker(data, 0));
    EXPECT_THROW(Marker(data, 1), AnalysisStopped);
}

}  // namespace
}  // namespace tabulon
