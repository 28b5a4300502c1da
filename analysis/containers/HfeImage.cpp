#include "HfeImage.h"

#include "AddressMarks.h"
#include "ImageReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tabulon {

namespace {

constexpr std::int64_t kBlock = 512;      // header, track list and track data come in these
constexpr std::int64_t kSideChunk = 256;  // one side's share of a track block
constexpr std::string_view kSignatureV1 = "HXCPICFE";
constexpr std::string_view kSignatureV3 = "HXCHFEV3";

// Version 3 opcodes as they lie in the file (low nibble 0xF).
constexpr std::uint8_t kOpcodeMask = 0x0F;
constexpr std::uint8_t kOpNop = 0x0F;
constexpr std::uint8_t kOpSetIndex = 0x8F;
constexpr std::uint8_t kOpSetBitRate = 0x4F;
constexpr std::uint8_t kOpSkipBits = 0xCF;
constexpr std::uint8_t kOpRand = 0x2F;

// 16 cells as a word, the first in time highest.
constexpr std::uint16_t kMfmSyncWord = 0x4489;  // A1 with its missing clock
// FM address marks: clock C7 interleaved with FE, FB, F8, F9, FA.
constexpr std::array<std::uint16_t, 5> kFmMarkWords = {0xF57E, 0xF56F, 0xF56A, 0xF56B, 0xF56E};

constexpr std::size_t kCellsPerByte = 16;
constexpr std::size_t kIdFieldBytes = 6;  // cylinder, head, sector, size code, CRC (2)

constexpr std::size_t kMaxIdFields = 512;  // per decoding of one track side

HfeHeader ReadHeader(const ImageReader& file) {
    HfeHeader header;
    if (file.StartsWith(0, kSignatureV1)) {
        header.Version = 1;
    } else if (file.StartsWith(0, kSignatureV3)) {
        header.Version = 3;
    } else {
        throw StructureEnds();
    }
    if (file.U8(8) != 0) throw StructureEnds();  // format revision
    header.Tracks = file.U8(9);
    header.Sides = file.U8(10);
    header.Encoding = file.U8(11);
    header.BitRateKbps = file.Le16(12);
    header.TrackListOffset = std::int64_t{file.Le16(18)} * kBlock;
    if (header.Tracks == 0 || header.Sides < 1 || header.Sides > 2 || header.TrackListOffset < kBlock) {
        throw StructureEnds();
    }
    if (!file.Has(header.TrackListOffset, 4 * std::int64_t{header.Tracks})) throw StructureEnds();
    // Track 0's data must be there.
    const std::int64_t track0 = std::int64_t{file.Le16(header.TrackListOffset)} * kBlock;
    const std::int64_t length = file.Le16(header.TrackListOffset + 2);
    if (track0 < kBlock || length < 2 || !file.Has(track0, length)) throw StructureEnds();
    return header;
}

// Bit cells in time order, packed 64 to a word with the first in time in the
// most significant bit. Cells past the end read as 0.
class PackedCells {
public:
    static constexpr std::size_t kWordCells = 64;

    PackedCells() = default;
    PackedCells(std::vector<std::uint64_t> words, std::size_t size) : words_(std::move(words)), size_(size) {}

    std::size_t Size() const noexcept { return size_; }

    // The index-th word of 64 cells.
    std::uint64_t WordAt(std::size_t index) const noexcept { return index < words_.size() ? words_[index] : 0; }
    // The 64 cells from cell n on, n highest.
    std::uint64_t CellsFrom(std::size_t n) const noexcept {
        const std::size_t index = n / kWordCells;
        const auto shift = static_cast<unsigned>(n % kWordCells);
        const std::uint64_t high = WordAt(index);
        return shift == 0 ? high : (high << shift) | (WordAt(index + 1) >> (kWordCells - shift));
    }
    // The 16 cells from n on as a word, n highest.
    std::uint16_t Word16(std::size_t n) const noexcept { return static_cast<std::uint16_t>(CellsFrom(n) >> 48); }

