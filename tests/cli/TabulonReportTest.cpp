// Runs the built tabulon-report on generated images and checks what a script sees:
// stdout, stderr and the exit status. --locate=scan gives the window's own lines.
#include "CliRunner.h"

namespace tabulon {
namespace {

using nlohmann::json;

// Each sample by the window's byte scans: the text report, its status, and the same findings as JSON.
TEST_F(TabulonReport, SamplesGiveTheOutcomesTheirNamesPromise) {
    struct Case {
        const char* sample;
        Outcome outcome;
        bool switchLines;
        const char* last;
        json format;
        json offset;
    };
    constexpr std::array<const char*, 3> kNames = {"report", "not-newdos", "not-found"};
    const char* legend = "   DDGA = Disk Directory Granule Allocation: No of Granules used by the Directory";
    for (const Case& c :
         {Case{"dmk-drive-report.dsk", Outcome::DriveReport, false, legend, "DMK", 1018},
          Case{"jv3-drive-report.dsk", Outcome::DriveReport, true, legend, "JV3", 9216},
          Case{"dmk-wrong-marker.dsk", Outcome::NotNewdos, false,
               " Error --- This is not a Newdos Disk, or failed to find correct sector", "DMK", 1018},
          Case{"not-found.dsk", Outcome::NotFound, true,
               "   ** Error ** --- Unable to find the required sector on this disk.", nullptr, nullptr}}) {
        SCOPED_TRACE(c.sample);
        const CliRun run = Call({"--locate=scan", Sample(c.sample)});
        EXPECT_EQ(run.status, static_cast<int>(c.outcome));
        EXPECT_EQ(run.err, "");
        const auto lines = run.OutLines();
        ASSERT_EQ(lines.size(), test::ReportLines(c.outcome, c.switchLines));
        EXPECT_EQ(lines.front(), " Searching ..........");
        EXPECT_EQ(lines.back(), c.last);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "      " + Sample(c.sample)), lines.end());
        EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "no colour when stdout is not a terminal";

        const json object = Call({"--locate=scan", "--json", Sample(c.sample)}).JsonLines().at(0);
        EXPECT_EQ(object["path"], Sample(c.sample));
        EXPECT_EQ(object["outcome"], kNames.at(static_cast<std::size_t>(c.outcome)));
        EXPECT_EQ(object["format"], c.format);
        EXPECT_EQ(object["sectorOffset"], c.offset);
        EXPECT_EQ(object["newdosMarker"], c.offset.is_null() ? json(nullptr) : json(c.outcome == Outcome::DriveReport));
        EXPECT_EQ(object["slot"].is_object(), !c.offset.is_null());
    }
    const json dmk = Call({"--json", Sample("dmk-drive-report.dsk")}).JsonLines().at(0);
    EXPECT_EQ(dmk["slot"], json::parse(R"({"TI":"A ","TD":"E","TC":40,"SPT":18,"TSR":3,"GPL":2,
                                           "DDSL":17,"DDGA":2,"sidesDensity":"S/S D/D"})"));
}

TEST_F(TabulonReport, DmkReportToTheCharacter) {
    const CliRun run = Call({Sample("dmk-drive-report.dsk")});
    const auto lines = run.OutLines();
    ASSERT_EQ(lines.size(), test::kReportLines);
    EXPECT_EQ(lines[9], "                     40 Track  S/S D/D       DMK Format Disk");
    EXPECT_EQ(lines[11], "  TI = A   TD = E  TC = 40   SPT = 18  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2");
}

