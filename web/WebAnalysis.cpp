// The page's call into the analysis: tabulon-report's own running code, applied
// to a file of the worker's file system, with everything the page shows.
#include "DriveReport.h"
#include "JsonView.h"
#include "RecordingSurface.h"
#include "ReportCommand.h"
#include "TextView.h"

#include <emscripten/emscripten.h>

#include <array>
#include <sstream>
#include <string>

namespace {

using tabulon::cli::ImageResult;
using tabulon::cli::ReportOptions;

// The lines tabulon-report writes on standard error for this image, each
// without the "tabulon-report: NAME: " that starts it.
std::string Messages(const std::string& errors, const std::string& shown) {
    const std::string prefix = "tabulon-report: " + shown + ": ";
    std::string messages;
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) {
        messages += line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
        messages += '\n';
    }
    return messages;
}

// The image's --brief line without the name and the two spaces after it: the
// outcome, container, how it was searched, the values and the check.
std::string BriefFields(const ImageResult& result) {
    std::ostringstream line;
    tabulon::cli::WriteBrief(result, ReportOptions{}, line);
    std::string text = line.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t skip = result.Given.size() + 2;
    return text.size() >= skip ? text.substr(skip) : text;
}

// The page's answer for one image, as separate texts (kFields), so that the
// JSON line is made once, exactly as tabulon-report makes it.
enum Field : int {
    kJsonLine,      // tabulon-report --json --all-slots's line
    kReport,        // tabulon-report's default text: nothing for an image never loaded
    kLines,         // each report line's place and colour: "x y red" (red 1 or 0), one a line
    kMessages,      // what tabulon-report says on standard error, one a line, without its prefix
    kBrief,         // the --brief line after the name
    kGeometryLine,  // "Image: ..."
    kCheckLine,     // "Check: ..."
    kFields
};

std::array<std::string, kFields> Analyse(const std::string& path, const std::string& name) {
    ImageResult result;
    result.Given = path;
    result.Path = name;
    result.Shown = name;

    // One analysis gives every view: --json --all-slots reads the slots and the
    // geometry, which the plain report leaves alone but never changes.
    ReportOptions options;
    options.Json = true;
    options.AllSlots = true;
    std::ostringstream errors;
    tabulon::cli::AnalyseImage(result, options, errors);

    std::array<std::string, kFields> fields;
    fields[kJsonLine] = tabulon::cli::JsonLine(result, options);
    std::ostringstream text;
    if (result.Run.Loaded) tabulon::cli::WriteReport(result, ReportOptions{}, text);
    fields[kReport] = text.str();
    std::ostringstream lines;
    tabulon::RecordingSurface surface;
    tabulon::DrawDriveReport(surface, result.Run, result.Shown);
    for (const tabulon::ReportSurface::Line& line : surface.Lines()) {
        lines << line.X << ' ' << line.Y << ' ' << (line.Color == tabulon::kRed ? 1 : 0) << '\n';
    }
    fields[kLines] = lines.str();
    fields[kMessages] = Messages(errors.str(), result.Shown);
    fields[kBrief] = BriefFields(result);
    fields[kGeometryLine] = tabulon::cli::GeometryLine(result);
    fields[kCheckLine] = tabulon::cli::CheckLine(result);
    return fields;
}

std::array<std::string, kFields> answer;

}  // namespace

// Analyses the image at path, shown as name; its answer's texts are then read
// with tabulon_field. Returns the number of texts, or 0 when the analysis could
// not be run at all (no memory).
extern "C" EMSCRIPTEN_KEEPALIVE int tabulon_analyse(const char* path, const char* name) {
    answer = {};
    try {
        answer = Analyse(path, name);
    } catch (...) {
        return 0;
    }
    return kFields;
}

// One text of the last answer, valid until the next tabulon_analyse.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tabulon_field(int field) {
    return field >= 0 && field < kFields ? answer[static_cast<std::size_t>(field)].c_str() : "";
}