    // Every other cell, from cell phase (0 or 1) on: the cells of a recording
    // written with doubled cells.
    PackedCells EveryOther(std::size_t phase) const {
        PackedCells half;
        half.size_ = phase == 0 ? (size_ + 1) / 2 : size_ / 2;
        const std::size_t words = (half.size_ + kWordCells - 1) / kWordCells;
        half.words_.reserve(words);
        // Within a word, cell j is bit 63 - j: phase 0 takes the odd bits, phase 1 the even.
        const unsigned align = phase == 0 ? 1 : 0;
        for (std::size_t n = 0; n < words; ++n) {
            const std::uint64_t first = EvenBits(WordAt(2 * n) >> align);
            const std::uint64_t second = EvenBits(WordAt(2 * n + 1) >> align);
            half.words_.push_back((first << 32) | second);
        }
        return half;
    }

    // Bits 0, 2, ..., 62 of x, in order, as bits 0 to 31.
    static constexpr std::uint32_t EvenBits(std::uint64_t x) {
        x &= 0x5555555555555555u;
        x = (x | (x >> 1)) & 0x3333333333333333u;
        x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0Fu;
        x = (x | (x >> 4)) & 0x00FF00FF00FF00FFu;
        x = (x | (x >> 8)) & 0x0000FFFF0000FFFFu;
        x = (x | (x >> 16)) & 0x00000000FFFFFFFFu;
        return static_cast<std::uint32_t>(x);
    }

private:
    std::vector<std::uint64_t> words_;
    std::size_t size_ = 0;
};

// Packs cells as they come into a PackedCells.
class CellPacker {
public:
    static constexpr unsigned kWordCells = PackedCells::kWordCells;

    explicit CellPacker(std::size_t cells) { words_.reserve(cells / kWordCells + 1); }

    std::size_t Size() const noexcept { return words_.size() * kWordCells + pending_; }

    // Appends count cells (1 to 64), the low bits of cells with the first in
    // time highest; the bits above them must be 0.
    void Append(std::uint64_t cells, unsigned count) {
        if (pending_ + count < kWordCells) {
            held_ = (held_ << count) | cells;
            pending_ += count;
            return;
        }
        const unsigned rest = pending_ + count - kWordCells;  // cells left over for the next word
        words_.push_back(pending_ == 0 ? cells : (held_ << (kWordCells - pending_)) | (cells >> rest));
        held_ = cells & ((std::uint64_t{1} << rest) - 1);
        pending_ = rest;
    }

    PackedCells Finish() && {
        const std::size_t size = Size();
        if (pending_ != 0) words_.push_back(held_ << (kWordCells - pending_));
        return {std::move(words_), size};
    }

private:
    std::vector<std::uint64_t> words_;  // full words
    std::uint64_t held_ = 0;            // the cells of a word begun, the last in time lowest
    unsigned pending_ = 0;              // how many
};

// The data bits of 16 cells (clock and data alternate, data second).
constexpr std::uint8_t DataBits(std::uint16_t word) { return static_cast<std::uint8_t>(PackedCells::EvenBits(word)); }

static_assert(DataBits(kMfmSyncWord) == kMfmSync);
static_assert(DataBits(kFmMarkWords[0]) == kIdAddressMark);

// The five FM mark words share their first 11 cells (the same clock over data
// that starts with five 1s), so a search looks for these and then checks the
// whole word.
constexpr unsigned kFmMarkPrefixCells = 11;
constexpr std::uint16_t kFmMarkPrefix = kFmMarkWords[0] >> (kCellsPerByte - kFmMarkPrefixCells);
static_assert(std::all_of(kFmMarkWords.begin(), kFmMarkWords.end(), [](std::uint16_t word) {
    return word >> (kCellsPerByte - kFmMarkPrefixCells) == kFmMarkPrefix;
}));

constexpr unsigned kCellsPerFileByte = 8;
constexpr std::size_t kFastBytes = 8;  // file bytes packed at once: one word of cells

bool IsOpcodeByte(std::uint8_t byte) { return (byte & kOpcodeMask) == kOpcodeMask; }

// A file byte's eight cells in time order, the first highest (the file keeps
// the first in the least significant bit).
constexpr std::array<std::uint8_t, 256> kCellsOfByte = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned byte = 0; byte < table.size(); ++byte) {
        unsigned out = 0;
        for (unsigned bit = 0; bit < 8; ++bit) out |= ((byte >> bit) & 1u) << (7 - bit);
        table[byte] = static_cast<std::uint8_t>(out);
    }
    return table;
}();

