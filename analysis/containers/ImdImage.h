#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"
#include "TrackStarts.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// IMD (ImageDisk): sectors as read, track by track, with the IDs they carried.
//
//   "IMD v.vv: date time", a free comment, then 0x1A
//   per track:
//     mode          0-2 FM at 500, 300, 250 kbit/s; 3-5 MFM at the same rates
//     cylinder
//     head          bit 0 the head; bit 7 a cylinder map follows, bit 6 a head map
//     sector count
//     size code     0-6: 128 << code bytes per sector; 0xFF: a size table follows
//     sector numbering map    one byte per sector, in the order they lie
//     cylinder map, head map  when flagged: each sector's own cylinder, head
//     size table    when the size code is 0xFF: a little-endian word per sector
//     one record per sector: a type byte, then
//         0         nothing: the data was unavailable
//         1 3 5 7   the sector's bytes
//         2 4 6 8   one byte that fills the whole sector (compressed)
//       3 4 and 7 8 are deleted data; 5 6 and 7 8 were read with a data error.
struct ImdHeader {
    std::int64_t FirstTrack = 0;  // file offset of the first track's mode byte
    SharedTrackStarts<std::int64_t> Starts = std::make_shared<TrackStarts<std::int64_t>>();  // learnt by walks
};

// The header, when the file opens with "IMD ", the comment ends with 0x1A and
// a well-formed first track follows.
std::optional<ImdHeader> IdentifyImd(DiskData& image);

// Opened, its walk meets the tracks in the order the file holds them, up to
// its end or the first malformed one. A sector is the first whose ID names it
// and whose record holds data, looked for in every track recorded at its place;
// one read with an error is found with DataCrcOk false. FileOffset is the
// record's first data byte (for a compressed record, its one byte).
extern const ContainerType kImdContainer;

}  // namespace tabulon
