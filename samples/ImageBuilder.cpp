#include "ImageBuilder.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

namespace tabulon::images {

namespace {

void Append(Bytes& out, std::size_t count, std::uint8_t value) { out.insert(out.end(), count, value); }
void Append(Bytes& out, std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void Append(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }

// CRC-16/CCITT (polynomial 0x1021, from 0xFFFF), table-driven: the builder keeps
// its own, so that images made here check the analysis instead of sharing its code.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned value = n << 8;
        for (int bit = 0; bit < 8; ++bit) value = (value << 1) ^ ((value & 0x8000u) ? 0x1021u : 0u);
        table[n] = static_cast<std::uint16_t>(value);
    }
    return table;
}();

std::uint16_t Crc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFFu]);
    }
    return crc;
}

// Bytes a JV3 entry's sector takes in the file.
std::size_t Jv3Length(std::uint8_t track, std::uint8_t flags) {
    const unsigned code = flags & 3u;
    if (track == 0xFF) return code == 0 ? 512 : code == 1 ? 1024 : code == 2 ? 128 : 256;
    return code == 0 ? 256 : code == 1 ? 128 : code == 2 ? 1024 : 512;
}

void AppendCrc(Bytes& out, std::size_t from, std::uint16_t spoil = 0) {
    const auto crc = static_cast<std::uint16_t>(Crc({out.data() + from, out.size() - from}) ^ spoil);
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
}

void PutLe16(Bytes& out, std::size_t at, unsigned value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

constexpr std::size_t kDmkHeaderLength = 16;
constexpr std::size_t kIdamTableLength = 128;
constexpr std::size_t kDmkTrackLength = 0x1900;  // 6400, usual for 5.25" tracks

// The layout of a track as a WD177x/279x controller formats it, per recording.
struct TrackLayoutOf {
    std::uint8_t Gap;               // the gap filler: 4E in MFM, FF in FM
    std::size_t IndexGap;           // gap 4a before the index mark
    std::size_t Sync;               // 00 bytes before every mark
    std::size_t AfterIndex;         // gap 1 after the index mark
    std::size_t MissingClockSyncs;  // MFM: the A1 (C2 before the index mark) syncs of a mark
};
constexpr TrackLayoutOf kMfmLayout{0x4E, 80, 12, 50, 3};
constexpr TrackLayoutOf kFmLayout{0xFF, 16, 6, 11, 0};

// Appends an address mark (FC index, FE ID, FB data): in MFM after its syncs
// with a missing clock, in FM as the mark byte with its mark clock. Returns
// where the mark begins, which is where its field's CRC starts.
std::size_t PutMark(RawTrack& track, const TrackLayoutOf& layout, std::uint8_t mark) {
    Bytes& out = track.Data;
    const std::size_t start = out.size();
    for (std::size_t n = 0; n < layout.MissingClockSyncs; ++n) {
        track.Marks.push_back(out.size());
        out.push_back(mark == 0xFC ? 0xC2 : 0xA1);
    }
    if (layout.MissingClockSyncs == 0) track.Marks.push_back(out.size());
    out.push_back(mark);
    return start;
}

}  // namespace

RawTrack MakeTrack(TrackStyle style, std::uint8_t cylinder, std::uint8_t head, std::span<const TrackSector> sectors,
                   int gap2, int gap3) {
    const TrackLayoutOf& layout = style == TrackStyle::Mfm ? kMfmLayout : kFmLayout;
    RawTrack track;
    Bytes& out = track.Data;
    Append(out, layout.IndexGap, layout.Gap);
    Append(out, layout.Sync, 0x00);
    PutMark(track, layout, 0xFC);
    Append(out, layout.AfterIndex, layout.Gap);
    for (const TrackSector& sector : sectors) {
        Append(out, layout.Sync, 0x00);
        const std::size_t idStart = PutMark(track, layout, 0xFE);
        track.IdMarks.push_back(out.size() - 1);
        const auto idCylinder = static_cast<std::uint8_t>(sector.IdCylinder >= 0 ? sector.IdCylinder : cylinder);
        const auto idHead = static_cast<std::uint8_t>(sector.IdHead >= 0 ? sector.IdHead : head);
        Append(out, {idCylinder, idHead, sector.Number, sector.SizeCode});
        AppendCrc(out, idStart);
        Append(out, static_cast<std::size_t>(gap2), layout.Gap);
        Append(out, layout.Sync, 0x00);
        const std::size_t dataStart = PutMark(track, layout, sector.Deleted ? 0xF8 : 0xFB);
        Append(out, {sector.Data, std::size_t{128} << (sector.SizeCode & 3u)});
        AppendCrc(out, dataStart, sector.BadCrc ? 0x5555 : 0);
        Append(out, static_cast<std::size_t>(gap3), layout.Gap);
    }
    return track;
}