// Where a pattern of Length cells (Pattern's low bits, the first highest)
// starts within a block of 64 cells: bit 63 - j of the result is set when it
// starts at the block's cell j. next is the block after it, for the starts near
// the end. All 64 starts are tested at once, one cell of the pattern at a time.
template <std::uint32_t Pattern, unsigned Length>
std::uint64_t StartsOf(std::uint64_t block, std::uint64_t next) {
    const auto cellMatches = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        std::uint64_t cells = block;  // bit 63 - j: the block's cell j + K
        if constexpr (K != 0) cells = (block << K) | (next >> (PackedCells::kWordCells - K));
        return (Pattern >> (Length - 1 - K)) & 1u ? cells : ~cells;
    };
    return [&]<std::size_t... K>(std::index_sequence<K...>) {
        return (cellMatches(std::integral_constant<std::size_t, K>{}) & ...);
    }
    (std::make_index_sequence<Length>{});
}

// Which aligned bytes of cells a 16-cell word may cover whole. A word starting
// at any cell covers one whole byte that starts on a multiple of 8 cells: its
// cells d to d + 7, where d (0 to 7) is how far the next byte edge lies.
template <std::size_t Count>
constexpr std::array<std::uint8_t, 256> CoveredBytes(const std::array<std::uint16_t, Count>& words) {
    std::array<std::uint8_t, 256> covered{};
    for (const std::uint16_t word : words) {
        for (unsigned d = 0; d < 8; ++d) covered[(word >> (8 - d)) & 0xFFu] = 1;
    }
    return covered;
}
constexpr auto kMfmSyncCovers = CoveredBytes(std::array{kMfmSyncWord});
constexpr auto kFmMarkCovers = CoveredBytes(kFmMarkWords);

// Whether one of the words behind covered may start in a block of 64 cells:
// the byte it covers is one of the block's eight or the first of the next.
// Most blocks of a track fail this cheap test and need no exact one.
bool MayStartIn(const std::array<std::uint8_t, 256>& covered, std::uint64_t block, std::uint64_t next) {
    unsigned any = covered[next >> 56];
    for (unsigned shift = 0; shift < PackedCells::kWordCells; shift += 8) any |= covered[(block >> shift) & 0xFFu];
    return any != 0;
}

// The first start in [from, end) that candidates marks and accept takes.
// candidates(block, next) answers for a block of 64 starts as StartsOf does.
template <class Candidates, class Accept>
std::optional<std::size_t> FindStart(const PackedCells& cells, std::size_t from, std::size_t end, Candidates candidates,
                                     Accept accept) {
    constexpr std::size_t kWordCells = PackedCells::kWordCells;
    constexpr std::uint64_t kFirstCell = std::uint64_t{1} << (kWordCells - 1);
    const std::size_t firstIndex = from / kWordCells;
    std::uint64_t notBefore = ~std::uint64_t{0} >> (from % kWordCells);  // in the first block, the starts from on
    std::uint64_t next = cells.WordAt(firstIndex);
    for (std::size_t index = firstIndex; index * kWordCells < end; ++index) {
        const std::uint64_t block = next;
        next = cells.WordAt(index + 1);
        std::uint64_t starts = candidates(block, next) & notBefore;
        notBefore = ~std::uint64_t{0};
        while (starts != 0) {
            const auto lead = static_cast<unsigned>(std::countl_zero(starts));
            const std::size_t start = index * kWordCells + lead;
            if (start >= end) return std::nullopt;
            if (accept(start)) return start;
            starts &= ~(kFirstCell >> lead);
        }
    }
    return std::nullopt;
}

// One side of one track as bit cells in time order, with where each 256-byte
// chunk of it lies in the file.
class SideCells {
public:
    PackedCells Cells;                        // every cell
    std::vector<std::size_t> ChunkFirstCell;  // the first cell each chunk gave
    std::int64_t TrackOffset = 0;
    int Side = 0;

    std::int64_t FileOffsetOf(std::size_t cell) const {
        const auto after = std::upper_bound(ChunkFirstCell.begin(), ChunkFirstCell.end(), cell);
        const auto chunk = std::max<std::ptrdiff_t>(0, (after - ChunkFirstCell.begin()) - 1);
        return TrackOffset + chunk * kBlock + Side * kSideChunk;
    }

    // Every cell (stride 1), or every other cell from phase 0 or 1 (stride 2),
    // made on first use.
    const PackedCells& EveryNth(std::size_t stride, std::size_t phase) {
        if (stride == 1) return Cells;
        std::optional<PackedCells>& half = halves_.at(phase);
        if (!half) half = Cells.EveryOther(phase);
        return *half;
    }

private:
    std::array<std::optional<PackedCells>, 2> halves_;
};

