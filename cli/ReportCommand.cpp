#include "ReportCommand.h"

#include "AnalysisStopped.h"
#include "RecordingSurface.h"
#include "ShowDriveSpecs.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

namespace tabulon::cli {

namespace {

using nlohmann::json;

constexpr std::string_view kProgram = "tabulon-report";

struct ImageResult {
    std::string Path;
    int Status = kExitUnreadable;
    const char* Outcome = "unreadable";
    AnalysisRecord Record;
    RecordingSurface Surface;
};

const char* OutcomeName(ReportOutcome outcome) {
    switch (outcome) {
    case ReportOutcome::DriveReport: return "report";
    case ReportOutcome::NotNewdos: return "not-newdos";
    case ReportOutcome::NotFound: return "not-found";
    }
    return "stopped";
}

int OutcomeStatus(ReportOutcome outcome) {
    switch (outcome) {
    case ReportOutcome::DriveReport: return kExitDriveReport;
    case ReportOutcome::NotNewdos: return kExitNotNewdos;
    case ReportOutcome::NotFound: return kExitNotFound;
    }
    return kExitStopped;
}

// " 40" -> 40: the decoded numeric fields are a space and decimal digits.
int FieldValue(const std::string& spaced) { return std::stoi(spaced); }

json SlotJson(const DriveSpecs& specs) {
    return {{"TI", specs.InterfaceType},
            {"TD", specs.DiskType},
            {"TC", FieldValue(specs.TrackCount)},
            {"SPT", FieldValue(specs.SectorsPerTrack)},
            {"TSR", FieldValue(specs.TrackStepRate)},
            {"GPL", FieldValue(specs.GranulesPerLump)},
            {"DDSL", FieldValue(specs.DirectoryStartLump)},
            {"DDGA", FieldValue(specs.DirectoryGranules)},
            {"sidesDensity", specs.SidesDensity}};
}

json ResultJson(const ImageResult& result) {
    const AnalysisRecord& record = result.Record;
    json object = {{"path", result.Path}, {"outcome", result.Outcome}, {"format", nullptr},
                   {"sectorOffset", nullptr}, {"newdosMarker", nullptr}, {"slot", nullptr}};
    if (record.Location && record.Location->Found) {
        object["format"] = record.Location->FormatLabel == kDmkFormatLabel ? "DMK" : "JV3";
        object["sectorOffset"] = record.Location->Base;
    }
    if (record.Marker) object["newdosMarker"] = *record.Marker;
    if (record.Specs) object["slot"] = SlotJson(*record.Specs);
    return object;
}

void AnalyseOne(ImageResult& result, std::ostream& err) {
    ImageFile file;
    DiskData data;
    const OpenResult opened = file.Open(result.Path);
    if (!opened.Opened()) {
        err << kProgram << ": " << result.Path << ": " << opened.Reason << '\n';
        return;
    }
    try {
        ShowDriveSpecs(result.Surface, file, result.Path, data, result.Record);
        result.Outcome = OutcomeName(*result.Record.Outcome);
        result.Status = OutcomeStatus(*result.Record.Outcome);
    } catch (const AnalysisStopped& stop) {
        err << kProgram << ": " << result.Path << ": " << stop.what() << '\n';
        if (result.Record.Loaded) {
            result.Outcome = "stopped";
            result.Status = kExitStopped;
        }
    }
}

void WriteText(const ImageResult& result, bool color, std::ostream& out) {
    for (const RecordingSurface::Line& line : result.Surface.Lines()) {
        if (color && line.Color == kRed && !line.Text.empty()) {
            out << "\x1b[31m" << line.Text << "\x1b[0m\n";
        } else {
            out << line.Text << '\n';
        }
    }
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
    std::filesystem::path absolute = std::filesystem::absolute(path);
    std::filesystem::path cleaned;
    for (const auto& part : absolute) {
        if (part != ".") cleaned /= part;
    }
    // A trailing "." leaves an empty last component; keep the path as it was then.
    return cleaned.empty() ? absolute.string() : cleaned.string();
}

int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err) {
    int worst = kExitDriveReport;
    bool printedReport = false;
    for (const std::string& image : images) {
        ImageResult result;
        result.Path = AbsolutePath(image);
        AnalyseOne(result, err);
        worst = std::max(worst, result.Status);
        if (options.Json) {
            // Names need not be UTF-8; invalid bytes become U+FFFD so the line stays valid JSON.
            out << ResultJson(result).dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
        } else if (result.Record.Loaded) {
            if (printedReport) out << '\n';
            WriteText(result, options.Color, out);
            printedReport = true;
        }
        out.flush();
    }
    return worst;
}

}  // namespace tabulon::cli