Bytes EncodeCells(const RawTrack& track, TrackStyle style, int repeat) {
    std::vector<bool> mark(track.Data.size(), false);
    for (std::size_t at : track.Marks) {
        if (at < mark.size()) mark[at] = true;  // a track cut short keeps the marks before its end
    }
    Bytes cells;
    cells.reserve(track.Data.size() * 16 * static_cast<std::size_t>(std::max(1, repeat)));
    const auto put = [&](unsigned word) {  // 16 cells, the first highest; each followed by repeat - 1 zeros
        for (int n = 15; n >= 0; --n) {
            cells.push_back(static_cast<std::uint8_t>((word >> n) & 1u));
            for (int r = 1; r < repeat; ++r) cells.push_back(0);
        }
    };
    unsigned previous = 0;  // the last data bit written (MFM clocks depend on it)
    for (std::size_t n = 0; n < track.Data.size(); ++n) {
        const std::uint8_t byte = track.Data[n];
        unsigned word = 0;
        if (style == TrackStyle::Mfm) {
            for (int bit = 7; bit >= 0; --bit) {
                const unsigned data = (byte >> bit) & 1u;
                word = (word << 2) | ((previous == 0 && data == 0) ? 2u : 0u) | data;
                previous = data;
            }
            if (mark[n]) word = byte == 0xA1 ? 0x4489 : 0x5224;  // A1 or C2 without one clock
        } else {
            const unsigned clock = !mark[n] ? 0xFF : byte == 0xFC ? 0xD7 : 0xC7;
            for (int bit = 7; bit >= 0; --bit) word = (word << 2) | (((clock >> bit) & 1u) << 1) | ((byte >> bit) & 1u);
        }
        put(word);
    }
    return cells;
}

namespace {

// Sector numbers 0..count-1 in physical order for the given interleave.
std::vector<std::uint8_t> PhysicalOrder(int count, int interleave) {
    std::vector<std::uint8_t> order(static_cast<std::size_t>(count), 0xFF);
    std::size_t slot = 0;
    for (int number = 0; number < count; ++number) {
        while (order[slot] != 0xFF) slot = (slot + 1) % order.size();
        order[slot] = static_cast<std::uint8_t>(number);
        slot = (slot + static_cast<std::size_t>(std::max(1, interleave))) % order.size();
    }
    return order;
}

// One track of a disk described by DmkOptions: its sectors in physical order.
struct DescribedTrack {
    std::uint8_t Cylinder;
    std::uint8_t Head;
    bool DoubleDensity;
    std::vector<TrackSector> Sectors;
    int Gap2;
    int Gap3;