SideCells ReadSide(const ImageReader& file, const HfeHeader& header, int cylinder, int side) {
    const ImageReader entry = file.Window(header.TrackListOffset + 4 * std::int64_t{cylinder}, 4);
    SideCells out;
    out.TrackOffset = std::int64_t{entry.Le16(0)} * kBlock;
    out.Side = side;
    const std::int64_t sideLength = entry.Le16(2) / 2;
    if (out.TrackOffset < kBlock) throw StructureEnds();

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sideLength));
    for (std::int64_t chunk = 0; chunk * kSideChunk < sideLength; ++chunk) {
        const std::int64_t count = std::min(kSideChunk, sideLength - chunk * kSideChunk);
        const auto part =
            std::span(bytes).subspan(static_cast<std::size_t>(chunk * kSideChunk), static_cast<std::size_t>(count));
        file.CopyTo(out.TrackOffset + chunk * kBlock + side * kSideChunk, part);
    }

    CellPacker cells(bytes.size() * kCellsPerFileByte);
    const bool opcodes = header.Version == 3;
    std::size_t nextChunk = 0;
    for (std::size_t n = 0; n < bytes.size();) {
        while (nextChunk * static_cast<std::size_t>(kSideChunk) <= n) {
            out.ChunkFirstCell.push_back(cells.Size());
            ++nextChunk;
        }
        // Most of a track is plain cells: take eight bytes at once while they
        // hold no opcode and stay inside this chunk.
        const std::size_t plainEnd = std::min(bytes.size(), nextChunk * static_cast<std::size_t>(kSideChunk));
        while (n + kFastBytes <= plainEnd) {
            const auto run = std::span(bytes).subspan(n, kFastBytes);
            if (opcodes && std::any_of(run.begin(), run.end(), IsOpcodeByte)) break;
            std::uint64_t word = 0;
            for (const std::uint8_t byte : run) word = (word << kCellsPerFileByte) | kCellsOfByte[byte];
            cells.Append(word, kFastBytes * kCellsPerFileByte);
            n += kFastBytes;
        }
        if (n >= plainEnd) continue;

        std::uint8_t byte = bytes[n];
        unsigned first = 0;  // cells of this byte to drop
        if (opcodes && IsOpcodeByte(byte)) {
            if (byte == kOpNop || byte == kOpSetIndex) {
                n += 1;
                continue;
            }
            if (byte == kOpSetBitRate) {  // the rate changes the timing, not the cells
                n += 2;
                continue;
            }
            if (byte == kOpRand) {  // weak bits: no transitions a decoder could lock on
                cells.Append(0, kCellsPerFileByte);
                n += 1;
                continue;
            }
            if (byte == kOpSkipBits) {
                if (n + 2 >= bytes.size()) break;
                first = kCellsOfByte[bytes[n + 1]] & 7u;
                n += 2;
                byte = bytes[n];
            }
        }
        // Dropping the first cells keeps the low bits of the time-ordered byte.
        const unsigned kept = kCellsPerFileByte - first;
        cells.Append(kCellsOfByte[byte] & ((1u << kept) - 1), kept);
        n += 1;
    }
    out.Cells = std::move(cells).Finish();
    return out;
}

enum class Coding { Mfm, Fm };

// One way of reading the cells: every stride-th cell from phase is one cell of
// the recording (stride 2 reads a recording written with doubled cells).
struct Decoding {
    Coding Code;
    std::size_t Stride;
    std::size_t Phase;
};

// MFM as recorded, FM at its own rate, FM with doubled cells in either phase.
constexpr std::array<Decoding, 4> kDecodings = {
    {{Coding::Mfm, 1, 0}, {Coding::Fm, 1, 0}, {Coding::Fm, 2, 0}, {Coding::Fm, 2, 1}}};

// The cells of one decoding (already taken every stride-th from phase).
class CellView {
public:
    CellView(SideCells& side, const Decoding& decoding)
        : cells_(&side.EveryNth(decoding.Stride, decoding.Phase)), decoding_(decoding) {}

    const PackedCells& Cells() const { return *cells_; }
    std::size_t Size() const { return cells_->Size(); }
    std::size_t RawCell(std::size_t n) const { return decoding_.Phase + n * decoding_.Stride; }
    Coding Code() const { return decoding_.Code; }

