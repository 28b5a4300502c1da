#pragma once

#include "ImageGeometry.h"
#include "SlotDecoding.h"

#include <vector>

namespace tabulon {

// What a PDRIVE slot declares about its disk, by the report's own rules: TC
// cylinders, SPT sectors per cylinder (both sides together), and the sides and
// density that the SPT byte's words name (S/S or D/S, S/D or D/D).
struct DeclaredGeometry {
    int Cylinders = 0;
    int SectorsPerCylinder = 0;
    int Sides = 1;
    Density Recording = Density::Double;
};

DeclaredGeometry DeclaredBy(const DriveSlot& slot);

enum class CheckedField { Cylinders, Sides, Density, SectorsPerCylinder };

// Density as a number in a Difference: 1 single, 2 double.
int DensityNumber(Density density);
Density DensityOfNumber(int number);

// One field on which the table and the image disagree. Sides and sector counts
// are plain numbers; density is DensityNumber's.
struct Difference {
    CheckedField Field;
    int Table;
    int Image;
    friend bool operator==(const Difference&, const Difference&) = default;
};

// The differences between what the slot declares and what the image holds, in
// the order cylinders, sides, density, sectors per cylinder; none when it fits.
std::vector<Difference> CheckSlot(const DriveSlot& slot, const ImageGeometry& image);

}  // namespace tabulon
