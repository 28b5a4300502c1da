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

    // Where it stands, to go on from there later.
    Td0Resume Saved() const { return {read_, decoder_ ? std::make_shared<const LzhufDecoder>(*decoder_) : nullptr}; }

    // Goes on from where saved was, reading this stream's image.
    void Resume(const Td0Resume& saved) {
        read_ = saved.Read;
        if (!saved.Decoder) return;
        decoder_ = *saved.Decoder;
        decoder_->Rebind(file_);
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

struct SectorRecord {
    SectorId Id;
    std::uint8_t Flags = 0;
    bool HasData = false;
    std::int64_t DataOffset = 0;         // as the header tells
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

// The records after the header, read in order, and the room one sector's take.
struct Records {
    Stream Bytes;
    std::vector<std::uint8_t> Block;  // one sector's encoded bytes (at most 64 KiB)
    std::vector<std::uint8_t> Data;   // and its bytes (at most 16 KiB)
};

// One track whose sector records are read as they are asked for: they lie
// one after another in the stream, so whatever is not asked for is read past
// before the next track. A record that is malformed throws StructureEnds.
class Td0Track final : public WalkedTrack {
public:
    Td0Track(Records& records, TrackPlace place, Density recording, int count)
        : WalkedTrack(place), records_(records), recording_(recording), left_(count) {}

    TrackLayout Layout(TrackDetail) override {
        TrackLayout layout = Empty(static_cast<std::size_t>(left_));
        while (const SectorRecord* sector = Next()) AddTo(layout, *sector);
        return layout;
    }

    // The first sector whose ID names it and which holds data.
    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        return std::move(FindEach(std::span(&address, 1)).front());
    }

    // The same for each address, in one pass over the records: each the first
    // that names it and holds data. A malformed record ends the pass with what
    // was found before it, as it ends each search alone; it then ends the walk.
    std::vector<std::optional<SectorLocation>> FindEach(std::span<const SectorPosition> addresses) override {
        std::vector<std::optional<SectorLocation>> found(addresses.size());
        std::size_t left = addresses.size();
        try {
            while (left > 0) {
                const SectorRecord* sector = Next();
                if (sector == nullptr) break;
                if (!sector->HasData) continue;
                for (std::size_t n = 0; n < addresses.size(); ++n) {
                    if (found[n] || !Names(sector->Id, addresses[n])) continue;
                    found[n] = LocationOf(*sector);
                    --left;
                }
            }
        } catch (const StructureEnds&) {
            broken_ = true;
        }
        return found;
    }

    void SkipRest() {
        while (Next() != nullptr) {
        }
    }

private:
    static void AddTo(TrackLayout& layout, const SectorRecord& sector) {
        constexpr std::uint8_t kFlagDeleted = 0x04;
        layout.Sectors.push_back(sector.Id);
        layout.Readings.push_back({true,
                                   sector.HasData ? std::optional((sector.Flags & kFlagCrcError) == 0) : std::nullopt,
                                   (sector.Flags & kFlagDeleted) != 0});
    }

    static SectorLocation LocationOf(const SectorRecord& sector) {
        return SectorLocation{kTd0Container.Format,
                              LocateMethod::Structure,
                              sector.DataOffset,
                              SectorBytes(std::vector<std::uint8_t>(sector.Data.begin(), sector.Data.end())),
                              sector.Id.Size,
                              std::nullopt,
                              (sector.Flags & kFlagCrcError) == 0};
    }

    // The next record whose size code is in range; nothing after the track's last.
    const SectorRecord* Next() {
        if (broken_) throw StructureEnds();
        while (left_ > 0) {
            --left_;
            std::array<std::uint8_t, 6> id{};
            records_.Bytes.Read(id);
            const std::uint8_t sizeCode = id[3];
            sector_ = {};
            sector_.Id = {id[0], id[1], id[2], 0, recording_};
            sector_.Flags = id[4];
            if (sizeCode > kLastSizeCode) continue;  // no data follows, and no size a drive could read
            sector_.Id.Size = std::int64_t{128} << sizeCode;
            sector_.HasData = (sector_.Flags & (kFlagSkipped | kFlagNoData)) == 0;
            if (sector_.HasData) ReadData(id[5]);
            return &sector_;
        }
        return nullptr;
    }

    void ReadData(std::uint8_t crc) {
        std::array<std::uint8_t, 3> head{};
        records_.Bytes.Read(head);
        const std::uint16_t length = Le16(head, 0);
        if (length == 0) throw StructureEnds();  // not even the encoding byte
        sector_.DataOffset = records_.Bytes.Offset();
        records_.Block.resize(length - 1u);
        records_.Bytes.Read(records_.Block);
        records_.Data.resize(static_cast<std::size_t>(sector_.Id.Size));
        if (!Expand(head[2], records_.Block, records_.Data) || LowCrc(records_.Data) != crc) throw StructureEnds();
        sector_.Data = records_.Data;
    }

    Records& records_;
    Density recording_;
    int left_;
    SectorRecord sector_;
    bool broken_ = false;  // a record was malformed: nothing after it is read
};

// The tracks from the first, until the end mark or a record that is malformed;
// the track count is capped.
void WalkTd0(DiskData& image, const Td0Header& header, const WalkScope& scope, const TrackVisitor& visit) {
    if (header.Sequence != 0 || (header.Advanced && header.Version < kFirstLzhufVersion)) return;
    TrackStarts<Td0Resume>& starts = *header.Starts;
    try {
        Records records{Stream(image, header), {}, {}};
        std::size_t n = 0;
        // A walk to one place starts at its first track, where an earlier walk found it; once
        // an earlier walk met every track, a place none of them is at holds none.
        const auto start = scope ? starts.First(*scope) : std::nullopt;
        if (start) {
            records.Bytes.Resume(start->At);
            n = start->Number;
        } else if (scope && starts.Whole()) {
            return;
        } else if (header.Stepping & kCommentFollows) {
            SkipComment(records.Bytes, records.Block);
        }
        for (; n < kMaxTracks; ++n) {
            std::optional<Td0Resume> before;  // saved only when it is to be kept
            if (starts.Wants(n)) before = records.Bytes.Saved();
            std::array<std::uint8_t, 4> head{};
            head[0] = records.Bytes.U8();
            if (head[0] == kEndOfImage) break;
            records.Bytes.Read(std::span(head).subspan(1));
            if (LowCrc(std::span(head).first(3)) != head[3]) throw StructureEnds();
            const bool fm = (head[2] & kTrackFm) != 0 || (header.DataRate & kAllFm) != 0;
            Td0Track track(records, {head[1], head[2] & kSideBit}, fm ? Density::Single : Density::Double, head[0]);
            if (before) starts.Met(n, track.Place(), *before);
            if (InScope(scope, track.Place()) && !visit(track)) return;
            track.SkipRest();
        }
    } catch (const StructureEnds&) {
    }
    starts.Ended();
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

namespace {
constexpr std::array<std::string_view, 1> kTd0Extensions{".td0"};
constexpr ContainerFunctions<Td0Header> kTd0Functions{.Identify = IdentifyTd0, .Walk = WalkTd0};
}  // namespace

constinit const ContainerType kTd0Container{{"TD0", "   TD0 Format"},
                                            kTd0Extensions,
                                            HeaderContainer<Td0Header, kTd0Container, kTd0Functions>::Open,
                                            nullptr,
                                            SectorReach::InSequence};

}  // namespace tabulon
