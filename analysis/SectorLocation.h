#pragma once

#include "DiskData.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tabulon {

inline constexpr const char* kDmkFormatLabel = "   DMK Format";
inline constexpr const char* kJvFormatLabel = "   JV  Format";

// Where the data of track 0, side 0, sector 2 begins, and which scan found it.
struct SectorLocation {
    bool Found = false;
    std::int32_t Base = 0;    // index in DiskData of the sector's first data byte
    std::string FormatLabel;  // kDmkFormatLabel, kJvFormatLabel, or empty when not found

    friend bool operator==(const SectorLocation&, const SectorLocation&) = default;
};

// Looks for the MFM ID field A1 A1 A1 FE 00 00 02 from offset 0, never moving
// back on a mismatch, and gives up on a mismatch past offset 5000 or at the end
// of the image. Found: Base = the byte after the sector number + 41.
std::optional<std::int32_t> FindDmkSector(const DiskData& data);

// Reads the start of the image as JV3 header entries of three bytes and takes
// the first entry of track 0, sector 2; gives up on a non-matching entry past
// offset 8704 or at the end of the image. Found: Base = 8704 + 256 per entry passed.
std::optional<std::int32_t> FindJvSector(const DiskData& data);

// The DMK scan, then the JV scan when the DMK scan gave up; dmkGaveUp, when
// given, is called between the two (the report writes its switch lines there).
SectorLocation LocateSystemSector(const DiskData& data, const std::function<void()>& dmkGaveUp = {});

}  // namespace tabulon
