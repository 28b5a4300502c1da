#include "SlotDecoding.h"

#include "AnalysisStopped.h"

#include <array>
#include <charconv>

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

std::string SpacedDecimal(unsigned value) {
    std::array<char, 12> text{' '};
    char* end = std::to_chars(text.data() + 1, text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

DriveSlot ReadDriveSlot(SectorBytes& sector, std::int64_t offset) {
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

DiskKind DiskKindOf(std::uint8_t sectorsPerTrack) {
    switch (sectorsPerTrack) {
    case 10: return {"A", "S/S S/D", 1, Density::Single};
    case 20: return {"C", "D/S S/D", 2, Density::Single};
    case 18: return {"E", "S/S D/D", 1, Density::Double};
    default: return {"G", "D/S D/D", 2, Density::Double};
    }
}

DriveSpecs DescribeDriveSlot(const DriveSlot& slot) {
    const DiskKind kind = DiskKindOf(slot.SectorsPerTrack);
    return {InterfaceType(slot),
            std::string(kind.DiskType),
            std::string(kind.SidesDensity),
            SpacedDecimal(slot.TrackCount),
            SpacedDecimal(slot.SectorsPerTrack),
            SpacedDecimal(slot.TrackStepRate()),
            SpacedDecimal(slot.GranulesPerLump),
            SpacedDecimal(slot.DirectoryStartLump),
            SpacedDecimal(slot.DirectoryGranules)};
}

DriveSpecs DecodeDriveSpecs(SectorBytes& sector) { return DescribeDriveSlot(ReadDriveSlot(sector)); }

bool HasNewdosMarker(SectorBytes& sector) { return sector.At(kNewdosMarkerOffset) == kNewdosMarker; }

bool HasNewdosMarker(SectorLocation& location) {
    if (location.SectorSize && *location.SectorSize <= kNewdosMarkerOffset) return false;
    return HasNewdosMarker(location.Sector);
}

std::vector<std::optional<DriveSlot>> ReadAllSlots(SectorBytes& sector) {
    std::vector<std::optional<DriveSlot>> slots;
    for (int slot = 0; slot < kPdriveSlots; ++slot) {
        try {
            slots.emplace_back(ReadDriveSlot(sector, std::int64_t{slot} * kPdriveSlotLength));
        } catch (const AnalysisStopped& stop) {
            const auto why = stop.WhyStopped();
            if (why != AnalysisStopped::Reason::ReadOutsideImage && why != AnalysisStopped::Reason::SectorCutShort)
                throw;
            slots.emplace_back(std::nullopt);
        }
    }
    return slots;
}

}  // namespace tabulon
