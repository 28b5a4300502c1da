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

    const auto scanned = Call({"--json", Image("bare.dsk", test::Raw().Put(test::kDmkPattern).Resize(400).bytes())});
    const auto object = scanned.JsonLines().at(0);
    EXPECT_TRUE(object["geometry"].is_null()) << "found only by the byte scans";
    EXPECT_TRUE(object["check"].is_null());
    const auto checked = Call({"--json", Sample("jv3-drive-report.dsk")}).JsonLines().at(0);
    EXPECT_EQ(checked["geometry"]["cylinders"], 40);
    EXPECT_EQ(checked["check"]["fits"], true);
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
