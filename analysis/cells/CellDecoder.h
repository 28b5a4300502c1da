#pragma once

#include "PackedCells.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tabulon {

// Where a track's cell lies in the file.
using CellFileOffset = std::function<std::int64_t(std::size_t trackCell)>;

// Track 0, side 0, sector 2 among a track's cells, each decoding tried in turn:
// the first ID field naming it with a good CRC whose data mark follows in time,
// or else the first such field with a bad CRC. FileOffset is where the first
// data byte's first cell lies.
std::optional<SectorLocation> SystemSectorInCells(const PackedCells& cells, ImageFormat format,
                                                  const CellFileOffset& fileOffsetOf);

// The ID fields with a good CRC in any decoding, in the order they lie.
std::vector<SectorId> GoodIdFields(const PackedCells& cells);

}  // namespace tabulon
