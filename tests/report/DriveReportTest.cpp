#include "AnalysisStopped.h"
#include "ImageBuilder.h"
#include "RecordingSurface.h"
#include "ReportLines.h"
#include "DriveReport.h"
#include "ImageFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tabulon {
namespace {

using Line = RecordingSurface::Line;
namespace img = images;

// How the load step takes the image: as the analysis asks for it (the command
// line), or to its end before anything is drawn (the window).
enum class LoadStep { OnDemand, WholeFirst };

// The window's analysis of the image open in file, drawn on surface under name.
Analysis ShowDriveSpecs(ReportSurface& surface, ImageFile& file, const std::string& name,
                        LoadStep load = LoadStep::OnDemand) {
    AnalyseOptions options;
    options.Locate = LocateMode::Scan;
    options.ReadWholeFirst = load == LoadStep::WholeFirst;
    const Analysis analysis = Analyse(file, options);
    DrawDriveReport(surface, analysis, name);
    return analysis;
}

// Runs the Open command's two steps on bytes written to a temporary file:
// open the image, then the analysis, on the given surface.
class Runner {
public:
    Analysis Run(RecordingSurface& surface, const test::Bytes& bytes, LoadStep load = LoadStep::OnDemand) {
        path_ = dir_.Write("image.dsk", bytes).string();
        EXPECT_TRUE(file_.Open(path_).Opened());
        return ShowDriveSpecs(surface, file_, path_, load);
    }
    const std::string& path() const { return path_; }
    ImageFile& file() { return file_; }

private:
    test::TempDir dir_;
    ImageFile file_;
    std::string path_;
};

std::vector<std::string> Texts(const RecordingSurface& surface) {
    std::vector<std::string> texts;
    for (const Line& line : surface.Lines()) texts.push_back(line.Text);
    return texts;
}

test::Bytes DmkImage(std::uint8_t marker) {
    return img::BuildDmkImage({}, img::MakeSystemSector(img::PdriveSlot{}, marker));
}

test::Bytes Jv3Image(std::uint8_t marker) {
    return img::BuildJv3Image(img::StandardJv3Sectors(3, 10, false, img::MakeSystemSector(img::PdriveSlot{}, marker)));
}

std::string_view LastLine(Outcome outcome) {
    if (outcome == Outcome::DriveReport) return report_text::kLegend[7];
    return outcome == Outcome::NotNewdos ? report_text::kNotNewdos : report_text::kNotFound;
}

TEST(ShowDriveSpecs, EachOutcomesLinesPlacesAndColours) {
    for (const test::OutcomeImage& c : test::OutcomeImages()) {
        SCOPED_TRACE(c.Name);
        RecordingSurface surface;
        Runner analysis;
        const Analysis record = analysis.Run(surface, c.Image);
        ASSERT_EQ(record.Result, c.Result);
        const auto& lines = surface.Lines();
        ASSERT_EQ(lines.size(), test::ReportLines(c.Result, c.SwitchLines));
        EXPECT_EQ(lines.back().Text, LastLine(c.Result));

        EXPECT_EQ(lines[0].Text, report_text::kSearching);
        EXPECT_EQ(lines[0].X, 100);
        EXPECT_EQ(lines[0].Y, 200);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].X, 0) << "line " << i;
            EXPECT_EQ(lines[i].Y, 200 + RecordingSurface::kLineAdvance * static_cast<double>(i)) << "line " << i;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool red = c.Result == Outcome::NotFound && i + 1 == lines.size();
            EXPECT_EQ(lines[i].Color, red ? kRed : kBlack) << "line " << i;
        }

        const std::size_t heading = c.SwitchLines ? 4 : 1;
        if (c.SwitchLines) {
            EXPECT_EQ(lines[1].Text, "");
            EXPECT_EQ(lines[2].Text, report_text::kDmkNotFound);
            EXPECT_EQ(lines[3].Text, "");
        }
        EXPECT_EQ(lines[heading].Text, report_text::kTitle);
        EXPECT_EQ(lines[heading + 1].Text, report_text::kCredit);
        EXPECT_EQ(lines[heading + 2].Text, report_text::kSlot);
        EXPECT_EQ(lines[heading + 5].Text, "      " + analysis.path());
    }
}

// The whole report of each outcome, written out as the user sees it; "<file>"
// stands for the image's path.
constexpr std::string_view kHeadingText = R"(                   -==== Pdrive Specs of Drive ====--
                            by T.Orlwen
          Taken from the 1st Pdrive slot on selected drive


      <file>


)";
constexpr std::string_view kSwitchText = R"(
      DMK format not found, Searching for JV type format

)";
constexpr std::string_view kLegendText = R"(   TI   = Shows interface type, and other required parameters.
   TD   = Shows Disk size, Density, No of sides, SPT
   TC   = Track Count: No of tracks on disk
   SPT  = Sectors per Track
   TSR  = Track step rate: Speed of stepping between tracks
   GPL  = Granules per Lump
   DDSL = Disk Directory starting lump
   DDGA = Disk Directory Granule Allocation: No of Granules used by the Directory
)";