    TrackStyle Style() const { return DoubleDensity ? TrackStyle::Mfm : TrackStyle::Fm; }
    RawTrack Raw() const { return MakeTrack(Style(), Cylinder, Head, Sectors, Gap2, Gap3); }
};

// The tracks BuildDmkImage writes, cylinder by cylinder, side 0 then side 1;
// filler (256 bytes of 0xE5) must outlive them.
std::vector<DescribedTrack> DescribeTracks(const DmkOptions& options, std::span<const std::uint8_t> systemSector,
                                           const Bytes& filler) {
    if (systemSector.size() != kSectorSize) throw std::invalid_argument("system sector must be 256 bytes");
    std::vector<DescribedTrack> tracks;
    for (int cylinder = 0; cylinder < options.Tracks; ++cylinder) {
        for (int head = 0; head < (options.DoubleSided ? 2 : 1); ++head) {
            const bool doubleDensity = cylinder == 0 ? options.Track0DoubleDensity : options.OtherTracksDoubleDensity;
            DescribedTrack track{static_cast<std::uint8_t>(cylinder),
                                 static_cast<std::uint8_t>(head),
                                 doubleDensity,
                                 {},
                                 options.Gap2 >= 0 ? options.Gap2 : (doubleDensity ? 22 : 11),
                                 options.Gap3 >= 0 ? options.Gap3 : (doubleDensity ? 16 : 15)};
            for (std::uint8_t number : PhysicalOrder(doubleDensity ? 18 : 10, options.Interleave)) {
                const bool system = cylinder == 0 && head == 0 && number == 2;
                track.Sectors.push_back(
                    {number, system ? systemSector.data() : filler.data(), system && options.BadSystemSectorCrc});
            }
            tracks.push_back(std::move(track));
        }
    }
    return tracks;
}

// Bit cells packed the way HFE stores them: eight to a byte, the first in time lowest.
class CellWriter {
public:
    void Put(unsigned cell) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | ((cell & 1u) << used_));
        used_ = (used_ + 1) % 8;
    }
    void PutWord(unsigned word, int cells) {  // the first cell highest
        for (int n = cells - 1; n >= 0; --n) Put((word >> n) & 1u);
    }
    void PutByte(std::uint8_t byte) {  // a whole file byte, as it lies in the file
        for (unsigned n = 0; n < 8; ++n) Put((unsigned{byte} >> n) & 1u);
    }
    bool Aligned() const { return used_ == 0; }
    Bytes& bytes() { return bytes_; }

private:
    Bytes bytes_;
    int used_ = 0;
};

std::uint8_t BitReversed(std::uint8_t byte) {
    unsigned out = 0;
    for (unsigned n = 0; n < 8; ++n) out |= ((unsigned{byte} >> n) & 1u) << (7 - n);
    return static_cast<std::uint8_t>(out);
}

// One side's HFE bytes: the raw track as MFM cells, or as FM cells (doubled or
// not), padded with gap bytes to a whole revolution at 250 kbit/s (125 for FM
// at its own rate).
Bytes HfeSide(const DescribedTrack& track, const HfeOptions& options) {
    constexpr std::size_t kRevolutionBytes = 6250;  // 200 ms of double-density data
    RawTrack raw = track.Raw();
    const std::size_t revolution = track.DoubleDensity ? kRevolutionBytes : kRevolutionBytes / 2;
    if (raw.Data.size() < revolution) raw.Data.resize(revolution, track.DoubleDensity ? 0x4E : 0xFF);
    const int repeat = !track.DoubleDensity && options.FmCellsDoubled ? 2 : 1;
    const Bytes stream = EncodeCells(raw, track.Style(), repeat);

    // Version 3: opcodes at the start, then again at the first byte boundary
    // after every 500 bytes, in the middle of sectors too, where a reader that
    // took them for cells would lose the data's CRC.
    CellWriter cells;
    const auto opcodes = [&](bool atIndex) {
        if (atIndex) cells.PutByte(0x8F);  // SETINDEX
        cells.PutByte(0x0F);               // NOP
        cells.PutByte(0x4F);               // SETBITRATE, and its value
        cells.PutByte(BitReversed(72));
        if (atIndex) cells.PutByte(0x2F);  // RAND: a byte of weak cells
        cells.PutByte(0xCF);               // SKIPBITS: the next byte's first three cells are not part of the track
        cells.PutByte(BitReversed(3));
        cells.PutWord(0x7, 3);
    };
    if (options.Version3) opcodes(true);
    std::size_t nextOpcodes = 500;
    for (const std::uint8_t cell : stream) {
        if (options.Version3 && cells.Aligned() && cells.bytes().size() >= nextOpcodes) {
            opcodes(false);
            nextOpcodes += 500;
        }
        cells.Put(cell);
    }
    return std::move(cells.bytes());
}