    // The 16 cells from n as a word, the first in time highest.
    std::uint16_t Word(std::size_t n) const { return cells_->Word16(n); }
    // The byte whose 16 cells start at n: clock and data alternate, data second.
    std::uint8_t Byte(std::size_t n) const { return DataBits(Word(n)); }
    bool HasBytes(std::size_t n, std::size_t count) const { return n + count * kCellsPerByte <= Size(); }

private:
    const PackedCells* cells_;
    Decoding decoding_;
};

struct Mark {
    std::size_t Start;  // the first cell of the mark (MFM: of its first sync)
    std::size_t After;  // the first cell of the byte after the mark
    std::uint8_t Value;
};

// The first address mark that starts in [from, limit) and that wanted accepts.
template <class Wanted>
std::optional<Mark> NextMark(const CellView& cells, std::size_t from, std::size_t limit, Wanted wanted) {
    // A mark's 16 cells must all be there.
    const std::size_t size = cells.Size();
    const std::size_t end = std::min(limit, size >= kCellsPerByte ? size - kCellsPerByte + 1 : 0);

    if (cells.Code() == Coding::Fm) {
        std::array<std::uint16_t, kFmMarkWords.size()> words{};  // the mark words wanted
        std::size_t count = 0;
        for (const std::uint16_t word : kFmMarkWords) {
            if (wanted(DataBits(word))) words[count++] = word;
        }
        const auto isWanted = [&](std::size_t start) {
            const std::uint16_t word = cells.Word(start);
            return std::find(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(count), word) !=
                   words.begin() + static_cast<std::ptrdiff_t>(count);
        };
        const auto candidates = [](std::uint64_t block, std::uint64_t next) {
            return MayStartIn(kFmMarkCovers, block, next) ? StartsOf<kFmMarkPrefix, kFmMarkPrefixCells>(block, next)
                                                          : 0;
        };
        const auto start = FindStart(cells.Cells(), from, end, candidates, isWanted);
        if (!start) return std::nullopt;
        return Mark{*start, *start + kCellsPerByte, cells.Byte(*start)};
    }

    const auto syncs = [](std::uint64_t block, std::uint64_t next) {
        return MayStartIn(kMfmSyncCovers, block, next) ? StartsOf<kMfmSyncWord, kCellsPerByte>(block, next) : 0;
    };
    const auto anySync = [](std::size_t) { return true; };
    while (true) {
        const auto start = FindStart(cells.Cells(), from, end, syncs, anySync);
        if (!start) return std::nullopt;
        std::size_t next = *start + kCellsPerByte;
        while (cells.HasBytes(next, 1) && cells.Word(next) == kMfmSyncWord) next += kCellsPerByte;
        if (!cells.HasBytes(next, 1)) return std::nullopt;
        const std::uint8_t value = cells.Byte(next);
        if (wanted(value)) return Mark{*start, next + kCellsPerByte, value};
        from = next;  // not wanted: go on after the syncs
    }
}

struct IdField {
    std::size_t RawCell;  // where its mark starts among the side's cells
    std::size_t After;    // the first cell after its CRC, in the decoding's cells
    SectorId Id;
    std::uint8_t SizeCode;
    bool CrcOk;
};

std::vector<IdField> FindIdFields(const CellView& cells) {
    std::vector<IdField> found;
    const auto isId = [](std::uint8_t value) { return value == kIdAddressMark; };
    std::size_t from = 0;
    while (found.size() < kMaxIdFields) {
        const auto mark = NextMark(cells, from, cells.Size(), isId);
        if (!mark || !cells.HasBytes(mark->After, kIdFieldBytes)) break;
        std::array<std::uint8_t, 5> id{mark->Value};
        for (std::size_t k = 0; k < 4; ++k) id[k + 1] = cells.Byte(mark->After + k * kCellsPerByte);
        const auto crc = static_cast<std::uint16_t>((cells.Byte(mark->After + 4 * kCellsPerByte) << 8) |
                                                    cells.Byte(mark->After + 5 * kCellsPerByte));
        const bool doubleDensity = cells.Code() == Coding::Mfm;
        found.push_back(
            {cells.RawCell(mark->Start), mark->After + kIdFieldBytes * kCellsPerByte,
             SectorId{id[1], id[2], id[3], SectorSizeOfCode(id[4]), doubleDensity ? Density::Double : Density::Single},
             id[4], Crc16Ccitt(id, FieldCrcStart(cells.Code() == Coding::Mfm)) == crc});
        from = found.back().After;
    }
    return found;
}

