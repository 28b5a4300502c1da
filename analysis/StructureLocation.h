#pragma once

#include "DiskData.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tabulon {

inline constexpr const char* kJv1FormatLabel = "   JV1 Format";

enum class ImageLayout { Dmk, Jv3, Jv1 };

// Bytes a JV3 sector occupies, from its entry's track and flags: the size code
// in bits 0-1 means 256, 128, 1024, 512 for a used entry and 512, 1024, 128,
// 256 for a free one (track 0xFF).
std::size_t Jv3SectorLength(std::uint8_t track, std::uint8_t flags);

// Which layout the image's own structure shows, tried in the order DMK, JV3,
// JV1; nothing when it fits none of them.
std::optional<ImageLayout> IdentifyLayout(const DiskData& image);

// Track 0, side 0, sector 2 found through the layout's structure rather than
// by the fixed byte scans: the DMK track's ID address marks, the JV3 header's
// entries in order, or the JV1 offset.
struct StructureLocation {
    ImageLayout Layout = ImageLayout::Dmk;
    std::string FormatLabel;
    std::int64_t Offset = 0;       // file offset of the sector's first data byte
    DiskData Sector;               // the sector's data as stored (FM bytes taken once), up to its size
    std::optional<bool> CrcOk;     // ID and data CRCs both right; nothing for JV layouts, which keep none
    bool IdCrcOk = true;
    bool DataCrcOk = true;
};

// Every read stays inside the image; a malformed structure gives nothing.
std::optional<StructureLocation> LocateByStructure(const DiskData& image);

}  // namespace tabulon