// A DMK image of tracks: the header, then per track its IDAM table and raw
// bytes, FM bytes stored twice unless undoubled.
Bytes WriteDmk(std::span<const WrittenTrack> written, int cylinders, bool doubleSided, bool undoubled) {
    std::vector<Bytes> tracks;
    std::size_t trackLength = kDmkTrackLength;
    for (const WrittenTrack& described : written) {
        const bool doubleDensity = described.DoubleDensity;
        const TrackStyle style = doubleDensity ? TrackStyle::Mfm : TrackStyle::Fm;
        const int gap2 = described.Gap2 >= 0 ? described.Gap2 : (doubleDensity ? 22 : 11);
        const int gap3 = described.Gap3 >= 0 ? described.Gap3 : (doubleDensity ? 16 : 15);
        const RawTrack raw = MakeTrack(style, described.Cylinder, described.Head, described.Sectors, gap2, gap3);
        // FM bytes are stored twice unless the image says otherwise.
        const std::size_t scale = (!doubleDensity && !undoubled) ? 2 : 1;
        Bytes track(kIdamTableLength, 0);
        for (std::size_t i = 0; i < raw.IdMarks.size(); ++i) {
            const std::size_t offset = kIdamTableLength + raw.IdMarks[i] * scale;
            PutLe16(track, 2 * i, static_cast<unsigned>(offset) | (doubleDensity ? 0x8000u : 0u));
        }
        for (std::uint8_t byte : raw.Data) Append(track, scale, byte);
        trackLength = std::max(trackLength, track.size() + 32);
        tracks.push_back(std::move(track));
    }

    Bytes image(kDmkHeaderLength, 0);
    image[1] = static_cast<std::uint8_t>(cylinders);
    PutLe16(image, 2, static_cast<unsigned>(trackLength));
    image[4] = static_cast<std::uint8_t>((doubleSided ? 0 : 0x10) | (undoubled ? 0x40 : 0));
    for (Bytes& track : tracks) {
        // Gap 4b fills the rest of the track: 4E after MFM, FF after FM.
        const std::uint8_t fill = track.size() > kIdamTableLength && (track[1] & 0x80) ? 0x4E : 0xFF;
        track.resize(trackLength, fill);
        Append(image, track);
    }
    return image;
}

}  // namespace

Bytes MakeSystemSector(std::span<const PdriveSlot> slots, std::uint8_t marker) {
    Bytes sector(kSectorSize, 0);
    for (std::size_t i = 0; i < slots.size() && i < 10; ++i) {
        const PdriveSlot& slot = slots[i];
        std::uint8_t* at = sector.data() + 16 * i;
        at[0] = slot.DirectoryStartLump;
        at[2] = slot.Flags;
        at[3] = slot.TrackCount;
        at[4] = slot.SectorsPerTrack;
        at[5] = slot.GranulesPerLump;
        at[7] = slot.Flags2;
        at[9] = slot.DirectoryGranules;
    }
    sector[239] = marker;
    return sector;
}

Bytes MakeSystemSector(const PdriveSlot& slot, std::uint8_t marker) { return MakeSystemSector({&slot, 1}, marker); }

Bytes BuildDmkImage(const DmkOptions& options, std::span<const std::uint8_t> systemSector) {
    const Bytes filler(kSectorSize, 0xE5);
    std::vector<WrittenTrack> tracks;
    for (DescribedTrack& described : DescribeTracks(options, systemSector, filler)) {
        tracks.push_back({described.Cylinder, described.Head, described.DoubleDensity, std::move(described.Sectors),
                          described.Gap2, described.Gap3});
    }
    return WriteDmk(tracks, options.Tracks, options.DoubleSided, options.SingleDensityUndoubled);
}

Bytes BuildDmkImage(std::span<const WrittenTrack> tracks, bool doubleSided) {
    int cylinders = 0;
    for (const WrittenTrack& track : tracks) cylinders = std::max(cylinders, track.Cylinder + 1);
    return WriteDmk(tracks, cylinders, doubleSided, false);
}

Bytes BuildJv3Image(std::span<const Jv3Sector> sectors, bool writeProtected) {
    constexpr std::size_t kEntries = 2901;
    if (sectors.size() > kEntries) throw std::invalid_argument("too many JV3 sectors");
    Bytes image(kEntries * 3 + 1, 0xFF);
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        image[3 * i] = sectors[i].Track;
        image[3 * i + 1] = sectors[i].Sector;
        image[3 * i + 2] = sectors[i].Flags;
    }
    image[kEntries * 3] = writeProtected ? 0x00 : 0xFF;
    for (const Jv3Sector& sector : sectors) {
        Bytes data = sector.Data;
        data.resize(Jv3Length(sector.Track, sector.Flags), 0xE5);
        Append(image, data);
    }
    return image;
}

