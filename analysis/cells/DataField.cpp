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
    // The data a piece at a time, read in place where the container keeps
    // bytes: checked, and kept when asked for.
    std::array<std::uint8_t, 256> piece{};
    while (sector.Held < sector.Size) {
        std::span<const std::uint8_t> got = track.Run(1 + sector.Held, sector.Size - sector.Held);
        if (got.empty()) {
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(piece.size()), sector.Size - sector.Held));
            got = std::span(piece).first(track.CopyTo(1 + sector.Held, std::span(piece).first(wanted)));
        }
        if (got.empty()) break;  // the track ends inside the data
        crc = Crc16Ccitt(got, crc);
        if (keepData) sector.Data.insert(sector.Data.end(), got.begin(), got.end());
        sector.Held += static_cast<std::int64_t>(got.size());
    }
    bool dataCrcOk = false;
    if (!sector.CutShort() && track.Has(1 + sector.Size, 2)) {
        dataCrcOk = crc == ((track.At(1 + sector.Size) << 8) | track.At(2 + sector.Size));
    }
    sector.DataCrcOk = dataCrcOk;
    return sector;
}

}  // namespace tabulon
