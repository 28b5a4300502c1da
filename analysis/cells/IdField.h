#pragma once

#include "DecodedSector.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tabulon {

// An ID field as a controller reads it: address mark FE, cylinder, head,
// sector, size code, CRC (2).
inline constexpr std::size_t kIdFieldBytes = 7;

struct IdField {
    SectorAddress Id;
    Encoding Coding = Encoding::Mfm;
    bool CrcOk = false;
};

// The ID field in these bytes (from its FE on), recorded in that encoding; its
// CRC is checked.
IdField ReadIdField(const std::array<std::uint8_t, kIdFieldBytes>& bytes, Encoding coding);

}  // namespace tabulon
