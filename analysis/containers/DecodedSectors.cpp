#include "DecodedSectors.h"

#include "AddressMarks.h"

#include <utility>

namespace tabulon {

SectorLocation LocationOf(DecodedSector sector, ImageFormat format, std::int64_t fileOffset) {
    const bool cutShort = sector.CutShort();
    return SectorLocation{format,
                          LocateMethod::Structure,
                          fileOffset,
                          SectorBytes(std::move(sector.Data), cutShort),
                          sector.Size,
                          sector.IdCrcOk,
                          sector.DataCrcOk.value_or(false)};
}

SectorId SectorIdOf(const SectorAddress& id, Encoding coding) {
    return {id.Cylinder, id.Head, id.Sector, SectorSizeOfCode(id.SizeCode),
            coding == Encoding::Mfm ? Density::Double : Density::Single};
}

std::vector<SectorId> GoodIds(const std::vector<DecodedSector>& sectors) {
    std::vector<SectorId> ids;
    ids.reserve(sectors.size());
    for (const DecodedSector& sector : sectors) {
        if (sector.IdCrcOk) ids.push_back(SectorIdOf(sector));
    }
    return ids;
}

}  // namespace tabulon
