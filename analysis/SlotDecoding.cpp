#include "SlotDecoding.h"

#include "AnalysisStopped.h"

namespace tabulon {

namespace {

const char* InterfaceLetter(unsigned m) {
    if (m == 0x14) return "E";
    if (m == 0x0C) return "B";
    if (m & 0x04) return "A";
    if (m & 0x08) return "D";
    if (m & 0x10) return "C";
    return "?";
}

}  // namespace

std::string SpacedDecimal(unsigned value) { return " " + std::to_string(value); }

DriveSpecs DecodeDriveSpecs(const DiskData& data, std::int64_t base) {
    DriveSpecs drive;
    drive.DirectoryStartLump = SpacedDecimal(data.At(base + 0));
    drive.TrackCount = SpacedDecimal(data.At(base + 3));
    drive.SectorsPerTrack = SpacedDecimal(data.At(base + 4));
    drive.GranulesPerLump = SpacedDecimal(data.At(base + 5));
    drive.DirectoryGranules = SpacedDecimal(data.At(base + 9));

    const unsigned flags = data.At(base + 2);
    drive.TrackStepRate = SpacedDecimal(flags & 3u);
    const unsigned m = flags & 0xFCu;
    drive.InterfaceType = InterfaceLetter(m);
    if (m & 0x20) {
        drive.InterfaceType += 'M';
    } else if (m & 0x40) {
        drive.InterfaceType += 'K';
    } else {
        drive.InterfaceType += (data.At(base + 7) & 0x04) ? 'L' : ' ';
    }

    switch (data.At(base + 4)) {
    case 10: drive.DiskType = "A"; drive.SidesDensity = "S/S S/D"; break;
    case 20: drive.DiskType = "C"; drive.SidesDensity = "D/S S/D"; break;
    case 18: drive.DiskType = "E"; drive.SidesDensity = "S/S D/D"; break;
    default: drive.DiskType = "G"; drive.SidesDensity = "D/S D/D"; break;
    }
    return drive;
}

std::vector<std::optional<DriveSpecs>> DecodeAllSlots(const DiskData& data, std::int64_t base) {
    std::vector<std::optional<DriveSpecs>> slots;
    for (int slot = 0; slot < kPdriveSlots; ++slot) {
        try {
            slots.emplace_back(DecodeDriveSpecs(data, base + slot * kPdriveSlotLength));
        } catch (const AnalysisStopped&) {
            slots.emplace_back(std::nullopt);
        }
    }
    return slots;
}

bool HasNewdosMarker(const DiskData& data, std::int64_t base) {
    return data.At(base + kNewdosMarkerOffset) == kNewdosMarker;
}

}  // namespace tabulon
