#include "DataField.h"

#include "AddressMarks.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace tabulon {

DecodedSector SectorAfterIdField(RecordedBytes& track, const IdField& id, bool keepData) {
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
    const std::array<std::uint8_t, 1> markByte{mark};
    std::uint16_t crc = Crc16Ccitt(markByte, FieldCrcStart(doubleDensity));
    if (keepData) {
        std::vector<std::uint8_t>& data = sector.Data;
        data.resize(static_cast<std::size_t>(sector.Size));
        data.resize(track.CopyTo(1, data));
        sector.Held = static_cast<std::int64_t>(data.size());
        crc = Crc16Ccitt(data, crc);
    } else {  // a piece at a time
        std::array<std::uint8_t, 256> piece{};
        while (sector.Held < sector.Size) {
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()), sector.Size - sector.Held));
            const std::size_t got = track.CopyTo(1 + sector.Held, std::span(piece).first(wanted));
            crc = Crc16Ccitt(std::span(piece).first(got), crc);
            sector.Held += static_cast<std::int64_t>(got);
            if (got < wanted) break;
        }
    }
    bool dataCrcOk = false;
    if (!sector.CutShort() && track.Has(1 + sector.Size, 2)) {
        dataCrcOk = crc == ((track.At(1 + sector.Size) << 8) | track.At(2 + sector.Size));
    }
    sector.DataCrcOk = dataCrcOk;
    return sector;
}

}  // namespace tabulon