std::vector<Jv3Sector> StandardJv3Sectors(int tracks, int sectorsPerTrack, bool doubleDensity,
                                          std::span<const std::uint8_t> systemSector) {
    std::vector<Jv3Sector> sectors;
    for (int track = 0; track < tracks; ++track) {
        for (int number = 0; number < sectorsPerTrack; ++number) {
            Jv3Sector sector{static_cast<std::uint8_t>(track), static_cast<std::uint8_t>(number),
                             static_cast<std::uint8_t>(doubleDensity ? 0x80 : 0x00), Bytes(kSectorSize, 0xE5)};
            if (track == 0 && number == 2) sector.Data.assign(systemSector.begin(), systemSector.end());
            sectors.push_back(std::move(sector));
        }
    }
    return sectors;
}

Bytes BuildJv1Image(int tracks, std::span<const std::uint8_t> systemSector) {
    Bytes image(static_cast<std::size_t>(tracks) * 10 * kSectorSize, 0xE5);
    std::copy(systemSector.begin(), systemSector.end(), image.begin() + 2 * kSectorSize);
    return image;
}

Bytes BuildHfeImage(const HfeOptions& options, std::span<const std::uint8_t> systemSector) {
    if (options.Version3 && !options.FmCellsDoubled) throw std::invalid_argument("HFE v3 needs doubled FM");
    const Bytes filler(kSectorSize, 0xE5);
    const std::vector<DescribedTrack> tracks = DescribeTracks(options.Disk, systemSector, filler);
    const std::size_t sides = options.Disk.DoubleSided ? 2 : 1;
    const bool anyMfm = options.Disk.Track0DoubleDensity || options.Disk.OtherTracksDoubleDensity;
    const bool allMfm =
        options.Disk.Track0DoubleDensity && (options.Disk.OtherTracksDoubleDensity || options.Disk.Tracks == 1);

    constexpr std::size_t kBlock = 512;
    Bytes image(kBlock, 0xFF);
    const std::string_view signature = options.Version3 ? "HXCHFEV3" : "HXCPICFE";
    std::copy(signature.begin(), signature.end(), image.begin());
    image[8] = 0;
    image[9] = static_cast<std::uint8_t>(options.Disk.Tracks);
    image[10] = static_cast<std::uint8_t>(sides);
    image[11] = (allMfm || options.FmCellsDoubled) ? 0x00 : 0x02;  // ISO MFM, or ISO FM
    PutLe16(image, 12, (anyMfm || options.FmCellsDoubled) ? 250 : 125);
    PutLe16(image, 14, 300);
    image[16] = 0x07;  // generic Shugart drive
    image[17] = 0x01;
    PutLe16(image, 18, 1);  // the track list in block 1

    const std::size_t listBlocks = (4 * static_cast<std::size_t>(options.Disk.Tracks) + kBlock - 1) / kBlock;
    Bytes list(listBlocks * kBlock, 0xFF);
    Bytes data;
    for (std::size_t cylinder = 0; cylinder * sides < tracks.size(); ++cylinder) {
        std::vector<Bytes> side;
        for (std::size_t head = 0; head < sides; ++head) {
            const DescribedTrack& track = tracks[cylinder * sides + head];
            side.push_back(HfeSide(track, options));
        }
        std::size_t length = 0;
        for (const Bytes& one : side) length = std::max(length, one.size());
        const std::size_t blocks = (length + 255) / 256;
        PutLe16(list, 4 * cylinder, static_cast<unsigned>(1 + listBlocks + data.size() / kBlock));
        PutLe16(list, 4 * cylinder + 2, static_cast<unsigned>(2 * length));
        for (std::size_t block = 0; block < blocks; ++block) {
            for (std::size_t head = 0; head < 2; ++head) {
                Bytes chunk(256, 0);
                if (head < sides) {
                    const Bytes& one = side[head];
                    const std::size_t from = std::min(one.size(), block * 256);
                    std::copy(one.begin() + static_cast<std::ptrdiff_t>(from),
                              one.begin() + static_cast<std::ptrdiff_t>(std::min(one.size(), from + 256)),
                              chunk.begin());
                }
                Append(data, chunk);
            }
        }
    }
    Append(image, list);
    Append(image, data);
    return image;
}

