#include "SlotDecoding.h"

#include "AnalysisStopped.h"

namespace tabulon {

namespace {

constexpr unsigned kStepRateBits = 0x03;
constexpr unsigned kSuffixM = 0x20;
constexpr unsigned kSuffixK = 0x40;
constexpr unsigned kSuffixL = 0x04;  // in the second flag byte

char InterfaceLetter(unsigned m) {
    if (m == 0x14) return 'E';
    if (m == 0x0C) return 'B';
    if (m & 0x04) return 'A';
    if (m & 0x08) return 'D';
    if (m & 0x10) return 'C';
    return '?';
}

}  // namespace

std::string SpacedDecimal(unsigned value) { return " " + std::to_string(value); }

DriveSlot ReadDriveSlot(const SectorBytes& sector, std::int64_t offset) {
    DriveSlot slot;
    slot.DirectoryStartLump = sector.At(offset + 0);
    slot.TrackCount = sector.At(offset + 3);
    slot.SectorsPerTrack = sector.At(offset + 4);
    slot.GranulesPerLump = sector.At(offset + 5);
    slot.DirectoryGranules = sector.At(offset + 9);
    slot.Flags = sector.At(offset + 2);
    if ((slot.Flags & (kSuffixM | kSuffixK)) == 0) slot.Flags2 = sector.At(offset + 7);
    return slot;
}

std::string InterfaceType(const DriveSlot& slot) {
    const unsigned m = slot.Flags & ~kStepRateBits & 0xFFu;
    std::string text(1, InterfaceLetter(m));
    if (m & kSuffixM) {
        text += 'M';
    } else if (m & kSuffixK) {
        text += 'K';
    } else {
        text += (slot.Flags2.value_or(0) & kSuffixL) ? 'L' : ' ';
    }
    return text;
}

DriveSpecs DescribeDriveSlot(const DriveSlot& slot) {
    DriveSpecs drive;
    drive.InterfaceType = InterfaceType(slot);
    drive.TrackCount = SpacedDecimal(slot.TrackCount);
    drive.SectorsPerTrack = SpacedDecimal(slot.SectorsPerTrack);
    drive.TrackStepRate = SpacedDecimal(slot.TrackStepRate());
    drive.GranulesPerLump = SpacedDecimal(slot.GranulesPerLump);
    drive.DirectoryStartLump = SpacedDecimal(slot.DirectoryStartLump);
    drive.DirectoryGranules = SpacedDecimal(slot.DirectoryGranules);
    switch (slot.SectorsPerTrack) {
    case 10: drive.DiskType = "A"; drive.SidesDensity = "S/S S/D"; break;
    case 20: drive.DiskType = "C"; drive.SidesDensity = "D/S S/D"; break;
    case 18: drive.DiskType = "E"; drive.SidesDensity = "S/S D/D"; break;
    default: drive.DiskType = "G"; drive.SidesDensity = "D/S D/D"; break;
    }
    return drive;
}

DriveSpecs DecodeDriveSpecs(const SectorBytes& sector) { return DescribeDriveSlot(ReadDriveSlot(sector)); }

bool HasNewdosMarker(const SectorBytes& sector) { return sector.At(kNewdosMarkerOffset) == kNewdosMarker; }

bool HasNewdosMarker(const SectorLocation& location) {
    if (location.SectorSize && *location.SectorSize <= kNewdosMarkerOffset) return false;
    return HasNewdosMarker(location.Sector);
}

std::vector<std::optional<DriveSlot>> ReadAllSlots(const SectorBytes& sector) {
    std::vector<std::optional<DriveSlot>> slots;
    for (int slot = 0; slot < kPdriveSlots; ++slot) {
        try {
            slots.emplace_back(ReadDriveSlot(sector, slot * kPdriveSlotLength));
        } catch (const AnalysisStopped& stop) {
            if (stop.WhyStopped() != AnalysisStopped::Reason::ReadOutsideImage) throw;
            slots.emplace_back(std::nullopt);
        }
    }
    return slots;
}

}  // namespace tabulon
