// tabulon-report --brief and --geometry: one line per image, and the check of
// the table against the image's own tracks.
#include "CliRunner.h"
#include "ImageBuilder.h"

namespace tabulon {
namespace {

namespace img = images;

TEST_F(TabulonReport, BriefGivesOneLinePerImageInAFixedOrder) {
    img::DmkOptions eighty;
    eighty.Tracks = 80;
    const std::string wrong = Image("eighty.dsk", img::BuildDmkImage(eighty, img::MakeSystemSector(img::PdriveSlot{})));
    const std::string missing = (dir_.path() / "missing.dsk").string();
    const std::string blank = Image("blank.dsk", test::Bytes(100, 0xE5));
    const CliRun run =
        Call({"--brief", Sample("dmk-drive-report.dsk"), wrong, Sample("dmk-wrong-marker.dsk"), missing, blank});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.OutLines(),
              (std::vector<std::string>{
                  Sample("dmk-drive-report.dsk") +
                      "  report  DMK  structure  TI=A TD=E TC=40 SPT=18 TSR=3 GPL=2 DDSL=17 DDGA=2  fits",
                  wrong + "  report  DMK  structure  TI=A TD=A TC=40 SPT=10 TSR=3 GPL=2 DDSL=17 DDGA=2  differs: "
                          "cylinders 40 vs 80, density single vs double, sectors per cylinder 10 vs 18",
                  Sample("dmk-wrong-marker.dsk") + "  not-newdos  DMK  structure",
                  missing + "  unreadable  -  -",
                  blank + "  not-found  -  scan",
              }));
    EXPECT_EQ(Call({"--brief", "--json", blank}).status, 64) << "one line per image, or JSON, not both";
}

TEST_F(TabulonReport, GeometryLinesFollowTheReportAndJsonAlwaysCarriesThem) {
    const CliRun run = Call({"--geometry", Sample("jv3-drive-report.dsk")});
    const auto lines = run.OutLines();
    ASSERT_EQ(lines.size(), test::kReportLines + 3);
    EXPECT_EQ(lines[test::kReportLines], "");
    EXPECT_EQ(lines[22],
              "Image: 40 cylinders, 1 side, track 0 single density, data tracks single density, "
              "10 sectors of 256 bytes per track");
    EXPECT_EQ(lines[23], "Check: slot 0 fits the image");

    // A one-track DMK whose IDAM table is empty: recognised, but no sector anywhere.
    const auto blank = Image("blank.dmk", test::Raw().Put({0, 1, 0x00, 0x19, 0x10}).Resize(16 + 6400).bytes());
    EXPECT_EQ(Call({"--geometry", blank}).OutLines().at(11), "Image: geometry unknown (no sector on any track)");

    const auto scanned = Call({"--json", Image("bare.dsk", test::Raw().Put(test::kDmkPattern).Resize(400).bytes())});
    const auto object = scanned.JsonLines().at(0);
    EXPECT_TRUE(object["geometry"].is_null()) << "found only by the byte scans";
    EXPECT_TRUE(object["check"].is_null());
    const auto checked = Call({"--json", Sample("jv3-drive-report.dsk")}).JsonLines().at(0);
    EXPECT_EQ(checked["geometry"]["cylinders"], 40);
    EXPECT_TRUE(checked["geometry"]["declaredCylinders"].is_null()) << "JV3 declares no cylinder count";
    EXPECT_EQ(checked["geometry"]["cut"], false);
    EXPECT_EQ(checked["check"]["fits"], true);
}

// DMK headers that declare more than the file holds: no tracks at all, or two
// sides where side 1 holds no sector. The geometry says so.
TEST_F(TabulonReport, DmkHeadersDeclaringMoreThanTheTracksHold) {
    img::DmkOptions twoSided;
    twoSided.DoubleSided = true;
    test::Bytes image = img::BuildDmkImage(twoSided, img::MakeSystemSector(img::PdriveSlot{}));
    for (std::size_t track = 1; track < 80; track += 2) {  // side 1's track tables emptied
        std::fill_n(image.begin() + 16 + static_cast<std::ptrdiff_t>(track * 6400), 128, 0);
    }
    const std::string oneSide = Image("one-side.dmk", image);
    EXPECT_EQ(Call({"--geometry", oneSide}).OutLines().at(22),
              "Image: 40 cylinders, 1 side, track 0 double density, data tracks double density, "
              "18 sectors of 256 bytes per track; the header declares 2 sides; side 1 holds no sectors");
    const auto geometry = Call({"--json", oneSide}).JsonLines().at(0)["geometry"];
    EXPECT_EQ(geometry["sides"], 1);
    EXPECT_EQ(geometry["declaredSides"], 2);
    EXPECT_FALSE(
        Call({"--json", Sample("dmk-drive-report.dsk")}).JsonLines().at(0)["geometry"].contains("declaredSides"));

    image.resize(16);
    image[1] = 0;
    const std::string none = Image("no-tracks.dmk", image);
    EXPECT_EQ(Call({"--brief", none}).out, none + "  not-found  DMK  structure\n");
    const auto lines = Call({"--geometry", none}).OutLines();
    EXPECT_EQ(lines.at(lines.size() - 2), "Image: geometry unknown (the header declares no tracks)");
}

// A DMK cut after 17.5 of the 40 cylinders its header declares: the geometry
// says so, and the table is checked against the disk the header describes.
TEST_F(TabulonReport, AnImageCutShortIsCheckedAsTheDiskItWasCutFrom) {
    img::DmkOptions twoSided;
    twoSided.DoubleSided = true;
    img::PdriveSlot slot;
    slot.SectorsPerTrack = 36;  // D/S D/D
    test::Bytes image = img::BuildDmkImage(twoSided, img::MakeSystemSector(slot));
    image.resize(16 + 35 * 6400);
    const std::string path = Image("cut.dsk", image);
    const auto lines = Call({"--geometry", path}).OutLines();
    ASSERT_EQ(lines.size(), 21u + 3);
    EXPECT_EQ(
        lines[22],
        "Image: 40 cylinders (missing: 17-39), 2 sides, track 0 double density, data tracks double density, "
        "18 sectors of 256 bytes per track; the image is cut: the header declares 40 cylinders, the file holds 17");
    EXPECT_EQ(lines[23], "Check: slot 0 fits the image");
    const auto object = Call({"--json", path}).JsonLines().at(0);
    EXPECT_EQ(object["geometry"]["cut"], true);
    EXPECT_EQ(object["geometry"]["declaredCylinders"], 40);
    EXPECT_EQ(object["geometry"]["missingCylinders"].size(), 23u);
    EXPECT_EQ(object["check"]["fits"], true);
}

TEST_F(TabulonReport, RealNewdosImagesFitTheirTables) {
    TABULON_REAL_IMAGES(real);
    for (const char* file : {"newdos80-sd-track0-dmk.dsk", "newdos86-dd-track0-dmk.dsk", "newdos80-sssd-jv1.dsk"}) {
        const CliRun run = Call({"--brief", (real / file).string()});
        EXPECT_TRUE(run.out.ends_with("  fits\n")) << run.out;
    }
}

}  // namespace
}  // namespace tabulon
