#include "IdField.h"

#include "AddressMarks.h"

#include <span>

namespace tabulon {

IdField ReadIdField(const std::array<std::uint8_t, kIdFieldBytes>& bytes, Density recording) {
    const bool doubleDensity = recording == Density::Double;
    const auto crc = static_cast<std::uint16_t>((bytes[5] << 8) | bytes[6]);
    return {SectorId{bytes[1], bytes[2], bytes[3], SectorSizeOfCode(bytes[4]), recording}, bytes[4],
            Crc16Ccitt(std::span(bytes).first(5), FieldCrcStart(doubleDensity)) == crc};
}

}  // namespace tabulon
