#include "DirectoryCheck.h"

namespace tabulon {

namespace {

constexpr int kGranuleSectors = 5;

}  // namespace

std::vector<DirectoryDifference> CheckDirectory(const DriveSlot& slot, const DiskDirectory& directory) {
    std::vector<DirectoryDifference> differences;
    const int lumpSectors = slot.GranulesPerLump * kGranuleSectors;
    const int declared = slot.DirectoryStartLump * lumpSectors;
    const int held = directory.Cylinder * slot.SectorsPerTrack + directory.PlaceInCylinder;
    if (declared != held) {
        if (lumpSectors > 0 && held % lumpSectors == 0) {
            differences.push_back({DirectoryField::StartLump, slot.DirectoryStartLump, held / lumpSectors});
        } else {
            differences.push_back({DirectoryField::StartSector, declared, held});
        }
    }
    if (directory.Sectors && slot.DirectoryGranules * kGranuleSectors != *directory.Sectors) {
        differences.push_back({DirectoryField::Sectors, slot.DirectoryGranules * kGranuleSectors, *directory.Sectors});
    }
    return differences;
}

}  // namespace tabulon
