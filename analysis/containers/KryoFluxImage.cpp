#include "KryoFluxImage.h"

#include "DecodedSectors.h"
#include "FluxTrack.h"
#include "ImageReader.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <span>
#include <tuple>

namespace tabulon {

namespace {

constexpr std::uint8_t kLastFlux2 = 0x07;
constexpr std::uint8_t kLastNop = 0x0A;  // Nop1 0x08, Nop2 0x09, Nop3 0x0A
constexpr std::uint8_t kOverflow16 = 0x0B;
constexpr std::uint8_t kFlux3 = 0x0C;
constexpr std::uint8_t kBlock = 0x0D;
constexpr std::uint8_t kStreamInfo = 1, kIndex = 2, kInfo = 4, kEndOfFile = 0x0D;  // 3: stream end

constexpr double kDefaultSampleClock = 18432000.0 * 73 / 14 / 4;  // 24,027,428.57 Hz
constexpr std::int64_t kIdentifyBytes = std::int64_t{64} * 1024;
constexpr std::size_t kMaxIndexes = 64;
constexpr int kCylinders = 100;  // CC has two digits

// One code of a stream.
struct Code {
    enum Kind { Flux, Overflow, Skip, Block, End } What = End;
    std::uint32_t Value = 0;     // Flux: ticks; Overflow: what it adds
    std::int64_t Length = 0;     // bytes in the file
    std::uint8_t BlockType = 0;  // Block: its type, data and size
    std::int64_t BlockData = 0;
    std::int64_t BlockSize = 0;
    bool CountsInStream() const { return What != Block && What != End; }
};

// A stream's bytes, read from the file 64 KiB at a time: walking a stream
// touches every byte, once per pass.
class StreamBytes {
public:
    explicit StreamBytes(ImageReader file) : file_(file), size_(file.Size()) {}

    std::int64_t Size() const { return size_; }
    // Throws StructureEnds past the end.
    std::uint8_t U8(std::int64_t at) {
        if (at < start_ || at >= start_ + static_cast<std::int64_t>(bytes_.size())) Load(at);
        return bytes_[static_cast<std::size_t>(at - start_)];
    }
    std::uint16_t Le16(std::int64_t at) { return static_cast<std::uint16_t>(U8(at) | (U8(at + 1) << 8)); }
    std::uint16_t Be16(std::int64_t at) { return static_cast<std::uint16_t>((U8(at) << 8) | U8(at + 1)); }

private:
    static constexpr std::int64_t kChunk = std::int64_t{64} * 1024;

    void Load(std::int64_t at) {
        if (at < 0 || at >= Size()) throw StructureEnds();
        start_ = at;
        bytes_.resize(static_cast<std::size_t>(std::min(kChunk, Size() - at)));
        file_.CopyTo(at, bytes_);
    }