Bytes BuildImdImage(const ImdOptions& options, std::span<const std::uint8_t> systemSector) {
    const Bytes filler(kSectorSize, 0xE5);
    const std::string_view comment = "IMD 1.18: 07/12/2026 10:00:00\r\nTabulon test image\r\n";
    Bytes image(comment.size() + 1, 0x1A);  // the comment ends with 0x1A
    std::copy(comment.begin(), comment.end(), image.begin());
    for (const DescribedTrack& track : DescribeTracks(options.Disk, systemSector, filler)) {
        image.push_back(track.DoubleDensity ? 5 : 2);  // MFM or FM at 250 kbit/s
        image.push_back(track.Cylinder);
        image.push_back(static_cast<std::uint8_t>(track.Head | (options.WithMaps ? 0xC0 : 0x00)));
        image.push_back(static_cast<std::uint8_t>(track.Sectors.size()));
        image.push_back(1);  // 256 bytes per sector
        for (const TrackSector& sector : track.Sectors) image.push_back(sector.Number);
        if (options.WithMaps) {
            Append(image, track.Sectors.size(), track.Cylinder);
            Append(image, track.Sectors.size(), track.Head);
        }
        for (const TrackSector& sector : track.Sectors) {
            const bool system = track.Cylinder == 0 && track.Head == 0 && sector.Number == 2;
            if (system && options.SystemSectorUnavailable) {
                image.push_back(0);
                continue;
            }
            const std::span<const std::uint8_t> data(sector.Data, kSectorSize);
            const bool repeated = std::all_of(data.begin(), data.end(), [&](std::uint8_t b) { return b == data[0]; });
            const std::uint8_t error = sector.BadCrc ? 4 : 0;  // 5 and 6: read with a data error
            if (options.Compress && repeated) {
                Append(image, {static_cast<std::uint8_t>(2 + error), data[0]});
            } else {
                image.push_back(static_cast<std::uint8_t>(1 + error));
                Append(image, data);
            }
        }
    }
    return image;
}

namespace {

// Teledisk's CRC: polynomial 0xA097, from 0, highest bit first.
std::uint16_t Td0Crc(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0) {
    for (const std::uint8_t byte : bytes) {
        unsigned value = crc ^ (unsigned{byte} << 8);
        for (int bit = 0; bit < 8; ++bit) value = (value & 0x8000u) ? (value << 1) ^ 0xA097u : value << 1;
        crc = static_cast<std::uint16_t>(value);
    }
    return crc;
}

void AppendLe16(Bytes& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// A sector's data block after its length: the encoding byte and the encoded bytes.
Bytes EncodeTd0Sector(std::span<const std::uint8_t> data) {
    const auto wordAt = [&](std::size_t at, std::size_t from) {
        return data[at] == data[from] && data[at + 1] == data[from + 1];
    };
    // One 2-byte pattern throughout.
    bool pattern = data.size() % 2 == 0;
    for (std::size_t at = 2; pattern && at < data.size(); at += 2) pattern = wordAt(at, 0);
    if (pattern) {
        Bytes block{1};
        AppendLe16(block, data.size() / 2);
        Append(block, {data[0], data[1]});
        return block;
    }
    // Runs: four or more repeats of a 2-byte pattern as one fragment, the rest as
    // literal fragments, each of at most 255.
    Bytes runs{2};
    Bytes literal;
    const auto flush = [&] {
        for (std::size_t from = 0; from < literal.size(); from += 255) {
            const std::size_t count = std::min<std::size_t>(255, literal.size() - from);
            Append(runs, {0, static_cast<std::uint8_t>(count)});
            Append(runs, std::span(literal).subspan(from, count));
        }
        literal.clear();
    };
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t repeats = 1;
        while (at + 2 * repeats + 1 < data.size() && repeats < 255 && wordAt(at + 2 * repeats, at)) ++repeats;
        if (at + 1 < data.size() && repeats >= 4) {
            flush();
            Append(runs, {1, static_cast<std::uint8_t>(repeats), data[at], data[at + 1]});
            at += 2 * repeats;
        } else {
            literal.push_back(data[at++]);
        }
    }
    flush();
    if (runs.size() - 1 < data.size()) return runs;
    Bytes raw{0};
    Append(raw, data);
    return raw;
}

}  // namespace

