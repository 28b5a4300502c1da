#include "Td0Image.h"

#include "Crc16.h"
#include "ImageReader.h"
#include "LzhufDecoder.h"

#include <algorithm>
#include <array>

namespace tabulon {

namespace {

constexpr std::int64_t kHeaderLength = 12;
constexpr std::size_t kHeaderCrcStart = 10;
constexpr std::uint8_t kAdvancedSignature = 't';
constexpr std::uint8_t kFirstLzhufVersion = 20;  // "td" files before 2.0 used an LZW compression
constexpr std::uint8_t kCommentFollows = 0x80;   // in the stepping byte
constexpr std::uint8_t kAllFm = 0x80;            // in the data rate byte
constexpr std::uint8_t kTrackFm = 0x80;          // in a track's head byte
constexpr std::uint8_t kSideBit = 0x01;
constexpr std::uint8_t kEndOfImage = 0xFF;
constexpr std::size_t kMaxTracks = 1024;  // far more than any disk has sides times cylinders

constexpr std::uint8_t kLastSizeCode = 7;  // 16 KiB; above it no data follows
constexpr std::uint8_t kFlagCrcError = 0x02;
constexpr std::uint8_t kFlagSkipped = 0x10;
constexpr std::uint8_t kFlagNoData = 0x20;

constexpr std::uint8_t kEncodingRaw = 0;
constexpr std::uint8_t kEncodingPattern = 1;
constexpr std::uint8_t kEncodingRuns = 2;

std::uint8_t LowCrc(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(Crc16Teledisk(bytes) & 0xFFu);
}

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// The bytes after the header in order: the file's own, or decompressed as they
// are asked for, no further (the decoder's ring is the only window). Reads past
// their end throw StructureEnds.
class Stream {
public:
    Stream(DiskData& image, const Td0Header& header)
        : file_(ImageReader(image).Window(kHeaderLength, image.FileLength())) {
        if (header.Advanced) decoder_.emplace(file_);
    }

    void Read(std::span<std::uint8_t> out) {
        if (!decoder_) {
            file_.CopyTo(read_, out);
        } else if (decoder_->Read(out) != out.size()) {
            throw StructureEnds();
        }
        read_ += static_cast<std::int64_t>(out.size());
    }

    std::uint8_t U8() {
        std::uint8_t byte = 0;
        Read({&byte, 1});
        return byte;
    }

    // Where the next byte is in the file; with advanced compression, where it
    // would be in the same image stored without it.
    std::int64_t Offset() const noexcept { return kHeaderLength + read_; }

private:
    ImageReader file_;
    std::optional<LzhufDecoder> decoder_;
    std::int64_t read_ = 0;
};

// Fills sector from its encoded bytes; false unless they make exactly one sector.
bool Expand(std::uint8_t encoding, std::span<const std::uint8_t> block, std::span<std::uint8_t> sector) {
    std::size_t in = 0;
    std::size_t out = 0;
    const auto has = [&](std::size_t count) { return block.size() - in >= count; };
    const auto fits = [&](std::size_t count) { return sector.size() - out >= count; };
    // count copies of the length bytes at block[from]
    const auto repeat = [&](std::size_t from, std::size_t length, std::size_t count) {
        for (std::size_t n = 0; n < count; ++n, out += length) {
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(from), length,
                        sector.begin() + static_cast<std::ptrdiff_t>(out));
        }
    };
    switch (encoding) {
    case kEncodingRaw:
        if (block.size() != sector.size()) return false;
        std::copy(block.begin(), block.end(), sector.begin());
        return true;
    case kEncodingPattern:
        while (out < sector.size()) {
            if (!has(4)) return false;
            const std::size_t count = Le16(block, in);
            if (!fits(2 * count)) return false;
            repeat(in + 2, 2, count);
            in += 4;
        }
        return true;
    case kEncodingRuns:
        while (out < sector.size()) {
            if (!has(2)) return false;
            const std::size_t kind = block[in];
            const std::size_t count = block[in + 1];
            in += 2;
            const std::size_t length = kind == 0 ? count : 2 * kind;
            const std::size_t copies = kind == 0 ? 1 : count;
            if (!has(length) || !fits(length * copies)) return false;
            repeat(in, length, copies);
            in += length;
        }
        return true;
    }
    return false;
}

struct TrackRecord {
    std::uint8_t Cylinder = 0;
    std::uint8_t Side = 0;
    Density Recording = Density::Double;
};

struct SectorRecord {
    SectorId Id;
    std::uint8_t Flags = 0;
    bool HasData = false;
    std::int64_t DataOffset = 0;         // see LocateInTd0
    std::span<const std::uint8_t> Data;  // valid until the next record
};

// The comment block, checked against its CRC; throws StructureEnds when it does not match.
void SkipComment(Stream& stream, std::vector<std::uint8_t>& buffer) {
    std::array<std::uint8_t, 10> head{};
    stream.Read(head);
    buffer.resize(Le16(head, 2));
    stream.Read(buffer);
    if (Crc16Teledisk(buffer, Crc16Teledisk(std::span(head).subspan(2))) != Le16(head, 0)) throw StructureEnds();
}

// Walks the tracks from the first: visitor.Track(track) as each begins,
// visitor.Sector(track, sector) for each sector whose size code is in range,
// visitor.TrackDone() after its last; until one of the first two returns true,
// the end mark, or a record that is malformed. The track count is capped.
template <class Visitor>
void Walk(DiskData& image, const Td0Header& header, Visitor& visitor) {
    if (header.Sequence != 0 || (header.Advanced && header.Version < kFirstLzhufVersion)) return;
    try {
        Stream stream(image, header);
        std::vector<std::uint8_t> block;  // one sector's encoded bytes (at most 64 KiB)
        std::vector<std::uint8_t> data;   // and its bytes (at most 16 KiB)
        if (header.Stepping & kCommentFollows) SkipComment(stream, block);
        for (std::size_t n = 0; n < kMaxTracks; ++n) {
            std::array<std::uint8_t, 4> head{};
            head[0] = stream.U8();
            if (head[0] == kEndOfImage) return;
            stream.Read(std::span(head).subspan(1));
            if (LowCrc(std::span(head).first(3)) != head[3]) throw StructureEnds();
            const bool fm = (head[2] & kTrackFm) != 0 || (header.DataRate & kAllFm) != 0;
            const TrackRecord track{head[1], static_cast<std::uint8_t>(head[2] & kSideBit),
                                    fm ? Density::Single : Density::Double};
            if (visitor.Track(track)) return;
            for (int count = head[0]; count > 0; --count) {
                std::array<std::uint8_t, 6> id{};
                stream.Read(id);
                const std::uint8_t sizeCode = id[3];
                SectorRecord sector;
                sector.Id = {id[0], id[1], id[2], 0, track.Recording};
                sector.Flags = id[4];
                if (sizeCode > kLastSizeCode) continue;  // no data follows, and no size a drive could read
                sector.Id.Size = std::int64_t{128} << sizeCode;
                sector.HasData = (sector.Flags & (kFlagSkipped | kFlagNoData)) == 0;
                if (sector.HasData) {
                    std::array<std::uint8_t, 3> dataHead{};
                    stream.Read(dataHead);
                    const std::uint16_t length = Le16(dataHead, 0);
                    if (length == 0) throw StructureEnds();  // not even the encoding byte
                    sector.DataOffset = stream.Offset();
                    block.resize(length - 1u);
                    stream.Read(block);
                    data.resize(static_cast<std::size_t>(sector.Id.Size));
                    if (!Expand(dataHead[2], block, data) || LowCrc(data) != id[5]) throw StructureEnds();
                    sector.Data = data;
                }
                if (visitor.Sector(track, sector)) return;
            }
            visitor.TrackDone();
        }
    } catch (const StructureEnds&) {
    }
}

}  // namespace