// The data behind one ID field, when its data address mark lies within reach.
std::optional<SectorLocation> DataAfter(const CellView& cells, const SideCells& side, const IdField& id) {
    const auto window = static_cast<std::size_t>(DataMarkWindow(cells.Code() == Coding::Mfm));
    const auto mark = NextMark(cells, id.After, id.After + window * kCellsPerByte, IsDataMark);
    // The mark byte itself (past any MFM syncs) must lie within the window.
    if (!mark || mark->After - kCellsPerByte >= id.After + window * kCellsPerByte) return std::nullopt;

    const auto size = static_cast<std::size_t>(SectorSizeOfCode(id.SizeCode));
    std::vector<std::uint8_t> data;
    data.reserve(size);
    for (std::size_t k = 0; k < size && cells.HasBytes(mark->After + k * kCellsPerByte, 1); ++k) {
        data.push_back(cells.Byte(mark->After + k * kCellsPerByte));
    }
    bool dataCrcOk = false;
    const std::size_t crcAt = mark->After + size * kCellsPerByte;
    if (data.size() == size && cells.HasBytes(crcAt, 2)) {
        const std::array<std::uint8_t, 1> markByte{mark->Value};
        std::uint16_t crc = Crc16Ccitt(markByte, FieldCrcStart(cells.Code() == Coding::Mfm));
        crc = Crc16Ccitt(data, crc);
        dataCrcOk = crc == ((cells.Byte(crcAt) << 8) | cells.Byte(crcAt + kCellsPerByte));
    }
    const std::int64_t offset = side.FileOffsetOf(cells.RawCell(mark->After));
    return SectorLocation{ImageFormat::Hfe,
                          LocateMethod::Structure,
                          offset,
                          SectorBytes(std::move(data)),
                          static_cast<std::int64_t>(size),
                          id.CrcOk,
                          dataCrcOk};
}

}  // namespace

std::optional<HfeHeader> IdentifyHfe(const DiskData& image) {
    const ImageReader file(image);
    // Most images are no HFE file: tell them by the signature, without an exception.
    if (!file.StartsWith(0, kSignatureV1) && !file.StartsWith(0, kSignatureV3)) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

std::optional<SectorLocation> LocateInHfe(const DiskData& image, const HfeHeader& header) {
    try {
        SideCells side = ReadSide(ImageReader(image), header, 0, 0);
        std::optional<SectorLocation> badId;  // an ID field with a bad CRC, kept in case no good one turns up
        for (const Decoding& decoding : kDecodings) {
            const CellView cells(side, decoding);
            for (const IdField& id : FindIdFields(cells)) {
                if (id.Id.Cylinder != 0 || id.Id.Head != 0 || id.Id.Sector != 2) continue;
                if (id.CrcOk || !badId) {
                    auto found = DataAfter(cells, side, id);
                    if (found && id.CrcOk) return found;
                    if (found) badId = std::move(found);
                }
            }
        }
        return badId;
    } catch (const StructureEnds&) {
        return std::nullopt;
    }
}

std::vector<TrackLayout> HfeTracks(const DiskData& image, const HfeHeader& header) {
    std::vector<TrackLayout> tracks;
    const ImageReader file(image);
    for (int cylinder = 0; cylinder < header.Tracks; ++cylinder) {
        for (int side = 0; side < header.Sides; ++side) {
            TrackLayout layout{cylinder, side, {}};
            try {
                SideCells cells = ReadSide(file, header, cylinder, side);
                std::vector<IdField> good;
                for (const Decoding& decoding : kDecodings) {
                    for (const IdField& id : FindIdFields(CellView(cells, decoding))) {
                        if (id.CrcOk) good.push_back(id);
                    }
                }
                std::sort(good.begin(), good.end(),
                          [](const IdField& a, const IdField& b) { return a.RawCell < b.RawCell; });
                for (const IdField& id : good) layout.Sectors.push_back(id.Id);
            } catch (const StructureEnds&) {
            }
            tracks.push_back(std::move(layout));
        }
    }
    return tracks;
}

}  // namespace tabulon