// What was drawn stays, and the message says where the sector lies: cut by the
// image's end, or wholly past it (the JV scan's sector, 8,704 on, in a short file).
TEST_F(TabulonReport, StoppedAnalysisPrintsWhatWasDrawnAndSaysWhy) {
    struct Case {
        test::Bytes bytes;
        std::size_t lines;  // the searching line, the switch lines of the JV scan, the heading block
        const char* message;
        json sectorOffset;
        bool slot;
    };
    const char* const inside = "the image ends inside the system sector";
    const char* const beyond = "the system sector lies beyond the end of the image";
    for (const Case& c : {
             Case{test::Raw().Put(test::kDmkPattern).Resize(100).bytes(), 9, inside, 48, true},
             Case{test::Raw().Put({0, 2}).Resize(8704 + 5).bytes(), 4, inside, 8704, false},
             Case{test::Raw().Put({0, 2}).Resize(8704).bytes(), 4, beyond, 8704, false},
             Case{test::Bytes{0, 2}, 4, beyond, 8704, false},
         }) {
        const auto path = Image("cut.dsk", c.bytes);
        const CliRun run = Call({path});
        EXPECT_EQ(run.status, 3) << c.bytes.size();
        EXPECT_EQ(run.OutLines().size(), c.lines) << c.bytes.size();
        EXPECT_EQ(run.err, "tabulon-report: " + path + ": " + c.message + "\n");

        const auto object = Call({"--json", path}).JsonLines().at(0);
        EXPECT_EQ(object["outcome"], "stopped");
        EXPECT_EQ(object["sectorOffset"], c.sectorOffset);
        EXPECT_TRUE(object["newdosMarker"].is_null());
        EXPECT_EQ(object["slot"].is_object(), c.slot) << "decoding finished before the marker read";
    }
}

TEST_F(TabulonReport, UnreadableImagesPrintNothingAndNameTheReason) {
    std::filesystem::create_directory(dir_.path() / "folder");
    struct Case {
        std::string path;
        std::string reason;
    };
    for (const Case& c :
         {Case{(dir_.path() / "missing.dsk").string(), "No such file or directory"},
          Case{(dir_.path() / "folder").string(), "Is a directory"}, Case{"/dev/null", "Not a regular file"}}) {
        const CliRun run = Call({c.path});
        EXPECT_EQ(run.status, 4) << c.path;
        EXPECT_EQ(run.out, "") << c.path;
        EXPECT_EQ(run.err, "tabulon-report: " + c.path + ": " + c.reason + "\n");
        const CliRun asJson = Call({"--json", c.path});
        EXPECT_EQ(asJson.JsonLines().at(0)["outcome"], "unreadable");
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing.dsk"));
}

TEST_F(TabulonReport, SeveralImagesAreSeparatedByOneEmptyLineAndTheWorstStatusWins) {
    const CliRun run =
        Call({Sample("dmk-wrong-marker.dsk"), (dir_.path() / "missing").string(), Sample("dmk-drive-report.dsk")});
    EXPECT_EQ(run.status, 4);
    const auto lines = run.OutLines();
    ASSERT_EQ(lines.size(), test::ReportLines(Outcome::NotNewdos) + 1 + test::kReportLines);
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], " Searching ..........");
}

TEST_F(TabulonReport, RelativeNamesAreMadeAbsoluteWithoutResolvingLinks) {
    const auto target = Image("real.dsk", test::Bytes(10, 0));
    std::filesystem::create_symlink(target, dir_.path() / "link.dsk");
    const CliRun run = Call({"./link.dsk"}, dir_.path().string());
    const auto lines = run.OutLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "      " + (dir_.path() / "link.dsk").string()), lines.end())
        << run.out;
}

TEST_F(TabulonReport, ColourOnlyWhenAskedOrOnATerminal) {
    const CliRun always = Call({"--locate=scan", "--color=always", Sample("not-found.dsk")});
    EXPECT_NE(always.out.find("\x1b[31m   ** Error ** --- Unable"), std::string::npos);
    EXPECT_EQ(always.out.find("\x1b[31m Searching"), std::string::npos) << "black lines stay plain";
    const CliRun never = Call({"--color=never", Sample("not-found.dsk")});
    EXPECT_EQ(never.out.find('\x1b'), std::string::npos);
}

TEST_F(TabulonReport, UsageErrorsHelpAndVersion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--bogus", "x.dsk"}, {"--color=pink", "x.dsk"}}) {
        const CliRun run = Call(args);
        EXPECT_EQ(run.status, 64) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("tabulon-report: ", 0), 0u) << line;
    }
    const CliRun help = Call({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("IMAGE"), std::string::npos);
    const CliRun version = Call({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tabulon-report ", 0), 0u);
}

}  // namespace
}  // namespace tabulon
