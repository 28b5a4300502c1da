#include "ReportCommand.h"

#include "AnalysisStopped.h"
#include "RecordingSurface.h"
#include "ReportLines.h"
#include "DriveReport.h"
#include "GeometryText.h"
#include "ImageGeometry.h"
#include "TableCheck.h"
#include "SlotDecoding.h"
#include "StandardInput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sstream>
#include <new>

namespace tabulon::cli {

namespace {

using nlohmann::json;

constexpr std::string_view kProgram = "tabulon-report";

// A name as messages show it: the empty name as '', as cat does.
std::string Visible(const std::string& name) { return name.empty() ? "''" : name; }

struct ImageResult {
    std::string Given;  // the name as given, which is the name opened
    std::string Path;   // for JSON: absolute when it can be made, "-" for standard input
    std::string Shown;  // for messages and the report's file-name line
    DiskData Data;
    int Status = kExitUnreadable;
    const char* Outcome = "unreadable";
    AnalysisRecord Record;
    RecordingSurface Surface;
    std::vector<std::optional<DriveSlot>> Slots;  // all ten, with --all-slots, once the first is decoded
    LocateMethod Method = LocateMethod::Scan;     // how the image was searched
    std::optional<ImageFormat> Container;         // the container its structure showed, if any
    std::optional<ImageGeometry> Geometry;        // what its tracks hold, when a container was recognised

