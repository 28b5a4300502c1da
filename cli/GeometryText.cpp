#include "GeometryText.h"

#include <sstream>

namespace tabulon::cli {

namespace {

std::string Plural(int count, std::string_view one, std::string_view many) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? one : many;
    return text;
}

// "cylinders 40 vs 80": what the table says, then what the image holds.
std::string DifferenceText(const Difference& difference) {
    const auto value = [&difference](int number) {
        return difference.Field == CheckedField::Density ? std::string(DensityWord(DensityOfNumber(number)))
                                                         : std::to_string(number);
    };
    const std::string_view name =
        difference.Field == CheckedField::SectorsPerCylinder ? "sectors per cylinder" : FieldName(difference.Field);
    return std::string(name) + " " + value(difference.Table) + " vs " + value(difference.Image);
}

std::string Differences(const std::vector<Difference>& differences) {
    std::string text;
    for (const Difference& difference : differences) text += (text.empty() ? "" : ", ") + DifferenceText(difference);
    return text;
}

}  // namespace

std::string_view DensityWord(Density density) { return density == Density::Single ? "single" : "double"; }

std::string_view FieldName(CheckedField field) {
    switch (field) {
    case CheckedField::Cylinders: return "cylinders";
    case CheckedField::Sides: return "sides";
    case CheckedField::Density: return "density";
    case CheckedField::SectorsPerCylinder: return "sectorsPerCylinder";
    }
    return {};
}

std::string GeometryLine(const std::optional<ImageGeometry>& geometry) {
    if (!geometry) return "Image: geometry unknown (no container structure recognised)";
    std::ostringstream line;
    line << "Image: " << Plural(geometry->Cylinders, "cylinder", "cylinders");
    if (!geometry->MissingCylinders.empty()) {
        line << " (missing:";
        for (const int cylinder : geometry->MissingCylinders) line << ' ' << cylinder;
        line << ')';
    }
    line << ", " << Plural(geometry->Sides, "side", "sides") << ", track 0 " << DensityWord(geometry->Track0Density)
         << " density, data tracks " << DensityWord(geometry->DataDensity) << " density, "
         << Plural(geometry->SectorsPerTrack, "sector", "sectors") << " of " << geometry->SectorSize
         << " bytes per track";
    return line.str();
}

std::string CheckLine(const std::optional<ImageGeometry>& geometry, const std::optional<DriveSlot>& slot) {
    if (!slot) return "Check: no PDRIVE table to check it against";
    if (!geometry) return "Check: not possible without the image's geometry";
    const auto differences = CheckSlot(*slot, *geometry);
    if (differences.empty()) return "Check: slot 0 fits the image";
    return "Check: slot 0 differs from the image (table vs image): " + Differences(differences);
}

std::string BriefVerdict(const std::optional<ImageGeometry>& geometry, const std::optional<DriveSlot>& slot) {
    if (!slot || !geometry) return "unchecked";
    const auto differences = CheckSlot(*slot, *geometry);
    return differences.empty() ? "fits" : "differs: " + Differences(differences);
}

}  // namespace tabulon::cli