    ImageReader file_;
    std::int64_t size_;
    std::vector<std::uint8_t> bytes_;
    std::int64_t start_ = 0;
};

Code CodeAt(StreamBytes& file, std::int64_t at) {
    if (at >= file.Size()) return {};
    const std::uint8_t code = file.U8(at);
    if (code <= kLastFlux2) return {Code::Flux, (std::uint32_t{code} << 8) | file.U8(at + 1), 2};
    if (code <= kLastNop) {
        const std::int64_t length = code - kLastFlux2;
        if (at + length > file.Size()) throw StructureEnds();
        return {Code::Skip, 0, length};
    }
    if (code == kOverflow16) return {Code::Overflow, 0x10000, 1};
    if (code == kFlux3) return {Code::Flux, file.Be16(at + 1), 3};
    if (code == kBlock) {
        const std::uint8_t type = file.U8(at + 1);
        if (type == kEndOfFile) return {};
        const std::int64_t size = file.Le16(at + 2);
        if (at + 4 + size > file.Size()) throw StructureEnds();  // a block past the end
        return {Code::Block, 0, 4 + size, type, at + 4, size};
    }
    return {Code::Flux, code, 1};
}

// The sample clock an info block gives ("sck=24027428.5714285"), if it gives one.
std::optional<double> SampleClockIn(ImageReader file, const Code& block) {
    const std::vector<std::uint8_t> bytes = file.Bytes(block.BlockData, block.BlockSize);
    const std::string text(bytes.begin(), bytes.end());
    const auto at = text.find("sck=");
    if (at == std::string::npos) return std::nullopt;
    // Digits, then perhaps a point and more (from_chars for doubles is not everywhere yet).
    double clock = 0, scale = 0;  // scale: 0 before the point, then the place of the next digit
    std::size_t digits = 0;
    for (std::size_t n = at + 4; n < text.size() && digits < 20; ++n) {
        const char c = text[n];
        if (c == '.' && scale == 0) {
            scale = 0.1;
        } else if (c >= '0' && c <= '9') {
            clock = scale == 0 ? clock * 10 + (c - '0') : clock + (c - '0') * scale;
            scale /= 10;
            ++digits;
        } else {
            break;
        }
    }
    if (digits == 0 || !(clock >= 1e6 && clock <= 1e9)) return std::nullopt;
    return clock;
}

// One stream file's revolutions, found by walking it twice: once for the index
// positions and the clock, once for where in the file each revolution begins.
class StreamTrack final : public FluxTrack {
public:
    explicit StreamTrack(DiskData& data) : file_(data) {
        std::vector<std::uint32_t> indexes;
        StreamBytes bytes(file_);
        for (std::int64_t at = 0;;) {
            const Code code = CodeAt(bytes, at);
            if (code.What == Code::End) break;
            if (code.What == Code::Block && code.BlockType == kIndex && code.BlockSize >= 12 &&
                indexes.size() < kMaxIndexes) {
                indexes.push_back(file_.Le32(code.BlockData));
            }
            if (code.What == Code::Block && code.BlockType == kInfo && !clock_) clock_ = SampleClockIn(file_, code);
            at += code.Length;
        }
        std::sort(indexes.begin(), indexes.end());
        std::int64_t stream = 0;
        std::size_t next = 0;
        for (std::int64_t at = 0; next < indexes.size();) {
            const Code code = CodeAt(bytes, at);
            if (code.CountsInStream()) {
                for (; next < indexes.size() && stream >= indexes[next]; ++next) starts_.push_back({at, stream});
                stream += code.Length;
            }
            if (code.What == Code::End) break;
            at += code.Length;
        }
        while (next++ < indexes.size()) starts_.push_back({file_.Size(), stream});  // pulses after the last value
    }

    std::size_t Revolutions() const override { return starts_.size() < 2 ? 0 : starts_.size() - 1; }
    double TicksPerMicrosecond() const override { return clock_.value_or(kDefaultSampleClock) / 1e6; }

    bool ReadRevolution(std::size_t revolution, std::size_t limit, std::vector<std::uint32_t>& flux) override {
        return ReadIntervals([&](auto take) { Walk(revolution, take); }, std::min(limit, kMaxIntervals), flux);
    }

    std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) {
        std::int64_t found = starts_.at(revolution + 1).At;
        std::size_t n = 0;
        Walk(revolution, [&](std::int64_t at, std::uint32_t) {
            if (n++ < interval) return true;
            found = at;
            return false;
        });
        return found;
    }

private:
    struct Start {
        std::int64_t At;      // in the file
        std::int64_t Stream;  // the stream position there
    };

