#pragma once

#include "Container.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon {

// KryoFlux stream sets: one file per track and side, named <prefix>CC.H.raw
// (cylinder CC, head H: track00.0.raw, track00.1.raw, ...). The image is the
// folder or any one of its files; the others are opened by name beside it, one
// at a time, in the case of the name given (TRACK00.0.RAW: TRACK00.1.RAW). A
// file whose name says no track (standard input) is read alone, as track 0, side 0.
//
// A stream is a run of one-byte codes:
//   0x00-0x07  Flux2: a value of (code << 8) + the next byte
//   0x08-0x0A  Nop1, Nop2, Nop3: skip 1, 2 or 3 bytes (the code included)
//   0x0B       Ovl16: add 65,536 to the next value
//   0x0C       Flux3: a value of the next two bytes, big-endian
//   0x0D       an out-of-band block: type, size (16-bit little-endian), data:
//              1 stream info, 2 index (stream position, sample counter, index
//              counter: 32-bit each), 3 stream end, 4 KryoFlux info (text with
//              "sck=" the sample clock in Hz), 0x0D end of file (no data)
//   0x0E-0xFF  Flux1: the code itself is the value
// Values are sample-clock ticks between transitions (24,027,428.57 Hz unless
// the info says otherwise). The stream position counts the bytes outside the
// blocks; an index block gives the position of the first value after the
// pulse, so index blocks cut the stream into revolutions (before the first and
// after the last, part revolutions, which are left out).
struct KryoFluxHeader {
    std::string Prefix;  // the set's names, before CC.H.raw; empty with Named false
    int Cylinder = 0;    // the track of the file given
    int Side = 0;
    bool Named = false;              // whether its name says its track, and so the set
    std::string Extension = ".raw";  // as the file given spells it: the others are looked up so
};

// A stream file's name split: <prefix>CC.H.raw (".RAW" too); nothing for other names.
struct StreamName {
    std::string Prefix;
    int Cylinder = 0;
    int Side = 0;
    std::string Extension = ".raw";  // in the name's own case
};
std::optional<StreamName> ParseStreamName(std::string_view name);

// A track's file in the set, named as the file given is (TRACK00.0.RAW: TRACK01.0.RAW).
std::string StreamFileName(const KryoFluxHeader& header, int cylinder, int side);

// The set's first track (the lowest, side 0 first) among a folder's names.
std::optional<std::string_view> FirstStream(std::span<const std::string> names);

// The header, when the file starts with a well-formed out-of-band block and its
// first 64 KiB hold nothing a stream cannot.
std::optional<KryoFluxHeader> IdentifyKryoFlux(DiskData& image);

// Opened, its walk meets the track of each file of the set (the file given,
// and those beside it); a file that is there but no stream holds no sectors.
// Each sector is the best of its track's revolutions; the listing counts ID
// fields with a good CRC.
extern const ContainerType kKryoFluxContainer;

}  // namespace tabulon
