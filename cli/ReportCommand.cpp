#include "ReportCommand.h"

#include "AnalysisStopped.h"
#include "RecordingSurface.h"
#include "ReportLines.h"
#include "DriveReport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

namespace tabulon::cli {

namespace {

using nlohmann::json;

constexpr std::string_view kProgram = "tabulon-report";

struct ImageResult {
    std::string Path;
    DiskData Data;
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

json SlotJson(const DriveSpecs& drive) {
    return {{"TI", drive.InterfaceType},
            {"TD", drive.DiskType},
            {"TC", FieldValue(drive.TrackCount)},
            {"SPT", FieldValue(drive.SectorsPerTrack)},
            {"TSR", FieldValue(drive.TrackStepRate)},
            {"GPL", FieldValue(drive.GranulesPerLump)},
            {"DDSL", FieldValue(drive.DirectoryStartLump)},
            {"DDGA", FieldValue(drive.DirectoryGranules)},
            {"sidesDensity", drive.SidesDensity}};
}

const char* FormatName(const std::string& label) {
    if (label == kDmkFormatLabel) return "DMK";
    if (label == kJv1FormatLabel) return "JV1";
    return "JV3";
}

// All ten slots, once the first one could be decoded.
std::vector<std::optional<DriveSpecs>> AllSlots(const ImageResult& result) {
    if (!result.Record.Drive) return {};
    const SystemSectorBytes sector = SystemSectorOf(result.Record, result.Data);
    return DecodeAllSlots(*sector.Data, sector.Base);
}

json ResultJson(const ImageResult& result, const ReportOptions& options) {
    const AnalysisRecord& record = result.Record;
    const bool structure = options.Locate == LocateMode::Structure;
    json object = {{"path", result.Path}, {"outcome", result.Outcome}, {"locate", structure ? "structure" : "scan"},
                   {"format", nullptr}, {"sectorOffset", nullptr}, {"newdosMarker", nullptr}, {"slot", nullptr}};
    if (structure) object["crcOk"] = nullptr;
    if (record.Location && record.Location->Found) {
        object["format"] = FormatName(record.Location->FormatLabel);
        object["sectorOffset"] = record.Location->Base;
    }
    if (record.Structure && record.Structure->CrcOk) object["crcOk"] = *record.Structure->CrcOk;
    if (record.Marker) object["newdosMarker"] = *record.Marker;
    if (record.Drive) object["slot"] = SlotJson(*record.Drive);
    if (options.AllSlots) {
        json slots = json::array();
        for (const auto& slot : AllSlots(result)) slots.push_back(slot ? SlotJson(*slot) : json(nullptr));
        object["slots"] = record.Drive ? slots : json(nullptr);
    }
    return object;
}

void WarnAboutCrc(const ImageResult& result, std::ostream& err) {
    const auto& structure = result.Record.Structure;
    if (!structure || !structure->CrcOk || *structure->CrcOk) return;
    const char* field = !structure->IdCrcOk && !structure->DataCrcOk ? "ID and data fields"
                        : !structure->IdCrcOk                        ? "ID field"
                                                                     : "data field";
    err << kProgram << ": " << result.Path << ": warning: CRC error in the " << field
        << " of track 0, side 0, sector 2\n";
}

void AnalyseOne(ImageResult& result, const ReportOptions& options, std::ostream& err) {
    ImageFile file;
    const OpenResult opened = file.Open(result.Path);
    if (!opened.Opened()) {
        err << kProgram << ": " << result.Path << ": " << opened.Reason << '\n';
        return;
    }
    try {
        ShowDriveSpecs(result.Surface, file, result.Path, result.Data, result.Record, {options.Locate});
        WarnAboutCrc(result, err);
        result.Outcome = OutcomeName(*result.Record.Outcome);
        result.Status = OutcomeStatus(*result.Record.Outcome);
    } catch (const AnalysisStopped& stop) {
        WarnAboutCrc(result, err);
        err << kProgram << ": " << result.Path << ": " << stop.what() << '\n';
        if (result.Record.Loaded) {
            result.Outcome = "stopped";
            result.Status = kExitStopped;
        }
    }
}

void WriteText(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    for (const RecordingSurface::Line& line : result.Surface.Lines()) {
        if (options.Color && line.Color == kRed && !line.Text.empty()) {
            out << "\x1b[31m" << line.Text << "\x1b[0m\n";
        } else {
            out << line.Text << '\n';
        }
    }
    if (!options.AllSlots || !result.Record.Drive) return;
    out << '\n';
    int number = 0;
    for (const auto& slot : AllSlots(result)) {
        out << "Slot " << number++ << ':' << (slot ? FormatDriveLine(*slot) : "  (past the end of the image)") << '\n';
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
        AnalyseOne(result, options, err);
        worst = std::max(worst, result.Status);
        if (options.Json) {
            // Names need not be UTF-8; invalid bytes become U+FFFD so the line stays valid JSON.
            out << ResultJson(result, options).dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
        } else if (result.Record.Loaded) {
            if (printedReport) out << '\n';
            WriteText(result, options, out);
            printedReport = true;
        }
        out.flush();
    }
    return worst;
}

}  // namespace tabulon::cli
