// The page's one call into the analysis: tabulon-report's own running code,
// applied to a file of the worker's file system, with everything the page shows
// returned as one JSON object.
#include "JsonView.h"
#include "ReportCommand.h"
#include "TextView.h"

#include <emscripten/emscripten.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

namespace {

using nlohmann::json;
using tabulon::cli::ImageResult;
using tabulon::cli::ReportOptions;

// The lines tabulon-report writes on standard error for this image, each
// without the "tabulon-report: NAME: " that starts it.
json Messages(const std::string& errors, const std::string& shown) {
    const std::string prefix = "tabulon-report: " + shown + ": ";
    json messages = json::array();
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) {
        messages.push_back(line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line);
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

json Analyse(const std::string& path, const std::string& name) {
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

    // The default text of tabulon-report: nothing for an image never loaded.
    std::ostringstream text;
    if (result.Run.Loaded) tabulon::cli::WriteReport(result, ReportOptions{}, text);
    json lines = json::array();
    for (const tabulon::RecordingSurface::Line& line : result.Surface.Lines()) {
        lines.push_back({{"x", line.X}, {"y", line.Y}, {"red", line.Color == tabulon::kRed}});
    }

    return {{"jsonLine", tabulon::cli::JsonLine(result, options)},
            {"report", text.str()},
            {"lines", lines},
            {"messages", Messages(errors.str(), result.Shown)},
            {"brief", BriefFields(result)},
            {"geometryLine", tabulon::cli::GeometryLine(result)},
            {"checkLine", tabulon::cli::CheckLine(result)}};
}

}  // namespace

// Analyses the image at path, shown as name, and answers with the JSON object's
// text; it stays valid until the next call. Never throws.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tabulon_analyse(const char* path, const char* name) {
    static std::string answer;
    try {
        answer = Analyse(path, name).dump(-1, ' ', false, json::error_handler_t::replace);
    } catch (...) {
        answer = R"({"failure":"not enough memory"})";
    }
    return answer.c_str();
}