    // Calls take(file offset of its last code, ticks) for each interval of the
    // revolution while it returns true.
    template <class Take>
    void Walk(std::size_t revolution, Take take) {
        const Start& from = starts_.at(revolution);
        const std::int64_t end = starts_.at(revolution + 1).Stream;
        std::uint64_t carried = 0;
        std::int64_t stream = from.Stream;
        StreamBytes bytes(file_);
        for (std::int64_t at = from.At; stream < end;) {
            const Code code = CodeAt(bytes, at);
            if (code.What == Code::End) break;
            if (code.What == Code::Overflow) carried = std::min<std::uint64_t>(carried + code.Value, 0xFFFFFFFFu);
            if (code.What == Code::Flux) {
                const auto ticks =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(carried + code.Value, 0xFFFFFFFFu));
                carried = 0;
                if (ticks != 0 && !take(at, ticks)) return;
            }
            if (code.CountsInStream()) stream += code.Length;
            at += code.Length;
        }
    }

    ImageReader file_;
    std::optional<double> clock_;
    std::vector<Start> starts_;  // one per index pulse
};

// A track of the set, its stream read when first asked for.
class SetTrack final : public FluxWalkedTrack {
public:
    SetTrack(DiskData& file, TrackPlace place, FluxBudget& budget)
        : FluxWalkedTrack(place, kKryoFluxContainer.Format, budget), file_(file) {}

private:
    StreamTrack& Flux() override {
        if (!track_) track_.emplace(file_);
        return *track_;
    }
    std::int64_t FileOffsetOf(std::size_t revolution, std::size_t interval) override {
        return Flux().FileOffsetOf(revolution, interval);
    }

    DiskData& file_;
    std::optional<StreamTrack> track_;
};

// Every track the set holds: the file given, and the files of the other
// tracks beside it; places without a file are not met. All share one budget.
void WalkKryoFlux(DiskData& image, const KryoFluxHeader& header, const WalkScope& scope, const TrackVisitor& visit) {
    FluxBudget budget;
    ForEachPlace(scope, kCylinders, 2, [&](TrackPlace place) {
        const bool own = header.Named ? place == TrackPlace{header.Cylinder, header.Side} : place == TrackPlace{0, 0};
        if (own) {
            SetTrack track(image, place, budget);
            return visit(track);
        }
        if (!header.Named) return true;
        std::optional<DiskData> sibling = image.OpenSibling(StreamFileName(header, place.Cylinder, place.Side));
        if (!sibling) return true;
        SetTrack track(*sibling, place, budget);
        return visit(track);
    });
}

}  // namespace

std::optional<KryoFluxHeader> IdentifyKryoFlux(DiskData& image) {
    ImageReader file(image);
    // A stream opens with a block of a known type: most images are none, told at once.
    if (!file.Has(0, 4) || file.U8(0) != kBlock || file.U8(1) < kStreamInfo || file.U8(1) > kInfo) return std::nullopt;
    const bool wellFormed =
        UnlessStructureEnds([&file] {
            StreamBytes bytes(file);
            for (std::int64_t at = 0; at < std::min(file.Size(), kIdentifyBytes);) {
                const Code code = CodeAt(bytes, at);
                if (code.What == Code::End) break;
                if (code.What == Code::Block && (code.BlockType < kStreamInfo || code.BlockType > kInfo)) return false;
                if (code.What == Code::Block && code.BlockType == kIndex && code.BlockSize < 12) return false;
                at += code.Length;
            }
            return true;
        }).value_or(false);
    if (!wellFormed) return std::nullopt;
    KryoFluxHeader header;
    if (const auto name = ParseStreamName(image.Name())) {
        header = {name->Prefix, name->Cylinder, name->Side, true, name->Extension};
    }
    return header;
}

namespace {
constexpr ContainerFunctions<KryoFluxHeader> kKryoFluxFunctions{
    .Identify = IdentifyKryoFlux, .Walk = WalkKryoFlux, .Declared = DecodedTrackList<KryoFluxHeader>};
}  // namespace

constinit const ContainerType kKryoFluxContainer{
    {"KryoFlux", "   KryoFlux Format"},
    std::span<const std::string_view>{},
    HeaderContainer<KryoFluxHeader, kKryoFluxContainer, kKryoFluxFunctions>::Open,
    FirstStream};

}  // namespace tabulon
