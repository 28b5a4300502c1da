#include "DataField.h"

#include "AddressMarks.h"

#include <array>
#include <vector>

namespace tabulon {

std::optional<SectorLocation> SectorAfterIdField(RecordedBytes& track, const IdField& id, ImageFormat format) {
    const bool doubleDensity = id.Id.Recording == Density::Double;
    if (!track.FindDataMark(DataMarkWindow(doubleDensity))) return std::nullopt;

    const std::int64_t size = SectorSizeOfCode(id.SizeCode);
    std::vector<std::uint8_t> data;
    data.reserve(static_cast<std::size_t>(size));
    for (std::int64_t n = 1; n <= size && track.Has(n); ++n) data.push_back(track.At(n));
    bool dataCrcOk = false;
    if (static_cast<std::int64_t>(data.size()) == size && track.Has(1 + size, 2)) {
        const std::array<std::uint8_t, 1> mark{track.At(0)};
        const std::uint16_t crc = Crc16Ccitt(data, Crc16Ccitt(mark, FieldCrcStart(doubleDensity)));
        dataCrcOk = crc == ((track.At(1 + size) << 8) | track.At(2 + size));
    }
    const bool cutShort = static_cast<std::int64_t>(data.size()) < size;  // by the end of the track
    return SectorLocation{
        format,   LocateMethod::Structure, track.FileOffset(1), SectorBytes(std::move(data), cutShort), size, id.CrcOk,
        dataCrcOk};
}

}  // namespace tabulon