    // The PDRIVE table's first slot, when the sector is a Newdos one: only such a table is checked.
    std::optional<DriveSlot> Table() const {
        return Record.Outcome == ReportOutcome::DriveReport ? Record.Slot : std::nullopt;
    }
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

json SlotJson(const DriveSlot& slot) {
    const DriveSpecs texts = DescribeDriveSlot(slot);
    return {{"TI", texts.InterfaceType},       {"TD", texts.DiskType},           {"TC", slot.TrackCount},
            {"SPT", slot.SectorsPerTrack},     {"TSR", slot.TrackStepRate()},    {"GPL", slot.GranulesPerLump},
            {"DDSL", slot.DirectoryStartLump}, {"DDGA", slot.DirectoryGranules}, {"sidesDensity", texts.SidesDensity}};
}

json GeometryJson(const std::optional<ImageGeometry>& geometry) {
    if (!geometry) return nullptr;
    return {{"cylinders", geometry->Cylinders},
            {"missingCylinders", geometry->MissingCylinders},
            {"sides", geometry->Sides},
            {"track0Density", DensityWord(geometry->Track0Density)},
            {"dataDensity", DensityWord(geometry->DataDensity)},
            {"sectorsPerTrack", geometry->SectorsPerTrack},
            {"sectorSize", geometry->SectorSize}};
}

json CheckJson(const std::optional<ImageGeometry>& geometry, const std::optional<DriveSlot>& slot) {
    if (!geometry || !slot) return nullptr;
    json differences = json::array();
    for (const Difference& difference : CheckSlot(*slot, *geometry)) {
        const auto value = [&difference](int number) -> json {
            if (difference.Field != CheckedField::Density) return number;
            return DensityWord(DensityOfNumber(number));
        };
        differences.push_back({{"field", FieldName(difference.Field)},
                               {"table", value(difference.Table)},
                               {"image", value(difference.Image)}});
    }
    return {{"fits", differences.empty()}, {"differences", differences}};
}

json ResultJson(const ImageResult& result, const ReportOptions& options) {
    const AnalysisRecord& record = result.Record;
    const bool structure = result.Method == LocateMethod::Structure;
    json object = {{"path", result.Path},
                   {"outcome", result.Outcome},
                   {"locate", structure ? "structure" : "scan"},
                   {"format", nullptr},
                   {"sectorOffset", nullptr},
                   {"crcOk", nullptr},
                   {"newdosMarker", nullptr},
                   {"slot", nullptr}};
    if (result.Container) object["format"] = FormatName(*result.Container);
    if (const auto& at = record.Location) {
        object["format"] = FormatName(at->Format);
        object["sectorOffset"] = at->FileOffset;
        if (at->IdCrcOk || at->DataCrcOk) object["crcOk"] = at->CrcOk();
    }
    if (record.Marker) object["newdosMarker"] = *record.Marker;
    if (record.Slot) object["slot"] = SlotJson(*record.Slot);
    object["geometry"] = GeometryJson(result.Geometry);
    object["check"] = CheckJson(result.Geometry, result.Table());
    if (options.AllSlots) {
        json slots = json::array();
        for (const auto& slot : result.Slots) {
            json one = slot ? SlotJson(*slot) : json(nullptr);
            if (slot) {
                const bool checked = result.Geometry && result.Table();
                one["fitsImage"] = checked ? json(CheckSlot(*slot, *result.Geometry).empty()) : json(nullptr);
            }
            slots.push_back(one);
        }
        object["slots"] = record.Slot ? slots : json(nullptr);
    }
    return object;
}

void WarnAboutCrc(const ImageResult& result, std::ostream& err) {
    const auto& at = result.Record.Location;
    if (!at || at->CrcOk()) return;
    const bool idBad = !at->IdCrcOk.value_or(true);
    const bool dataBad = !at->DataCrcOk.value_or(true);
    const char* field = idBad && dataBad ? "ID and data fields" : idBad ? "ID field" : "data field";
    err << kProgram << ": " << result.Shown << ": warning: CRC error in the " << field
        << " of track 0, side 0, sector 2\n";
}

// What the image's tracks hold, through the container that was searched; nothing
// when its tracks cannot be read.
std::optional<ImageGeometry> ReadGeometry(const DiskData& data, const ContainerHeader& container) {
    try {
        return SummariseGeometry(ContainerTracks(data, container));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// All ten slots, once the first one could be decoded; none if the image fails now.
void ReadSlots(ImageResult& result) {
    if (!result.Record.Slot) return;
    try {
        result.Slots = ReadAllSlots(result.Record.Location->Sector);
    } catch (const AnalysisStopped&) {
        result.Slots.clear();
    }
}

// Any failure but a stopped analysis: the image counts as stopped once loaded,
// as unreadable before.
void Fail(ImageResult& result, const char* reason, std::ostream& err) {
    err << kProgram << ": " << result.Shown << ": " << reason << '\n';
    if (result.Record.Loaded) {
        result.Outcome = "stopped";
        result.Status = kExitStopped;
    }
}

// What the exception being handled says; call it only inside a catch block.
const char* CurrentFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unexpected error";
    }
}

// Never throws: whatever goes wrong is this image's outcome, and the next image is still analysed.
void AnalyseOne(ImageResult& result, const ReportOptions& options, std::ostream& err) try {
    ImageFile file;
    const OpenResult opened = result.Given == kStandardInputName ? OpenStandardInput(file) : file.Open(result.Given);
    if (!opened.Opened()) {
        err << kProgram << ": " << result.Shown << ": " << opened.Reason << '\n';
        return;
    }
    StructureLocator locator(options.Locate);
    std::optional<AnalysisStopped> stopped;
    try {
        ShowDriveSpecs(result.Surface, file, result.Shown, result.Data, result.Record, locator);
    } catch (const AnalysisStopped& stop) {
        stopped = stop;
    }
    if (options.AllSlots) ReadSlots(result);
    WarnAboutCrc(result, err);
    if (!stopped) {
        result.Outcome = OutcomeName(*result.Record.Outcome);
        result.Status = OutcomeStatus(*result.Record.Outcome);
    } else {
        err << kProgram << ": " << result.Shown << ": " << stopped->what() << '\n';
        // A file that changed under the first read was opened all right: stopped, not unreadable.
        if (result.Record.Loaded || stopped->WhyStopped() == AnalysisStopped::Reason::ImageChanged) {
            result.Outcome = "stopped";
            result.Status = kExitStopped;
        }
    }
    result.Method = locator.Method();
    if (locator.Container()) result.Container = FormatOf(*locator.Container());
    // Only an image searched through its container's structure has a geometry:
    // the byte scans know nothing of tracks.
    if (result.Record.Loaded && locator.Container() && (options.Geometry || options.Json || options.Brief)) {
        result.Geometry = ReadGeometry(result.Data, *locator.Container());
    }
    result.Data.Close();
} catch (...) {
    result.Data.Close();
    Fail(result, CurrentFailure(), err);
}

void WriteText(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    for (const RecordingSurface::Line& line : result.Surface.Lines()) {
        if (options.Color && line.Color == kRed && !line.Text.empty()) {
            out << "\x1b[31m" << line.Text << "\x1b[0m\n";
        } else {
            out << line.Text << '\n';
        }
    }
    if (options.AllSlots && result.Record.Slot) {
        out << '\n';
        int number = 0;
        for (const auto& slot : result.Slots) {
            out << "Slot " << number++ << ':'
                << (slot ? FormatDriveLine(DescribeDriveSlot(*slot)) : "  (past the end of the image)") << '\n';
        }
    }
    if (options.Geometry) {
        out << '\n' << GeometryLine(result.Geometry) << '\n' << CheckLine(result.Geometry, result.Table()) << '\n';
    }
}

// One line: the name as given, the outcome, the container, how it was searched,
// and for a report the eight values and the check, two spaces between fields.
void WriteBrief(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    const auto& at = result.Record.Location;
    const std::optional<ImageFormat> format = at ? std::optional(at->Format) : result.Container;
    const std::string_view method = result.Method == LocateMethod::Structure ? "structure" : "scan";
    std::string line = Visible(result.Given) + "  " + result.Outcome + "  " +
                       std::string(format ? FormatName(*format) : "-") + "  " +
                       std::string(result.Record.Loaded ? method : "-");
    if (result.Record.Outcome == ReportOutcome::DriveReport) {
        const DriveSlot& slot = *result.Record.Slot;
        std::string ti = InterfaceType(slot);
        if (ti.back() == ' ') ti.pop_back();
        std::ostringstream values;
        values << "  TI=" << ti << " TD=" << DescribeDriveSlot(slot).DiskType << " TC=" << int{slot.TrackCount}
               << " SPT=" << int{slot.SectorsPerTrack} << " TSR=" << int{slot.TrackStepRate()}
               << " GPL=" << int{slot.GranulesPerLump} << " DDSL=" << int{slot.DirectoryStartLump}
               << " DDGA=" << int{slot.DirectoryGranules} << "  " << BriefVerdict(result.Geometry, slot);
        line += values.str();
    }
    const bool red = options.Color && result.Record.Outcome == ReportOutcome::NotFound;
    out << (red ? "\x1b[31m" + line + "\x1b[0m" : line) << '\n';
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    // An absolute name needs no working directory (the library would ask for it all the same).
    const std::filesystem::path given = path;
    const std::filesystem::path absolute = given.is_absolute() ? given : std::filesystem::absolute(given, error);
    if (error || absolute.empty()) return path;  // no working directory (deleted), or an empty name
    // Drops "." components but a last one, which still matters: "x.dsk/." is not "x.dsk".
    std::filesystem::path cleaned;
    for (auto part = absolute.begin(); part != absolute.end(); ++part) {
        if (*part != "." || std::next(part) == absolute.end()) cleaned /= *part;
    }
    return cleaned.string();
}

namespace {

void NameImage(ImageResult& result, const std::string& image) {
    result.Given = image;
    if (image == kStandardInputName) {
        result.Path = kStandardInputName;
        result.Shown = kStandardInputShown;
    } else {
        result.Path = AbsolutePath(image);
        result.Shown = image.empty() ? Visible(image) : result.Path;
    }
}

// Writes one image's JSON line or report; false once standard output has failed.
bool WriteResult(const ImageResult& result, const ReportOptions& options, bool& printedReport, std::ostream& out,
                 std::ostream& err) {
    errno = 0;
    if (options.Brief) {
        WriteBrief(result, options, out);
    } else if (options.Json) {
        // Names need not be UTF-8; invalid bytes become U+FFFD so the line stays valid JSON.
        out << ResultJson(result, options).dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
    } else if (result.Record.Loaded) {
        if (printedReport) out << '\n';
        WriteText(result, options, out);
        printedReport = true;
    }
    return CheckOutput(out, err);
}

}  // namespace

bool CheckOutput(std::ostream& out, std::ostream& err) {
    if (out.flush()) return true;
    const int error = errno;
    err << kProgram << ": write error";
    if (error != 0) err << ": " << std::strerror(error);
    err << '\n';
    return false;
}

bool ColorWanted(std::string_view mode, bool terminal, const char* noColor, const char* term) {
    if (mode != "auto") return mode == "always";
    const bool noColorSet = noColor != nullptr && *noColor != '\0';
    const bool dumb = term != nullptr && std::string_view(term) == "dumb";
    return terminal && !noColorSet && !dumb;
}

int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err) {
    int worst = kExitDriveReport;
    bool printedReport = false;
    bool writing = true;  // until standard output fails; the images are still analysed after
    for (const std::string& image : images) {
        ImageResult result;
        try {
            NameImage(result, image);
        } catch (const std::bad_alloc&) {  // not even the names: nothing more can be said of this image
            err << kProgram << ": " << image << ": not enough memory\n";
            worst = std::max<int>(worst, kExitUnreadable);
            continue;
        }
        AnalyseOne(result, options, err);
        worst = std::max(worst, result.Status);
        if (!writing) continue;
        try {
            writing = WriteResult(result, options, printedReport, out, err);
        } catch (...) {
            Fail(result, CurrentFailure(), err);
            worst = std::max(worst, result.Status);
        }
        if (!writing) worst = std::max<int>(worst, kExitWriteError);
    }
    return worst;
}

}  // namespace tabulon::cli