Bytes BuildTd0Image(std::span<const Td0Track> tracks, const Td0Options& options) {
    Bytes body;
    if (options.Comment) {
        const std::string_view text = "Tabulon test image";
        Bytes block{0, 0};
        AppendLe16(block, text.size() + 1);
        Append(block, {126, 6, 12, 10, 0, 0});  // 12 July 2026, 10:00:00
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
        PutLe16(block, 0, Td0Crc(std::span(block).subspan(2)));
        Append(body, block);
    }
    int sides = 1;
    for (const Td0Track& track : tracks) {
        if (track.Side != 0) sides = 2;
        const std::size_t head = body.size();
        Append(body, {static_cast<std::uint8_t>(track.Sectors.size()), track.Cylinder,
                      static_cast<std::uint8_t>(track.Side | (track.SingleDensity && !options.FmInHeader ? 0x80 : 0))});
        body.push_back(static_cast<std::uint8_t>(Td0Crc(std::span(body).subspan(head)) & 0xFF));
        for (const Td0Sector& sector : track.Sectors) {
            const bool hasData = (sector.Flags & 0x30) == 0;
            Bytes id{sector.Cylinder, sector.Head, sector.Number, sector.SizeCode, sector.Flags};
            if (hasData && sector.Block.empty() && sector.Data.size() != (std::size_t{128} << sector.SizeCode)) {
                throw std::invalid_argument("TD0 sector data does not match its size code");
            }
            // The CRC of the data, or with no data that of the ID's first five bytes.
            id.push_back(static_cast<std::uint8_t>(Td0Crc(hasData ? std::span(sector.Data) : std::span(id)) & 0xFF));
            Append(body, id);
            if (!hasData) continue;
            const Bytes block = sector.Block.empty() ? EncodeTd0Sector(sector.Data) : sector.Block;
            AppendLe16(body, block.size());
            Append(body, block);
        }
    }
    Append(body, {0xFF, 0, 0, 0});  // the end mark, in a whole track header

    Bytes image = {static_cast<std::uint8_t>(options.Advanced ? 't' : 'T'),
                   static_cast<std::uint8_t>(options.Advanced ? 'd' : 'D'),
                   0,                                                            // the first file of a set
                   0x2A,                                                         // the set's check signature
                   21,                                                           // version 2.1
                   static_cast<std::uint8_t>(options.FmInHeader ? 0x80 : 0x00),  // 250 kbit/s
                   1,                                                            // a 5.25-inch drive
                   static_cast<std::uint8_t>(options.Comment ? 0x80 : 0x00),     // single steps
                   0,
                   static_cast<std::uint8_t>(sides)};
    AppendLe16(image, Td0Crc(image));
    Append(image, options.Advanced ? LzhufCompress(body) : body);
    return image;
}

Bytes BuildTd0Image(const Td0Options& options, std::span<const std::uint8_t> systemSector) {
    if (options.FmInHeader && (options.Disk.Track0DoubleDensity || options.Disk.OtherTracksDoubleDensity)) {
        throw std::invalid_argument("FM in the TD0 header needs an all-FM disk");
    }
    const Bytes filler(kSectorSize, 0xE5);
    std::vector<Td0Track> tracks;
    for (const DescribedTrack& described : DescribeTracks(options.Disk, systemSector, filler)) {
        Td0Track track{described.Cylinder, described.Head, !described.DoubleDensity, {}};
        for (const TrackSector& sector : described.Sectors) {
            const bool system = described.Cylinder == 0 && described.Head == 0 && sector.Number == 2;
            Td0Sector one{described.Cylinder, described.Head, sector.Number, 1, 0, {}, {}};
            if (system && options.SystemSectorNoData) {
                one.Flags = 0x20;
            } else {
                one.Flags = sector.BadCrc ? 0x02 : 0x00;
                one.Data.assign(sector.Data, sector.Data + kSectorSize);
            }
            track.Sectors.push_back(std::move(one));
        }
        tracks.push_back(std::move(track));
    }
    return BuildTd0Image(tracks, options);
}

}  // namespace tabulon::images
