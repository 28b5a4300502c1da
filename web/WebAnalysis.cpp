// The page's call into the analysis: the application tabulon-report runs, applied
// to a file (or a folder holding a stream set) of the worker's file system, with
// everything the page shows through the same views; an archive gives one answer
// per member. The tracks (--tracks) are read
// only when asked for: the page asks again for the image whose map it draws.
#include "AnalyseNames.h"
#include "DiskView.h"
#include "DriveReport.h"
#include "JsonView.h"
#include "RecordingSurface.h"
#include "ShownName.h"
#include "TextView.h"

#include <emscripten/emscripten.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tabulon::ImageResult;
using tabulon::ReportOptions;

// What is said of the image, one finding a line.
std::string Messages(const ImageResult& result) {
    std::string messages;
    for (const tabulon::Finding& finding : result.Findings) messages += finding.Text + '\n';
    return messages;
}

// The page's answer for one image, as separate texts (kFields), so that the
// JSON line is made once, exactly as tabulon-report makes it.
enum Field : int {
    kJsonLine,      // tabulon-report --json --all-slots's line (with --tracks when asked for)
    kReport,        // tabulon-report's default text: nothing for an image never loaded
    kLines,         // each report line's place and colour: "x y red" (red 1 or 0), one a line
    kMessages,      // what is said of the image (its findings), one a line
    kBrief,         // the --brief line after the name
    kGeometryLine,  // "Image: ..."
    kCheckLine,     // "Check: ..."
    kShown,         // the name as tabulon-report shows it: "ARCHIVE:MEMBER" for a member, quoted where it must be
    kOutcome,       // the outcome's name
    kDos,           // the disk's DOS (or "LAYOUT data", or "-"), as --brief --disk gives it
    kFields,
    kEvery = kFields  // every text above, each ended by a NUL: the worker takes an answer in one read
};

using Answer = std::array<std::string, kFields + 1>;

// One analysis gives every view: --json --all-slots reads the slots and the
// geometry, which the plain report leaves alone but never changes.
ReportOptions AnalysisOptions(bool allMembers, bool tracks) {
    ReportOptions options;
    options.Json = true;
    options.AllSlots = true;
    options.Tracks = tracks;  // the track map's walk of the whole disk, for the map only
    options.AllMembers = allMembers;
    return options;
}

Answer AnswerOf(const ImageResult& result, const ReportOptions& options) {
    Answer fields;
    fields[kJsonLine] = tabulon::JsonLine(result, options);
    std::ostringstream text;
    if (result.Run.Loaded) tabulon::WriteReport(result, ReportOptions{}, text);
    fields[kReport] = text.str();
    std::ostringstream lines;
    tabulon::RecordingSurface surface;
    tabulon::DrawDriveReport(surface, result.Run, result.Shown);
    for (const tabulon::ReportSurface::Line& line : surface.Lines()) {
        lines << line.X << ' ' << line.Y << ' ' << (line.Color == tabulon::kRed ? 1 : 0) << '\n';
    }
    fields[kLines] = lines.str();
    fields[kMessages] = Messages(result);
    fields[kBrief] = tabulon::BriefFields(result);
    fields[kGeometryLine] = tabulon::GeometryLine(result);
    fields[kCheckLine] = tabulon::CheckLine(result);
    fields[kShown] = result.Shown;
    fields[kOutcome] = tabulon::InfoOf(result.Result).Name;
    fields[kDos] = tabulon::BriefDisk(result);
    for (int field = 0; field < kFields; ++field) {
        fields[kEvery] += fields[static_cast<std::size_t>(field)];
        fields[kEvery] += '\0';
    }
    return fields;
}

// The page shows an image by the name it was given (its path inside the folder
// chosen) where tabulon-report shows the full path.
void Name(ImageResult& result, const std::string& path, const std::string& name) {
    result.Given = path;
    result.Path = name;
    result.Shown = tabulon::ShownName(name);
}

std::vector<Answer> Analyse(const std::string& path, const std::string& name, bool allMembers, bool tracks) {
    const ReportOptions options = AnalysisOptions(allMembers, tracks);
    std::vector<Answer> answers;
    ImageResult named;
    Name(named, path, name);
    tabulon::AnalyseEach(named, options, [&](ImageResult& result) { answers.push_back(AnswerOf(result, options)); });
    return answers;
}

std::vector<Answer> answers;

}  // namespace

// Analyses the image (or archive, or stream set's folder) at path, shown as
// name, with every track's sectors when tracks is not 0; the answers' texts are
// then read with tabulon_field. Returns the number of answers (one for an image,
// one per member or refusal for an archive), or 0 when the analysis could not be
// run at all (no memory).
extern "C" EMSCRIPTEN_KEEPALIVE int tabulon_analyse(const char* path, const char* name, int allMembers, int tracks) {
    answers.clear();
    answers.shrink_to_fit();
    try {
        answers = Analyse(path, name, allMembers != 0, tracks != 0);
    } catch (...) {
        answers.clear();
    }
    return static_cast<int>(answers.size());
}

namespace {

const std::string& FieldText(int index, int field) {
    static const std::string none;
    if (index < 0 || static_cast<std::size_t>(index) >= answers.size() || field < 0 || field > kEvery) return none;
    return answers[static_cast<std::size_t>(index)][static_cast<std::size_t>(field)];
}

}  // namespace

// One text of one answer of the last analysis, valid until the next tabulon_analyse.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tabulon_field(int index, int field) {
    return FieldText(index, field).c_str();
}

// Its length in bytes: the worker decodes the bytes at once, without looking for their end.
extern "C" EMSCRIPTEN_KEEPALIVE int tabulon_field_size(int index, int field) {
    return static_cast<int>(FieldText(index, field).size());
}
