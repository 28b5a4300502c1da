#include "ImageBuilder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

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

struct TrackSector {
    std::uint8_t Number;
    const std::uint8_t* Data;  // 256 bytes
    bool BadCrc;
};

// One track's raw bytes as the controller sees them, at one byte per cell
// (FM bytes not yet doubled), and the offsets of its ID address marks.
struct RawTrack {
    Bytes Bytes_;
    std::vector<std::size_t> IdMarks;
};

RawTrack MakeMfmTrack(std::uint8_t cylinder, std::uint8_t head, std::span<const TrackSector> sectors, int gap2,
                      int gap3) {
    RawTrack track;
    Bytes& out = track.Bytes_;
    Append(out, 80, 0x4E);
    Append(out, 12, 0x00);
    Append(out, 3, 0xC2);
    out.push_back(0xFC);
    Append(out, 50, 0x4E);
    for (const TrackSector& sector : sectors) {
        Append(out, 12, 0x00);
        const std::size_t idStart = out.size();
        Append(out, 3, 0xA1);
        track.IdMarks.push_back(out.size());
        Append(out, {std::uint8_t{0xFE}, cylinder, head, sector.Number, std::uint8_t{0x01}});
        AppendCrc(out, idStart);
        Append(out, static_cast<std::size_t>(gap2), 0x4E);
        Append(out, 12, 0x00);
        const std::size_t dataStart = out.size();
        Append(out, {0xA1, 0xA1, 0xA1, 0xFB});
        Append(out, {sector.Data, kSectorSize});
        AppendCrc(out, dataStart, sector.BadCrc ? 0x5555 : 0);
        Append(out, static_cast<std::size_t>(gap3), 0x4E);
    }
    return track;
}

RawTrack MakeFmTrack(std::uint8_t cylinder, std::uint8_t head, std::span<const TrackSector> sectors, int gap2,
                     int gap3) {
    RawTrack track;
    Bytes& out = track.Bytes_;
    Append(out, 16, 0xFF);
    Append(out, 6, 0x00);
    out.push_back(0xFC);
    Append(out, 11, 0xFF);
    for (const TrackSector& sector : sectors) {
        Append(out, 6, 0x00);
        const std::size_t idStart = out.size();
        track.IdMarks.push_back(idStart);
        Append(out, {std::uint8_t{0xFE}, cylinder, head, sector.Number, std::uint8_t{0x01}});
        AppendCrc(out, idStart);
        Append(out, static_cast<std::size_t>(gap2), 0xFF);
        Append(out, 6, 0x00);
        const std::size_t dataStart = out.size();
        out.push_back(0xFB);
        Append(out, {sector.Data, kSectorSize});
        AppendCrc(out, dataStart, sector.BadCrc ? 0x5555 : 0);
        Append(out, static_cast<std::size_t>(gap3), 0xFF);
    }
    return track;
}

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
    if (systemSector.size() != kSectorSize) throw std::invalid_argument("system sector must be 256 bytes");
    const Bytes filler(kSectorSize, 0xE5);
    const int sides = options.DoubleSided ? 2 : 1;

    std::vector<Bytes> tracks;
    std::size_t trackLength = kDmkTrackLength;
    for (int cylinder = 0; cylinder < options.Tracks; ++cylinder) {
        for (int head = 0; head < sides; ++head) {
            const bool doubleDensity = cylinder == 0 ? options.Track0DoubleDensity : options.OtherTracksDoubleDensity;
            const int count = doubleDensity ? 18 : 10;
            std::vector<TrackSector> sectors;
            for (std::uint8_t number : PhysicalOrder(count, options.Interleave)) {
                const bool system = cylinder == 0 && head == 0 && number == 2;
                sectors.push_back({number, system ? systemSector.data() : filler.data(),
                                   system && options.BadSystemSectorCrc});
            }
            const auto c = static_cast<std::uint8_t>(cylinder);
            const auto h = static_cast<std::uint8_t>(head);
            const int gap2 = options.Gap2 >= 0 ? options.Gap2 : (doubleDensity ? 22 : 11);
            const int gap3 = options.Gap3 >= 0 ? options.Gap3 : (doubleDensity ? 16 : 15);
            RawTrack raw = doubleDensity ? MakeMfmTrack(c, h, sectors, gap2, gap3) : MakeFmTrack(c, h, sectors, gap2, gap3);

            // FM bytes are stored twice unless the image says otherwise.
            const std::size_t scale = (!doubleDensity && !options.SingleDensityUndoubled) ? 2 : 1;
            Bytes track(kIdamTableLength, 0);
            for (std::size_t i = 0; i < raw.IdMarks.size(); ++i) {
                const std::size_t offset = kIdamTableLength + raw.IdMarks[i] * scale;
                PutLe16(track, 2 * i, static_cast<unsigned>(offset) | (doubleDensity ? 0x8000u : 0u));
            }
            for (std::uint8_t byte : raw.Bytes_) Append(track, scale, byte);
            trackLength = std::max(trackLength, track.size() + 32);
            tracks.push_back(std::move(track));
        }
    }

    Bytes image(kDmkHeaderLength, 0);
    image[1] = static_cast<std::uint8_t>(options.Tracks);
    PutLe16(image, 2, static_cast<unsigned>(trackLength));
    image[4] = static_cast<std::uint8_t>((options.DoubleSided ? 0 : 0x10) | (options.SingleDensityUndoubled ? 0x40 : 0));
    for (Bytes& track : tracks) {
        // Gap 4b fills the rest of the track: 4E after MFM, FF after FM.
        const std::uint8_t fill = track.size() > kIdamTableLength && (track[1] & 0x80) ? 0x4E : 0xFF;
        track.resize(trackLength, fill);
        Append(image, track);
    }
    return image;
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

}  // namespace tabulon::images
