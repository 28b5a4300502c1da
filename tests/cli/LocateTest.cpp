// tabulon-report --locate=structure and --all-slots.
#include "CliRunner.h"
#include "ImageBuilder.h"

namespace tabulon {
namespace {

namespace img = images;
using nlohmann::json;

const test::Bytes kSector = img::MakeSystemSector(img::PdriveSlot{});

class Locate : public TabulonReport {
protected:
    std::string FmDmkImage(bool badCrc = false) {
        img::DmkOptions options;
        options.Tracks = 2;
        options.Track0DoubleDensity = false;
        options.BadSystemSectorCrc = badCrc;
        return Image(badCrc ? "fm-bad-crc.dsk" : "fm.dsk", img::BuildDmkImage(options, kSector));
    }
};

TEST_F(Locate, StructureFindsASingleDensityTrackZero) {
    const std::string path = FmDmkImage();
    const CliRun scan = Call({"--locate=scan", path});
    EXPECT_NE(scan.status, 0) << "the byte scans find no MFM ID field";

    const CliRun structure = Call({"--locate=structure", path});
    EXPECT_EQ(structure.status, 0);
    EXPECT_EQ(structure.err, "");
    const auto lines = structure.OutLines();
    ASSERT_EQ(lines.size(), test::kReportLines) << "searching line, no switch lines, heading, drive report";
    EXPECT_EQ(lines[9], "                     40 Track  S/S S/D       DMK Format Disk");
    EXPECT_EQ(lines[11], "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2");

    const auto object = Call({"--locate=structure", "--json", path}).JsonLines().at(0);
    EXPECT_EQ(object["locate"], "structure");
    EXPECT_EQ(object["format"], "DMK");
    EXPECT_EQ(object["crcOk"], true);
    EXPECT_EQ(object["outcome"], "report");
}

TEST_F(Locate, BadCrcIsAWarningAndTheDataIsStillShown) {
    const std::string path = FmDmkImage(true);
    const CliRun run = Call({"--locate=structure", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.OutLines().size(), test::kReportLines);
    EXPECT_EQ(run.err,
              "tabulon-report: " + path + ": warning: CRC error in the data field of track 0, side 0, sector 2\n");
    EXPECT_EQ(Call({"--locate=structure", "--json", path}).JsonLines().at(0)["crcOk"], false);
}

TEST_F(Locate, Jv1AndJv3Labels) {
    const std::string jv1 = Image("jv1.dsk", img::BuildJv1Image(40, kSector));
    const auto jv1Lines = Call({"--locate=structure", jv1}).OutLines();
    ASSERT_EQ(jv1Lines.size(), test::kReportLines);
    EXPECT_TRUE(jv1Lines[9].ends_with("   JV1 Format Disk")) << jv1Lines[9];
    const auto object = Call({"--locate=structure", "--json", jv1}).JsonLines().at(0);
    EXPECT_EQ(object["format"], "JV1");
    EXPECT_TRUE(object["crcOk"].is_null());
    EXPECT_EQ(object["sectorOffset"], 512);

    const auto jv3Lines = Call({"--locate=structure", Sample("jv3-drive-report.dsk")}).OutLines();
    ASSERT_EQ(jv3Lines.size(), test::kReportLines);
    EXPECT_TRUE(jv3Lines[9].ends_with("   JV  Format Disk"));
}

TEST_F(Locate, A128ByteSectorIsNoNewdosSector) {
    const std::vector<img::Jv3Sector> sectors = {{0, 2, 0x01, test::Bytes(kSector.begin(), kSector.begin() + 128)}};
    const std::string path = Image("short.dsk", img::BuildJv3Image(sectors));
    const CliRun run = Call({"--locate=structure", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.OutLines().size(), test::ReportLines(Outcome::NotNewdos))
        << "searching line, heading block and the not-a-Newdos line";
}

// By default the container's structure when one is recognised, otherwise the
// byte scans: the report is always the one of the mode that found the sector.
TEST_F(Locate, AutoGivesTheReportOfTheModeThatFindsTheSector) {
    std::vector<std::string> images;
    for (const char* name : {"dmk-drive-report.dsk", "jv3-drive-report.dsk", "dmk-wrong-marker.dsk", "not-found.dsk"}) {
        images.push_back(Sample(name));
    }
    images.push_back(FmDmkImage());
    images.push_back(Image("noise.dsk", test::Raw().Put({0, 2}).Resize(3000, 0x55).bytes()));
    if (const auto real = test::RealImagesDir(); !real.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(real)) {
            if (entry.path().extension() != ".md") images.push_back(entry.path().string());
        }
    }
    for (const std::string& image : images) {
        const auto object = Call({"--json", image}).JsonLines().at(0);
        const std::string mode = object["locate"];
        const CliRun byDefault = Call({image});
        const CliRun chosen = Call({"--locate=" + mode, image});
        EXPECT_EQ(byDefault.out, chosen.out) << image;
        EXPECT_EQ(byDefault.status, chosen.status) << image;
        EXPECT_EQ(Call({"--locate=scan", "--json", image}).JsonLines().at(0)["locate"], "scan");
    }
}

TEST_F(Locate, RealImagesGiveThreeReportsAndOneEmptySector) {
    TABULON_REAL_IMAGES(real);
    struct Case {
        const char* file;
        int status;
        const char* format;
    };
    for (const Case& c : {Case{"newdos80-sd-track0-dmk.dsk", 0, "DMK"}, Case{"newdos86-dd-track0-dmk.dsk", 0, "DMK"},
                          Case{"newdos80-sssd-jv1.dsk", 0, "JV1"}, Case{"newdos80-no-pdrive-dmk.dsk", 1, "DMK"}}) {
        const std::string path = (real / c.file).string();
        const CliRun run = Call({"--locate=structure", path});
        EXPECT_EQ(run.status, c.status) << c.file;
        EXPECT_EQ(run.err, "") << c.file;
        const auto object = Call({"--locate=structure", "--json", path}).JsonLines().at(0);
        EXPECT_EQ(object["format"], c.format) << c.file;
        EXPECT_NE(Call({"--locate=scan", path}).status, 0) << c.file << ": the byte scans miss it";
        EXPECT_EQ(Call({path}).status, c.status) << c.file << ": found by default";
    }
}

TEST_F(Locate, AllSlotsInBothModes) {
    std::vector<img::PdriveSlot> slots(10);
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i].DirectoryStartLump = static_cast<std::uint8_t>(10 + i);
    const std::string path = Image("slots.dsk", img::BuildDmkImage({}, img::MakeSystemSector(slots)));
    for (const char* mode : {"--locate=scan", "--locate=structure"}) {
        const auto lines = Call({mode, "--all-slots", path}).OutLines();
        ASSERT_EQ(lines.size(), test::kReportLines + 1 + 10) << mode;
        EXPECT_EQ(lines[test::kReportLines], "");
        EXPECT_EQ(lines[22], "Slot 0:  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 10  DDGA = 2");
        EXPECT_EQ(lines[31], "Slot 9:  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 19  DDGA = 2");

        const auto object = Call({mode, "--all-slots", "--json", path}).JsonLines().at(0);
        ASSERT_EQ(object["slots"].size(), 10u);
        EXPECT_EQ(object["slots"][4]["DDSL"], 14);
    }
    const auto notFound = Call({"--locate=scan", "--all-slots", "--json", Sample("not-found.dsk")}).JsonLines().at(0);
    EXPECT_TRUE(notFound["slots"].is_null());
    EXPECT_EQ(Call({"--locate=scan", "--all-slots", Sample("not-found.dsk")}).OutLines().size(), test::kNotFoundLines);
}

TEST_F(Locate, UnknownModeIsAUsageError) { EXPECT_EQ(Call({"--locate=guess", "x.dsk"}).status, 64); }

}  // namespace
}  // namespace tabulon
