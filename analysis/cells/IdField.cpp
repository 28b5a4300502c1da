#include "IdField.h"

#include "AddressMarks.h"

#include <span>

namespace tabulon {

IdField ReadIdField(const std::array<std::uint8_t, kIdFieldBytes>& bytes, Encoding coding) {
    const auto crc = static_cast<std::uint16_t>((bytes[5] << 8) | bytes[6]);
    return {SectorAddress{bytes[1], bytes[2], bytes[3], bytes[4]}, coding,
            Crc16Ccitt(std::span(bytes).first(5), FieldCrcStart(coding == Encoding::Mfm)) == crc};
}

}  // namespace tabulon
