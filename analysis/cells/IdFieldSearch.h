#pragma once

#include "IdField.h"
#include "PackedCells.h"

#include <cstddef>
#include <vector>

namespace tabulon {

// An ID field found among a track's cells.
struct CellIdField {
    std::size_t Decoding;   // which of kDecodings read it
    std::size_t TrackCell;  // where its mark starts among the track's cells
    std::size_t After;      // the first cell after its CRC, in the decoding's cells
    IdField Field;
};

// The ID fields of a track in each of the four decodings (at most 512 each):
// in the order of kDecodings, and within one in the order they lie. Each
// decoding's search goes on after the CRC of every ID field it finds, and
// after the mark byte of every other MFM mark.
//
// One pass over the cells serves all four: a few shifts and ANDs of each word
// of 64 cells and the next tell the starts where a mark of each decoding may
// begin (the cells that all of its marks hold, whatever the alignment); only
// those starts are checked cell by cell.
std::vector<CellIdField> FindIdFields(const PackedCells& cells);

}  // namespace tabulon
