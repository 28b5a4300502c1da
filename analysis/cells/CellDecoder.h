#pragma once

#include "DecodedSector.h"
#include "PackedCells.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tabulon {

struct CellIdField;

// How much of each sector a listing reads.
enum class SectorDetail {
    IdsOnly,   // the ID fields: no data field is looked for (DataCrcOk nothing)
    WithData,  // and each one's data field with its CRC
};

// The ID fields of a track's cells in every decoding (MFM, FM, FM with doubled
// cells in either phase), in the order they lie; at the same cell, in the
// order of the decodings.
std::vector<CellIdField> IdFieldsInTime(const PackedCells& cells);

// The sectors of those ID fields, in the same order.
std::vector<DecodedSector> ListSectors(const PackedCells& cells, SectorDetail detail);
// The same from the track's ID fields as IdFieldsInTime found them.
std::vector<DecodedSector> ListSectors(const PackedCells& cells, std::span<const CellIdField> ids, SectorDetail detail);

// A search for one sector among cells that may be only the first part of a track.
struct CellSearch {
    std::optional<DecodedSector> Found;
    bool Settled = false;             // more cells after these cannot change it
    std::optional<std::size_t> Good;  // where the first ID field with a good CRC (of any sector) begins
    std::size_t BadBeforeGood = 0;    // ID fields with a bad CRC before it (all of them when none)
};

// The sector asked for among a track's cells, by the rule of SectorChoice: the
// first ID field naming it with a good CRC whose data mark follows, or else
// the first such with a bad CRC. whole: the cells are all the track has; when
// not, the search stays unsettled while a field it needs reaches past them.
CellSearch SearchCells(const PackedCells& cells, const SectorQuery& query, bool whole);

// The same over a whole track.
inline std::optional<DecodedSector> FindSector(const PackedCells& cells, const SectorQuery& query) {
    return SearchCells(cells, query, true).Found;
}

// Each sector asked for, as FindSector gives it, found in one pass over the
// track's ID fields as IdFieldsInTime found them.
std::vector<std::optional<DecodedSector>> FindSectors(const PackedCells& cells, std::span<const CellIdField> ids,
                                                      std::span<const SectorQuery> queries);

}  // namespace tabulon