std::optional<Td0Header> IdentifyTd0(DiskData& image) {
    ImageReader file(image);
    if ((!file.StartsWith(0, "TD") && !file.StartsWith(0, "td")) || !file.Has(0, kHeaderLength)) return std::nullopt;
    std::array<std::uint8_t, kHeaderLength> bytes{};
    file.CopyTo(0, bytes);
    if (Crc16Teledisk(std::span(bytes).first(kHeaderCrcStart)) != Le16(bytes, kHeaderCrcStart)) return std::nullopt;
    return Td0Header{bytes[0] == kAdvancedSignature, bytes[2], bytes[4], bytes[5], bytes[6], bytes[7], bytes[9]};
}

std::optional<SectorLocation> LocateInTd0(DiskData& image, const Td0Header& header, const SectorPosition& address) {
    struct Visitor {
        const SectorPosition& Address;
        std::optional<SectorLocation> Found;
        bool TrackSeen = false;

        bool Track(const TrackRecord& track) {
            if (TrackSeen) return true;  // the track of the address is done
            TrackSeen = track.Cylinder == Address.Cylinder && track.Side == Address.Side;
            return false;
        }
        bool Sector(const TrackRecord& track, const SectorRecord& sector) {
            const SectorId& id = sector.Id;
            if (track.Cylinder != Address.Cylinder || track.Side != Address.Side || !sector.HasData) return false;
            if (!Names(id, Address)) return false;
            Found = SectorLocation{kTd0Container.Format,
                                   LocateMethod::Structure,
                                   sector.DataOffset,
                                   SectorBytes(std::vector<std::uint8_t>(sector.Data.begin(), sector.Data.end())),
                                   id.Size,
                                   std::nullopt,
                                   (sector.Flags & kFlagCrcError) == 0};
            return true;
        }
        void TrackDone() {}
    } visitor{address, std::nullopt, false};
    Walk(image, header, visitor);
    return std::move(visitor.Found);
}

TrackList Td0Tracks(DiskData& image, const Td0Header& header, TrackDetail) {
    // A track is listed once all its records have been read.
    struct Visitor {
        std::vector<TrackLayout> Tracks;
        TrackLayout Current;

        bool Track(const TrackRecord& track) {
            Current = {track.Cylinder, track.Side, {}};
            return false;
        }
        bool Sector(const TrackRecord&, const SectorRecord& sector) {
            Current.Sectors.push_back(sector.Id);
            constexpr std::uint8_t kFlagDeleted = 0x04;
            Current.Readings.push_back(
                {true, sector.HasData ? std::optional((sector.Flags & kFlagCrcError) == 0) : std::nullopt,
                 (sector.Flags & kFlagDeleted) != 0});
            return false;
        }
        void TrackDone() { Tracks.push_back(std::move(Current)); }
    } visitor;
    Walk(image, header, visitor);
    return Undeclared(std::move(visitor.Tracks));
}

namespace {
constexpr std::array<std::string_view, 1> kTd0Extensions{".td0"};
constexpr ContainerFunctions<Td0Header> kTd0Functions{IdentifyTd0, LocateInTd0, Td0Tracks};
}  // namespace

constinit const ContainerType kTd0Container{
    {"TD0", "   TD0 Format"}, kTd0Extensions, HeaderContainer<Td0Header, kTd0Container, kTd0Functions>::Open};

}  // namespace tabulon
