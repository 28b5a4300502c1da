#include "TableCheck.h"

namespace tabulon {

int DensityNumber(Density density) { return density == Density::Single ? 1 : 2; }
Density DensityOfNumber(int number) { return number == 1 ? Density::Single : Density::Double; }

DeclaredGeometry DeclaredBy(const DriveSlot& slot) {
    // The sides and density the report's words name.
    const DiskKind kind = DiskKindOf(slot.SectorsPerTrack);
    return {slot.TrackCount, slot.SectorsPerTrack, kind.Sides, kind.Recording};
}

std::vector<Difference> CheckSlot(const DriveSlot& slot, const ImageGeometry& image) {
    const DeclaredGeometry table = DeclaredBy(slot);
    std::vector<Difference> differences;
    const auto compare = [&differences](CheckedField field, int declared, int held) {
        if (declared != held) differences.push_back({field, declared, held});
    };
    compare(CheckedField::Cylinders, table.Cylinders, image.Cylinders);
    compare(CheckedField::Sides, table.Sides, image.Sides);
    compare(CheckedField::Density, DensityNumber(table.Recording), DensityNumber(image.DataDensity));
    compare(CheckedField::SectorsPerCylinder, table.SectorsPerCylinder, image.SectorsPerCylinder());
    return differences;
}

}  // namespace tabulon
