#pragma once

#include "DecodedSector.h"
#include "IdField.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tabulon {

// The bytes a controller reads after one ID field, wherever a container keeps
// them (DMK: bytes of a track; cell images and flux: bytes out of cells).
class RecordedBytes {
public:
    virtual ~RecordedBytes() = default;

    // Looks for the first data address mark whose byte lies within window
    // bytes after the ID field's CRC. When there is one, the bytes from it on
    // become readable: byte 0 is the mark, then the data, then its CRC.
    virtual bool FindDataMark(std::int64_t window) = 0;
    // Whether bytes n to n + count - 1 after the mark are there.
    virtual bool Has(std::int64_t n, std::int64_t count = 1) const = 0;
    virtual std::uint8_t At(std::int64_t n) = 0;
    // Bytes n on into out, up to the first that is not there: how many were copied.
    virtual std::size_t CopyTo(std::int64_t n, std::span<std::uint8_t> out) {
        std::size_t copied = 0;
        for (; copied < out.size() && Has(n + static_cast<std::int64_t>(copied)); ++copied) {
            out[copied] = At(n + static_cast<std::int64_t>(copied));
        }
        return copied;
    }
    // Bytes n on as they lie in memory, at most count, valid until the next
    // call; none where they are not kept as bytes (cells are decoded a copy at a time).
    virtual std::span<const std::uint8_t> Run(std::int64_t /*n*/, std::int64_t /*count*/) { return {}; }
    // Where byte n lies, in the units the container counts in (a cell, a file offset).
    virtual std::int64_t Position(std::int64_t n) const = 0;
};

// The sector behind an ID field, as a controller reads it: the data address
// mark within the distance the recording allows (43 bytes in MFM, 30 in FM),
// the data as long as the ID field's size code says (or as much as is there
// when the track ends first), and the data CRC over the mark and the data.
// No data mark: DataCrcOk is nothing. FirstCell is left to the caller. Without
// keepData the bytes are only checked, not kept (a listing of the tracks).
DecodedSector SectorAfterIdField(RecordedBytes& track, const IdField& id, bool keepData = true);

}  // namespace tabulon
