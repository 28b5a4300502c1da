#include "CellDecoder.h"

#include "AddressMarks.h"
#include "CellBytes.h"
#include "CellView.h"
#include "DataField.h"
#include "IdFieldSearch.h"

#include <algorithm>

namespace tabulon {

std::vector<CellIdField> IdFieldsInTime(const PackedCells& cells) {
    std::vector<CellIdField> ids = FindIdFields(cells);
    std::stable_sort(ids.begin(), ids.end(),
                     [](const CellIdField& a, const CellIdField& b) { return a.TrackCell < b.TrackCell; });
    return ids;
}

namespace {

DecodedSector IdOnly(const CellIdField& id) {
    DecodedSector sector;
    sector.Id = id.Field.Id;
    sector.Size = SectorSizeOfCode(id.Field.Id.SizeCode);
    sector.Coding = id.Field.Coding;
    sector.IdCrcOk = id.Field.CrcOk;
    sector.FirstCell = id.TrackCell;
    return sector;
}

}  // namespace

std::vector<DecodedSector> ListSectors(const PackedCells& cells, SectorDetail detail) {
    return ListSectors(cells, IdFieldsInTime(cells), detail);
}

std::vector<DecodedSector> ListSectors(const PackedCells& cells, std::span<const CellIdField> ids,
                                       SectorDetail detail) {
    std::vector<DecodedSector> sectors;
    sectors.reserve(ids.size());
    for (const CellIdField& id : ids) {
        if (detail == SectorDetail::IdsOnly) {
            sectors.push_back(IdOnly(id));
            continue;
        }
        const CellView view(cells, kDecodings[id.Decoding]);
        CellBytes bytes(view, id.After);
        DecodedSector& sector = sectors.emplace_back(SectorAfterIdField(bytes, id.Field, false));
        sector.FirstCell = id.TrackCell;
    }
    return sectors;
}

CellSearch SearchCells(const PackedCells& cells, const SectorQuery& query, bool whole) {
    SectorChoice choice;
    CellSearch search;
    for (const CellIdField& id : IdFieldsInTime(cells)) {
        if (id.Field.CrcOk && !search.Good) search.Good = id.TrackCell;
        if (!id.Field.CrcOk && !search.Good) ++search.BadBeforeGood;
        if (!query.Matches(id.Field.Id) || !choice.Wants(id.Field.CrcOk)) continue;
        const CellView view(cells, kDecodings[id.Decoding]);
        CellBytes bytes(view, id.After);
        DecodedSector sector = SectorAfterIdField(bytes, id.Field);
        sector.FirstCell = id.TrackCell;
        const auto window = static_cast<std::size_t>(DataMarkWindow(view.DoubleDensity())) * kCellsPerByte;
        const bool seenWhole = sector.HasData() ? bytes.Has(1 + sector.Size, 2) : id.After + window <= view.Size();
        if (!seenWhole && !whole) return {std::nullopt, false, search.Good, search.BadBeforeGood};
        choice.Offer(std::move(sector));
        if (choice.Settled()) break;
    }
    search.Settled = whole || choice.Settled();
    search.Found = std::move(choice).Take();
    return search;
}

std::vector<std::optional<DecodedSector>> FindSectors(const PackedCells& cells, std::span<const CellIdField> ids,
                                                      std::span<const SectorQuery> queries) {
    std::vector<SectorChoice> choices(queries.size());
    std::size_t unsettled = queries.size();
    for (const CellIdField& id : ids) {
        if (unsettled == 0) break;
        for (std::size_t n = 0; n < queries.size(); ++n) {
            SectorChoice& choice = choices[n];
            if (!queries[n].Matches(id.Field.Id) || !choice.Wants(id.Field.CrcOk)) continue;
            const CellView view(cells, kDecodings[id.Decoding]);
            CellBytes bytes(view, id.After);
            DecodedSector sector = SectorAfterIdField(bytes, id.Field);
            sector.FirstCell = id.TrackCell;
            choice.Offer(std::move(sector));
            if (choice.Settled()) --unsettled;
        }
    }
    std::vector<std::optional<DecodedSector>> found;
    found.reserve(queries.size());
    for (SectorChoice& choice : choices) found.push_back(std::move(choice).Take());
    return found;
}

}  // namespace tabulon
