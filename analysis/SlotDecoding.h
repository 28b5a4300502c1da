#pragma once

#include "DiskData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tabulon {

// The first PDRIVE slot of the system sector, each field in the exact text the
// report prints. Numeric fields are a space followed by the unsigned decimal value.
struct DriveSpecs {
    std::string InterfaceType;       // TI: letter and suffix, two characters
    std::string DiskType;            // TD: "A", "C", "E" or "G"
    std::string SidesDensity;        // "S/S S/D", "D/S S/D", "S/S D/D" or "D/S D/D"
    std::string TrackCount;          // TC
    std::string SectorsPerTrack;     // SPT
    std::string TrackStepRate;       // TSR
    std::string GranulesPerLump;     // GPL
    std::string DirectoryStartLump;  // DDSL
    std::string DirectoryGranules;   // DDGA

    friend bool operator==(const DriveSpecs&, const DriveSpecs&) = default;
};

// One space followed by the value's decimal digits: 0 -> " 0", 255 -> " 255".
std::string SpacedDecimal(unsigned value);

// Decodes the slot that begins at base. Reads base+0, +3, +4, +5, +9, +2, then
// +7 only when neither suffix bit of the flag byte is set, then +4 again; the
// first read past the image throws AnalysisStopped.
DriveSpecs DecodeDriveSpecs(const DiskData& data, std::int64_t base);

// True when the byte at base+239 is 0xA5; throws AnalysisStopped past the image.
bool HasNewdosMarker(const DiskData& data, std::int64_t base);

// The ten 16-byte slots of the PDRIVE table that begins at base, each decoded
// like the first; a slot that runs past the image is left empty.
std::vector<std::optional<DriveSpecs>> DecodeAllSlots(const DiskData& data, std::int64_t base);

inline constexpr int kPdriveSlots = 10;
inline constexpr int kPdriveSlotLength = 16;
inline constexpr int kNewdosMarkerOffset = 239;
inline constexpr std::uint8_t kNewdosMarker = 0xA5;

}  // namespace tabulon
