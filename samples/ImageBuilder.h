#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// Builders of realistic emulator disk images (DMK, JV3, JV1, HFE, IMD, TD0) whose track 0,
// side 0, sector 2 carries a PDRIVE table. Used by the sample generator and by
// the tests, so that no test needs a binary blob.
namespace tabulon::images {

using Bytes = std::vector<std::uint8_t>;

// One 16-byte PDRIVE slot; only the bytes the drive report reads are named.
struct PdriveSlot {
    std::uint8_t DirectoryStartLump = 17;  // offset 0
    std::uint8_t Flags = 0x07;             // offset 2: TI letter/suffix bits, step rate in bits 0-1
    std::uint8_t TrackCount = 40;          // offset 3
    std::uint8_t SectorsPerTrack = 10;     // offset 4
    std::uint8_t GranulesPerLump = 2;      // offset 5
    std::uint8_t Flags2 = 0x00;            // offset 7: bit 2 gives the TI suffix L
    std::uint8_t DirectoryGranules = 2;    // offset 9
};

inline constexpr std::size_t kSectorSize = 256;

// A 256-byte system sector: the given slots at offsets 0, 16, ... (up to ten),
// the remaining bytes 0, and marker at offset 239.
Bytes MakeSystemSector(std::span<const PdriveSlot> slots, std::uint8_t marker = 0xA5);
Bytes MakeSystemSector(const PdriveSlot& slot, std::uint8_t marker = 0xA5);

// One sector of a track: its number and data (128 << SizeCode bytes, which
// must outlive the track).
struct TrackSector {
    std::uint8_t Number;
    const std::uint8_t* Data;
    bool BadCrc;                // its data CRC spoilt
    std::uint8_t SizeCode = 1;  // 256 bytes
    int IdCylinder = -1;        // what its ID field says, when not the track's own
    int IdHead = -1;
    bool Deleted = false;  // written with a deleted data mark (F8)
};

enum class TrackStyle { Mfm, Fm };  // double or single density

// One track as the controller writes it, one element per byte (FM bytes not
// doubled): gaps, syncs, address marks, ID fields, data and CRCs.
struct RawTrack {
    Bytes Data;
    std::vector<std::size_t> IdMarks;  // where each ID field's FE lies
    std::vector<std::size_t> Marks;    // bytes written with a missing clock (MFM) or a mark clock (FM)
};

// A track as a WD177x/279x controller formats it: index gap and mark, then per
// sector its ID field, gap 2, data mark, data and CRC, and gap 3.
RawTrack MakeTrack(TrackStyle style, std::uint8_t cylinder, std::uint8_t head, std::span<const TrackSector> sectors,
                   int gap2, int gap3);

// A track's bit cells in time order, one element each (1: a flux transition),
// clock and data cells alternating; with repeat 2 every cell is followed by a
// 0 cell, as FM written at the double-density cell rate is.
Bytes EncodeCells(const RawTrack& track, TrackStyle style, int repeat = 1);

struct DmkOptions {
    int Tracks = 40;
    bool DoubleSided = false;
    bool Track0DoubleDensity = true;  // false: FM (single density) track 0
    bool OtherTracksDoubleDensity = true;
    bool SingleDensityUndoubled = false;  // header option bit 6: FM bytes stored once
    int Gap2 = -1;                        // bytes between ID CRC and data sync; -1: 22 (MFM) or 11 (FM)
    int Gap3 = -1;                        // bytes after a sector's data CRC; -1: 16 (MFM) or 15 (FM)
    int Interleave = 1;                   // physical order of the sector numbers on a track
    bool BadSystemSectorCrc = false;      // spoil the data CRC of track 0, sector 2
};

// A DMK image: 16-byte header, per track a 128-byte IDAM pointer table and the
// raw track (gaps, sync, address marks, CRCs). Sectors are numbered from 0;
// 18 per MFM track, 10 per FM track; all but the system sector hold 0xE5.
Bytes BuildDmkImage(const DmkOptions& options, std::span<const std::uint8_t> systemSector);

// One track of a disk given sector by sector: its place, recording and
// sectors in the order they lie (whose data must outlive it).
struct WrittenTrack {
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    bool DoubleDensity = true;
    std::vector<TrackSector> Sectors;
    int Gap2 = -1;  // -1: 22 (MFM) or 11 (FM)
    int Gap3 = -1;  // -1: 16 (MFM) or 15 (FM)
};

// A DMK image of the given tracks, cylinder by cylinder and side 0 before
// side 1, FM bytes stored twice.
Bytes BuildDmkImage(std::span<const WrittenTrack> tracks, bool doubleSided);

struct HfeOptions {
    DmkOptions Disk;             // the tracks, described as for DMK
    bool FmCellsDoubled = true;  // FM at the double-density cell rate, every cell doubled, the
                                 // header saying MFM (as real files do); false: FM at its own rate
    bool Version3 = false;       // "HXCHFEV3", each side opening with opcodes (needs MFM or doubled FM)
};

// An HFE image of the same tracks as BuildDmkImage: a 512-byte header, the
// track list, and per cylinder the bit cells of both sides in 512-byte blocks
// (256 bytes of side 0, then 256 of side 1), least significant bit first.
Bytes BuildHfeImage(const HfeOptions& options, std::span<const std::uint8_t> systemSector);

struct ImdOptions {
    DmkOptions Disk;                       // the tracks, described as for DMK (gaps do not apply)
    bool Compress = true;                  // sectors of one repeated byte as compressed records
    bool SystemSectorUnavailable = false;  // track 0, sector 2's record says its data could not be read
    bool WithMaps = false;                 // give every track a cylinder map and a head map
};

// An IMD image of the same tracks as BuildDmkImage: the ASCII header ending in
// 0x1A, then per track its mode, cylinder, head, sector count, size code, the
// sector numbering map (the optional maps) and one record per sector. A bad
// system-sector CRC becomes a record read with a data error.
Bytes BuildImdImage(const ImdOptions& options, std::span<const std::uint8_t> systemSector);

// TD0 (Teledisk) images, from sectors given one by one.
struct Td0Sector {
    std::uint8_t Cylinder = 0;  // as the ID field says
    std::uint8_t Head = 0;
    std::uint8_t Number = 0;
    std::uint8_t SizeCode = 1;  // 128 << code bytes
    std::uint8_t Flags = 0;     // 0x02 read with a CRC error; 0x10 or 0x20: no data recorded
    Bytes Data;                 // 128 << SizeCode bytes, unless the flags say there are none
    Bytes Block;                // when given: the data block as stored (encoding byte first)
                                // instead of the builder's encoding of Data, whose CRC it keeps
};

struct Td0Track {
    std::uint8_t Cylinder = 0;  // where the track lies
    std::uint8_t Side = 0;
    bool SingleDensity = false;
    std::vector<Td0Sector> Sectors;
};

struct Td0Options {
    DmkOptions Disk;                  // the tracks, described as for DMK (gaps do not apply)
    bool Advanced = false;            // "td": everything after the header compressed with LZHUF
    bool Comment = true;              // a comment block after the header
    bool FmInHeader = false;          // FM told only by the header's data rate, as older files do
                                      // (every track must be FM); otherwise by each track's head byte
    bool SystemSectorNoData = false;  // track 0, sector 2 recorded with an ID but no data
};

// A TD0 image of the same tracks as BuildDmkImage: the 12-byte header, the
// comment block, per track its header and per sector its header and data block,
// each sector stored as Teledisk stores it (a repeated 2-byte pattern when it is
// one, runs when they are shorter, else as it is); the end mark. A bad
// system-sector CRC becomes a sector read with a CRC error.
Bytes BuildTd0Image(const Td0Options& options, std::span<const std::uint8_t> systemSector);

// The same from the given tracks (options.Disk and SystemSectorNoData are not used).
Bytes BuildTd0Image(std::span<const Td0Track> tracks, const Td0Options& options);

// LZHUF as Teledisk's advanced compression uses it: LZSS over a 4,096-byte ring
// preset to spaces, matches of 3 to 60 bytes, adaptive Huffman codes for the
// literals and lengths, a fixed code for the upper bits of the distances.
Bytes LzhufCompress(std::span<const std::uint8_t> data);

struct Jv3Sector {
    std::uint8_t Track = 0;
    std::uint8_t Sector = 0;
    std::uint8_t Flags = 0;  // 0x80 double density, 0x10 side 1, bits 0-1 size code
    Bytes Data;              // as many bytes as the size code says
};

// A JV3 image: 2901 header entries (the given sectors, then free entries
// FF FF FF), the write-protect byte at 8703, and the sectors' data in entry order.
Bytes BuildJv3Image(std::span<const Jv3Sector> sectors, bool writeProtected = false);

// A single-sided 256-byte-sector JV3 disk of the given tracks, sectors numbered
// from 0, with systemSector as track 0, sector 2.
std::vector<Jv3Sector> StandardJv3Sectors(int tracks, int sectorsPerTrack, bool doubleDensity,
                                          std::span<const std::uint8_t> systemSector);

// A JV1 image: tracks of ten 256-byte sectors, no header; systemSector at offset 512.
Bytes BuildJv1Image(int tracks, std::span<const std::uint8_t> systemSector);

}  // namespace tabulon::images
