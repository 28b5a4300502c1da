#include "DataField.h"

#include "AddressMarks.h"

#include <array>
#include <vector>

namespace tabulon {

DecodedSector SectorAfterIdField(RecordedBytes& track, const IdField& id) {
    DecodedSector sector;
    sector.Id = id.Id;
    sector.Size = SectorSizeOfCode(id.Id.SizeCode);
    sector.Coding = id.Coding;
    sector.IdCrcOk = id.CrcOk;
    const bool doubleDensity = id.Coding == Encoding::Mfm;
    if (!track.FindDataMark(DataMarkWindow(doubleDensity))) return sector;

    const std::uint8_t mark = track.At(0);
    sector.Deleted = mark != kDataMark;
    sector.DataStart = static_cast<std::size_t>(track.Position(1));
    sector.DataStep = static_cast<std::size_t>(track.Position(2) - track.Position(1));
    std::vector<std::uint8_t>& data = sector.Data;
    data.resize(static_cast<std::size_t>(sector.Size));
    data.resize(track.CopyTo(1, data));
    bool dataCrcOk = false;
    if (!sector.CutShort() && track.Has(1 + sector.Size, 2)) {
        const std::array<std::uint8_t, 1> markByte{mark};
        const std::uint16_t crc = Crc16Ccitt(data, Crc16Ccitt(markByte, FieldCrcStart(doubleDensity)));
        dataCrcOk = crc == ((track.At(1 + sector.Size) << 8) | track.At(2 + sector.Size));
    }
    sector.DataCrcOk = dataCrcOk;
    return sector;
}

}  // namespace tabulon
