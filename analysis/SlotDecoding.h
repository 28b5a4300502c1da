#pragma once

#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon {

// The bytes of one PDRIVE slot that the report uses, as read.
struct DriveSlot {
    std::uint8_t DirectoryStartLump = 0;  // offset 0: DDSL
    std::uint8_t Flags = 0;               // offset 2: TI letter and suffix bits, step rate in bits 0-1
    std::uint8_t TrackCount = 0;          // offset 3: TC
    std::uint8_t SectorsPerTrack = 0;     // offset 4: SPT, and the TD letter
    std::uint8_t GranulesPerLump = 0;     // offset 5: GPL
    std::uint8_t DirectoryGranules = 0;   // offset 9: DDGA
    std::optional<std::uint8_t> Flags2;   // offset 7, read only when no suffix bit of Flags is set

    std::uint8_t TrackStepRate() const { return Flags & 3u; }
    friend bool operator==(const DriveSlot&, const DriveSlot&) = default;
};

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

inline constexpr int kPdriveSlots = 10;
inline constexpr int kPdriveSlotLength = 16;
inline constexpr int kNewdosMarkerOffset = 239;
inline constexpr std::uint8_t kNewdosMarker = 0xA5;

// One space followed by the value's decimal digits: 0 -> " 0", 255 -> " 255".
std::string SpacedDecimal(unsigned value);

// Reads the slot that begins offset bytes into the sector: +0, +3, +4, +5, +9,
// +2, then +7 only when neither suffix bit of the flag byte is set. The first
// read past the sector's bytes throws AnalysisStopped.
DriveSlot ReadDriveSlot(SectorBytes& sector, std::int64_t offset = 0);

// What the SPT byte names besides the count: the TD letter and the sides and
// density, as words and as numbers (10 A S/S S/D, 20 C D/S S/D, 18 E S/S D/D,
// any other G D/S D/D).
struct DiskKind {
    std::string_view DiskType;
    std::string_view SidesDensity;
    int Sides;
    Density Recording;
};
DiskKind DiskKindOf(std::uint8_t sectorsPerTrack);

// The texts of a slot: TI letter and suffix, TD letter, sides and density words.
std::string InterfaceType(const DriveSlot& slot);
DriveSpecs DescribeDriveSlot(const DriveSlot& slot);

// Reads and describes the first slot of the sector.
DriveSpecs DecodeDriveSpecs(SectorBytes& sector);

// True when the byte at 239 is 0xA5; throws AnalysisStopped past the sector's bytes.
bool HasNewdosMarker(SectorBytes& sector);

// The same for a located sector: one that its container records as shorter than
// 240 bytes (128-byte sectors are real) cannot hold the marker, and is answered
// false without reading.
bool HasNewdosMarker(SectorLocation& location);

// The ten 16-byte slots of the PDRIVE table, each read like the first; a slot
// that runs past the sector's bytes is left empty.
std::vector<std::optional<DriveSlot>> ReadAllSlots(SectorBytes& sector);

}  // namespace tabulon