std::string Golden(std::initializer_list<std::string_view> parts) {
    std::string text = " Searching ..........\n";
    for (const std::string_view part : parts) text += part;
    return text;
}

TEST(ShowDriveSpecs, WholeReportOfEachOutcomeToTheCharacter) {
    struct Case {
        const char* what;
        test::Bytes image;
        std::string text;
    };
    const Case cases[] = {
        {"DMK report", DmkImage(0xA5),
         Golden({kHeadingText,
                 "                     40 Track  S/S S/D       DMK Format Disk\n\n"
                 "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2\n\n",
                 kLegendText})},
        {"JV report", Jv3Image(0xA5),
         Golden({kSwitchText, kHeadingText,
                 "                     40 Track  S/S S/D       JV  Format Disk\n\n"
                 "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2\n\n",
                 kLegendText})},
        {"DMK not Newdos", DmkImage(0x00),
         Golden({kHeadingText, "\n Error --- This is not a Newdos Disk, or failed to find correct sector\n"})},
        {"JV not Newdos", Jv3Image(0x5A),
         Golden({kSwitchText, kHeadingText,
                 "\n Error --- This is not a Newdos Disk, or failed to find correct sector\n"})},
        {"not found", test::Bytes(300, 0xE5),
         Golden({kSwitchText, kHeadingText, "   ** Error ** --- Unable to find the required sector on this disk.\n"})},
    };
    for (const Case& c : cases) {
        RecordingSurface surface;
        Runner analysis;
        analysis.Run(surface, c.image);
        std::string shown;
        for (const Line& line : surface.Lines()) shown += line.Text + "\n";
        std::string expected = c.text;
        expected.replace(expected.find("<file>"), 6, analysis.path());
        EXPECT_EQ(shown, expected) << c.what;
    }
}

TEST(ShowDriveSpecs, TrackCount255GivesA61CharacterSummary) {
    img::PdriveSlot slot;
    slot.TrackCount = 255;
    slot.Flags = 0x04;  // TI "A" with a space suffix
    RecordingSurface surface;
    Runner analysis;
    analysis.Run(surface, img::BuildDmkImage({}, img::MakeSystemSector(slot)));
    const auto texts = Texts(surface);
    EXPECT_EQ(texts[9], "                     255 Track  S/S S/D       DMK Format Disk");
    EXPECT_EQ(texts[9].size(), 61u);
    EXPECT_EQ(texts[11], "  TI = A   TD = A  TC = 255   SPT = 10  TSR = 0  GPL = 2  DDSL = 17  DDGA = 2");
}

TEST(ShowDriveSpecs, RedOnlyForNotFoundAndTheNextAnalysisIsBlackAgain) {
    RecordingSurface surface;
    Runner analysis;
    analysis.Run(surface, test::Bytes(100, 0));
    EXPECT_EQ(surface.ForeColor(), kRed) << "the colour stays red after the analysis";
    analysis.Run(surface, DmkImage(0x00));
    EXPECT_EQ(surface.ForeColor(), kBlack);
    EXPECT_EQ(surface.Lines().size(), test::ReportLines(Outcome::NotNewdos)) << "nothing of the first report remains";
    for (const Line& line : surface.Lines()) EXPECT_EQ(line.Color, kBlack);
    EXPECT_EQ(surface.ClsCount(), 2);
}

TEST(ShowDriveSpecs, SameImageTwiceGivesTheSameReport) {
    RecordingSurface surface;
    Runner analysis;
    analysis.Run(surface, DmkImage(0xA5));
    const auto first = Texts(surface);
    analysis.Run(surface, DmkImage(0xA5));
    EXPECT_EQ(Texts(surface), first);
}

struct StopCase {
    const char* what;
    test::Raw image;
    std::vector<std::string_view> expected;  // the lines left; the file name line written as "<file>"
    AnalysisStopped::Reason reason = AnalysisStopped::Reason::ReadOutsideImage;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.what; }

class Stops : public ::testing::TestWithParam<StopCase> {};

TEST_P(Stops, LeaveWhatWasDrawnUntilThen) {
    const auto& c = GetParam();
    RecordingSurface surface;
    Runner analysis;
    const Analysis result = analysis.Run(surface, c.image.bytes());
    EXPECT_EQ(result.Stop, c.reason);
    EXPECT_EQ(result.Result, Outcome::Stopped);
    std::vector<std::string> expected;
    for (const std::string_view line : c.expected) {
        expected.emplace_back(line == "<file>" ? "      " + analysis.path() : std::string(line));
    }
    EXPECT_EQ(Texts(surface), expected);
}

const std::vector<std::string_view> kHeading = {
    report_text::kTitle, report_text::kCredit, report_text::kSlot, "", "", "<file>", "", ""};

