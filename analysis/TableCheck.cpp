#include "TableCheck.h"

namespace tabulon {

int DensityNumber(Density density) { return density == Density::Single ? 1 : 2; }
Density DensityOfNumber(int number) { return number == 1 ? Density::Single : Density::Double; }

DeclaredGeometry DeclaredBy(const DriveSlot& slot) {
    // The same words the report prints: 10 S/S S/D, 20 D/S S/D, 18 S/S D/D, any other D/S D/D.
    const int spt = slot.SectorsPerTrack;
    return {slot.TrackCount, spt, (spt == 10 || spt == 18) ? 1 : 2,
            (spt == 10 || spt == 20) ? Density::Single : Density::Double};
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
