#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"
#include "TrackStarts.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tabulon {

// TD0 (Teledisk): sectors as read, track by track, with the IDs they carried.
//
//   header, 12 bytes, never compressed:
//     0   "TD" normal, "td" advanced compression (everything after the header
//         is LZHUF-compressed as one stream: see LzhufDecoder)
//     2   volume sequence (0: the first file of a set), 3 check signature
//     4   version times ten (21: 2.1; "td" before 20 used another compression)
//     5   data rate: bits 0-2 the rate, bit 7 FM (single density) everywhere
//     6   drive type, 7 stepping: bits 0-1 the step, bit 7 a comment block follows
//     8   DOS allocation flag, 9 sides (1: one, anything else: two)
//     10  CRC of bytes 0-9, little-endian
//   comment block, when flagged: CRC of the rest of the block (2 bytes), the
//     length of the text (2), year - 1900, month 0-11, day, hour, minute, second,
//     then the text
//   per track: sector count (0xFF: the end of the image), cylinder, head (bit 0
//     the side, bit 7 FM), the low byte of the CRC of those three
//   per sector: cylinder, head, sector number, size code (128 << code bytes),
//     flags, the low byte of the CRC of the sector's data
//       flags: 0x01 duplicate, 0x02 read with a CRC error, 0x04 deleted data,
//              0x10 skipped (DOS allocation), 0x20 an ID but no data,
//              0x40 data but no ID (a header Teledisk made up)
//     and, unless flagged 0x10 or 0x20 or the size code is above 7, its data:
//       length of what follows (2 bytes), encoding (1), the encoded bytes:
//         0  the sector's bytes
//         1  entries of a count (2 bytes) and a 2-byte pattern repeated count times
//         2  runs: 0, n, then n bytes as they are; or k (1-255), n, then
//            2k bytes repeated n times
//       until the sector is whole.
// All CRCs: polynomial 0xA097, from 0, highest bit first.
class LzhufDecoder;

// Where a walk can go on from at a track: how far into the bytes after the
// header, and with advanced compression the decompression as it stood there.
struct Td0Resume {
    std::int64_t Read = 0;
    std::shared_ptr<const LzhufDecoder> Decoder;
};

struct Td0Header {
    bool Advanced = false;       // "td": the rest of the file is compressed
    std::uint8_t Sequence = 0;   // a later file of a set starts in the middle of the stream
    std::uint8_t Version = 0;    // times ten
    std::uint8_t DataRate = 0;   // bit 7: every track is FM
    std::uint8_t DriveType = 0;  // as Teledisk numbers them (5: 8-inch)
    std::uint8_t Stepping = 0;   // bit 7: a comment block follows the header
    std::uint8_t Sides = 0;
    SharedTrackStarts<Td0Resume> Starts = std::make_shared<TrackStarts<Td0Resume>>();  // learnt by walks
};

// The header, when the file opens with "TD" or "td" and the header's CRC matches.
std::optional<Td0Header> IdentifyTd0(DiskData& image);

// Opened, its walk meets the tracks in the order they are recorded, up to the
// end mark; it also ends at a CRC that does not match, a record cut short or
// data that does not make exactly one sector, and, with advanced compression,
// where the stream ends. A later file of a set and the older advanced
// compression give no tracks. A track lists the IDs of its sectors in the order
// they lie (those of no data too; not those whose size code is above 7).
//
// A sector is the first on the first track recorded at its place whose ID
// names it and which holds data; one read with a CRC error is found with
// DataCrcOk false. FileOffset is the sector's first data byte: its own first
// byte when stored as it is, else the first byte after the encoding byte. With
// advanced compression it is 12 plus that byte's place in the decompressed
// stream: the offset it has in the same image stored without advanced compression.
extern const ContainerType kTd0Container;

}  // namespace tabulon
