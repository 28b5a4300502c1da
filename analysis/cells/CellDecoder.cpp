#include "CellDecoder.h"

#include "CellBytes.h"
#include "CellView.h"
#include "DataField.h"
#include "IdFieldSearch.h"
#include "MarkSearch.h"

#include <algorithm>

namespace tabulon {

std::optional<SectorLocation> SystemSectorInCells(const PackedCells& cells, ImageFormat format,
                                                  const CellFileOffset& fileOffsetOf) {
    std::optional<SectorLocation> badId;  // an ID field with a bad CRC, kept in case no good one turns up
    for (const CellIdField& id : FindIdFields(cells)) {
        if (!IsSystemSector(id.Field.Id) || (!id.Field.CrcOk && badId)) continue;
        const CellView view(cells, kDecodings[id.Decoding]);
        CellBytes bytes(view, id.After, fileOffsetOf);
        auto found = SectorAfterIdField(bytes, id.Field, format);
        if (found && id.Field.CrcOk) return found;
        if (found) badId = std::move(found);
    }
    return badId;
}

std::vector<SectorId> GoodIdFields(const PackedCells& cells) {
    std::vector<CellIdField> good = FindIdFields(cells);
    std::erase_if(good, [](const CellIdField& id) { return !id.Field.CrcOk; });
    std::sort(good.begin(), good.end(),
              [](const CellIdField& a, const CellIdField& b) { return a.TrackCell < b.TrackCell; });
    std::vector<SectorId> ids;
    ids.reserve(good.size());
    for (const CellIdField& id : good) ids.push_back(id.Field.Id);
    return ids;
}

}  // namespace tabulon
