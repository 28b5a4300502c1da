#include "JsonView.h"

#include "DiskView.h"
#include "ShownName.h"
#include "TextView.h"
#include "TrackView.h"

namespace tabulon {

namespace {

using nlohmann::json;

json SlotJson(const DriveSlot& slot) {
    const DriveSpecs texts = DescribeDriveSlot(slot);
    return {{"TI", texts.InterfaceType},       {"TD", texts.DiskType},           {"TC", slot.TrackCount},
            {"SPT", slot.SectorsPerTrack},     {"TSR", slot.TrackStepRate()},    {"GPL", slot.GranulesPerLump},
            {"DDSL", slot.DirectoryStartLump}, {"DDGA", slot.DirectoryGranules}, {"sidesDensity", texts.SidesDensity}};
}

json GeometryJson(const std::optional<ImageGeometry>& geometry) {
    if (!geometry) return nullptr;
    json object = {
        {"cylinders", geometry->Cylinders},
        {"missingCylinders", geometry->MissingCylinders},
        {"sides", geometry->Sides},
        {"track0Density", DensityWord(geometry->Track0Density)},
        {"dataDensity", DensityWord(geometry->DataDensity)},
        {"sectorsPerTrack", geometry->SectorsPerTrack},
        {"sectorSize", geometry->SectorSize},
        {"declaredCylinders", geometry->DeclaredCylinders ? json(*geometry->DeclaredCylinders) : json(nullptr)},
        {"cut", geometry->Cut()}};
    if (geometry->DeclaredSides) object["declaredSides"] = *geometry->DeclaredSides;
    return object;
}

json CheckJson(const std::optional<std::vector<Difference>>& check) {
    if (!check) return nullptr;
    json differences = json::array();
    for (const Difference& difference : *check) {
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

json SlotsJson(const ImageResult& result) {
    if (!result.Run.Slot) return nullptr;
    json slots = json::array();
    for (const auto& slot : result.Run.Slots) {
        json one = slot ? SlotJson(*slot) : json(nullptr);
        if (slot) {
            const bool checked = result.Run.Check.has_value();
            one["fitsImage"] = checked ? json(CheckSlot(*slot, *result.Run.Geometry).empty()) : json(nullptr);
        }
        slots.push_back(one);
    }
    return slots;
}

}  // namespace

json ResultJson(const ImageResult& result, const ReportOptions& options) {
    const Analysis& run = result.Run;
    json locate = nullptr;
    if (run.Search) locate = run.Search->Method == LocateMethod::Structure ? "structure" : "scan";
    json object = {{"path", result.Path},     {"outcome", InfoOf(result.Result).Name},
                   {"locate", locate},        {"format", nullptr},
                   {"sectorOffset", nullptr}, {"crcOk", nullptr},
                   {"newdosMarker", nullptr}, {"slot", nullptr}};
    if (const auto format = run.Format()) object["format"] = format->Name;
    if (const SectorLocation* const at = run.Location()) {
        object["sectorOffset"] = at->FileOffset;
        if (at->IdCrcOk || at->DataCrcOk) object["crcOk"] = at->CrcOk();
    }
    if (run.Marker) object["newdosMarker"] = *run.Marker;
    if (run.Slot) object["slot"] = SlotJson(*run.Slot);
    object["geometry"] = GeometryJson(result.Run.Geometry);
    if (run.GeometryStop) object["geometryError"] = StopMessage(*run.GeometryStop);
    if (run.NoTracksDeclared) object["geometryError"] = "the header declares no tracks";
    object["check"] = CheckJson(result.Run.Check);
    if (options.AllSlots) object["slots"] = SlotsJson(result);
    object["disk"] = DiskJson(result, options);
    if (run.DiskStop) object["diskError"] = StopMessage(*run.DiskStop);
    if (options.Tracks) AddTracksJson(result, object);
    if (!IsUtf8(result.Path)) object["pathBytes"] = HexBytes(result.Path);
    if (result.Member) {
        object["member"] = *result.Member;
        if (!IsUtf8(*result.Member)) object["memberBytes"] = HexBytes(*result.Member);
    }
    return object;
}

std::string JsonLine(const ImageResult& result, const ReportOptions& options) {
    // Names need not be UTF-8: in "path" invalid bytes become U+FFFD, so that the
    // line stays valid JSON, and "pathBytes" keeps such a name byte for byte.
    std::string line = ResultJson(result, options).dump(-1, ' ', false, json::error_handler_t::replace);
    if (options.Tracks) InsertTracksJson(result, line);
    return line;
}

}  // namespace tabulon