std::vector<std::string_view> Concat(std::initializer_list<std::vector<std::string_view>> parts) {
    std::vector<std::string_view> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    EarlyEnd, Stops,
    ::testing::Values(
        // DMK Base = 48: base+9 = 57 is past a file of 56 bytes.
        StopCase{
            "DMK slot cut before base+9", test::Raw().Put(test::kDmkPattern).Resize(56), {report_text::kSearching}},
        // JV Base = 8704 in a two-byte file: decoding stops after the switch lines.
        StopCase{"JV match in a tiny file",
                 test::Raw().Put({0, 2}),
                 {report_text::kSearching, "", report_text::kDmkNotFound, ""},
                 AnalysisStopped::Reason::SectorBeyondImage},
        // DMK Base = 48, FileLength 57 reaches base+9 (the spare byte) but not base+239.
        StopCase{"DMK marker beyond the image", test::Raw().Put(test::kDmkPattern).Resize(57),
                 Concat({{report_text::kSearching}, kHeading})},
        StopCase{"DMK marker one past the spare byte", test::Raw().Put(test::kDmkPattern).Resize(48 + 238),
                 Concat({{report_text::kSearching}, kHeading})},
        StopCase{"JV marker beyond the image", test::Raw().Put({0, 2}).Resize(8704 + 100),
                 Concat({{report_text::kSearching, "", report_text::kDmkNotFound, ""}, kHeading})}));

TEST(ShowDriveSpecs, MarkerOnTheSpareByteReadsAsNotNewdos) {
    RecordingSurface surface;
    Runner analysis;
    const auto record = analysis.Run(surface, test::Raw().Put(test::kDmkPattern).Resize(48 + 239).bytes());
    EXPECT_EQ(record.Result, Outcome::NotNewdos);
    EXPECT_EQ(surface.Lines().back().Text, report_text::kNotNewdos);
}

TEST(ShowDriveSpecs, FailedLoadChangesNothingButTheColour) {
    RecordingSurface surface;
    Runner analysis;
    analysis.Run(surface, test::Bytes(10, 0));  // a red not-found report
    const auto before = surface.Lines();
    analysis.file().CloseAll();  // as after a failed open
    const Analysis record = ShowDriveSpecs(surface, analysis.file(), "other.dsk");
    EXPECT_FALSE(record.Loaded);
    EXPECT_EQ(record.Result, Outcome::Unreadable);
    EXPECT_EQ(surface.ForeColor(), kBlack);
    EXPECT_EQ(surface.ClsCount(), 1);
    ASSERT_EQ(surface.Lines().size(), before.size());
    EXPECT_EQ(surface.Lines().back().Text, before.back().Text);
    EXPECT_EQ(surface.Lines().back().Color, kRed);
}

TEST(ShowDriveSpecs, RecordKeepsTheFindingsOfAStoppedAnalysis) {
    test::TempDir dir;
    ImageFile file;
    ASSERT_TRUE(
        file.Open(dir.Write("cut.dsk", test::Raw().Put(test::kDmkPattern).Resize(100).bytes()).string()).Opened());
    RecordingSurface surface;
    const Analysis record = ShowDriveSpecs(surface, file, "cut.dsk");
    EXPECT_TRUE(record.Loaded);
    ASSERT_TRUE(record.Location());
    EXPECT_EQ(record.Location()->Sector.Base(), 48);
    EXPECT_TRUE(record.Slot);
    EXPECT_FALSE(record.Marker);
    EXPECT_EQ(record.Stop, AnalysisStopped::Reason::ReadOutsideImage);
}

// The window reads the whole image before it clears anything; the command line
// reads on demand. A file that fails past the blocks the analysis needs (here:
// cut short after it was opened) ends the window's analysis before Cls.
TEST(ShowDriveSpecs, WholeFirstLoadFailsBeforeAnythingIsDrawn) {
    for (const LoadStep load : {LoadStep::OnDemand, LoadStep::WholeFirst}) {
        test::TempDir dir;
        test::Bytes image = DmkImage(0xA5);
        image.resize(1 << 20, 0xE5);
        const std::string path = dir.Write("big.dsk", image).string();
        ImageFile file;
        ASSERT_TRUE(file.Open(path).Opened());
        std::filesystem::resize_file(path, 20000);  // changed after the open: its tail is gone
        RecordingSurface surface;
        const Analysis result = ShowDriveSpecs(surface, file, path, load);
        if (load == LoadStep::OnDemand) {
            EXPECT_EQ(result.Result, Outcome::DriveReport);
        } else {
            EXPECT_EQ(result.Stop, AnalysisStopped::Reason::ImageChanged);
            EXPECT_FALSE(result.Loaded);
            EXPECT_EQ(surface.ClsCount(), 0);
            EXPECT_TRUE(surface.Lines().empty());
        }
    }
}

}  // namespace
}  // namespace tabulon
