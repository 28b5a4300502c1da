#pragma once

#include "CellTrack.h"
#include "IdField.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tabulon {

// An ID field found among a track's cells.
struct CellIdField {
    std::size_t TrackCell;  // where its mark starts among the track's cells
    std::size_t After;      // the first cell after its CRC, in the decoding's cells
    IdField Field;
};

// The ID fields of one decoding, in the order they lie (at most 512).
std::vector<CellIdField> FindIdFields(const CellView& cells);

// Where a track's cell lies in the file.
using CellFileOffset = std::function<std::int64_t(std::size_t trackCell)>;

// Track 0, side 0, sector 2 among a track's cells, each decoding tried in turn:
// the first ID field naming it with a good CRC whose data mark follows in time,
// or else the first such field with a bad CRC. FileOffset is where the first
// data byte's first cell lies.
std::optional<SectorLocation> SystemSectorInCells(CellTrack& track, ImageFormat format,
                                                  const CellFileOffset& fileOffsetOf);

// The ID fields with a good CRC in any decoding, in the order they lie.
std::vector<SectorId> GoodIdFields(CellTrack& track);

}  // namespace tabulon
