#pragma once

#include "TrackLayout.h"

#include <array>
#include <cstdint>

namespace tabulon {

// An ID field as a controller reads it: address mark FE, cylinder, head,
// sector, size code, CRC (2).
inline constexpr std::size_t kIdFieldBytes = 7;

struct IdField {
    SectorId Id;
    std::uint8_t SizeCode = 0;
    bool CrcOk = false;
};

// The ID field in these bytes (from its FE on), recorded in that density; its
// CRC is checked.
IdField ReadIdField(const std::array<std::uint8_t, kIdFieldBytes>& bytes, Density recording);

// Whether an ID field names track 0, side 0, sector 2, where NEWDOS/80 keeps its drive table.
constexpr bool IsSystemSector(const SectorId& id) { return id.Cylinder == 0 && id.Head == 0 && id.Sector == 2; }

}  // namespace tabulon
