#include "HfeImage.h"

#include "Crc16.h"
#include "ImageReader.h"

#include <algorithm>
#include <array>
#include <string_view>

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

constexpr std::uint8_t kIdAddressMark = 0xFE;
constexpr std::uint8_t kMfmSync = 0xA1;
constexpr std::array<std::uint8_t, 3> kMfmSyncBytes = {kMfmSync, kMfmSync, kMfmSync};
constexpr std::size_t kCellsPerByte = 16;
constexpr std::size_t kIdFieldBytes = 6;  // cylinder, head, sector, size code, CRC (2)

// After the ID field's CRC, a controller gives up looking for the data address
// mark after this many bytes: 43 in MFM, 30 in FM.
constexpr std::size_t kDataMarkWindowMfm = 43;
constexpr std::size_t kDataMarkWindowFm = 30;
constexpr std::size_t kMaxIdFields = 512;  // per decoding of one track side

bool IsDataMark(std::uint8_t byte) { return byte >= 0xF8 && byte <= 0xFB; }

std::uint8_t Reversed(std::uint8_t byte) {
    unsigned out = 0;
    for (int bit = 0; bit < 8; ++bit) out |= ((byte >> bit) & 1u) << (7 - bit);
    return static_cast<std::uint8_t>(out);
}

HfeHeader ReadHeader(const ImageReader& file) {
    const std::vector<std::uint8_t> signature = file.Bytes(0, 8);
    const std::string_view text(reinterpret_cast<const char*>(signature.data()), signature.size());
    HfeHeader header;
    if (text == kSignatureV1) {
        header.Version = 1;
    } else if (text == kSignatureV3) {
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

// One side of one track as bit cells in time order, with where each 256-byte
// chunk of it lies in the file.
struct SideCells {
    std::vector<std::uint8_t> Cells;           // 0 or 1
    std::vector<std::size_t> ChunkFirstCell;   // the first cell each chunk gave
    std::int64_t TrackOffset = 0;
    int Side = 0;

    std::int64_t FileOffsetOf(std::size_t cell) const {
        const auto after = std::upper_bound(ChunkFirstCell.begin(), ChunkFirstCell.end(), cell);
        const auto chunk = std::max<std::ptrdiff_t>(0, (after - ChunkFirstCell.begin()) - 1);
        return TrackOffset + chunk * kBlock + Side * kSideChunk;
    }
};

SideCells ReadSide(const ImageReader& file, const HfeHeader& header, int cylinder, int side) {
    const ImageReader entry = file.Window(header.TrackListOffset + 4 * std::int64_t{cylinder}, 4);
    SideCells out;
    out.TrackOffset = std::int64_t{entry.Le16(0)} * kBlock;
    out.Side = side;
    const std::int64_t sideLength = entry.Le16(2) / 2;
    if (out.TrackOffset < kBlock) throw StructureEnds();

    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(sideLength));
    for (std::int64_t chunk = 0; chunk * kSideChunk < sideLength; ++chunk) {
        const std::int64_t count = std::min(kSideChunk, sideLength - chunk * kSideChunk);
        const std::vector<std::uint8_t> part =
            file.Window(out.TrackOffset + chunk * kBlock + side * kSideChunk, count).Bytes(0, count);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }

    out.Cells.reserve(bytes.size() * 8);
    const bool opcodes = header.Version == 3;
    std::size_t nextChunk = 0;
    for (std::size_t n = 0; n < bytes.size();) {
        while (nextChunk * kSideChunk <= n) {
            out.ChunkFirstCell.push_back(out.Cells.size());
            ++nextChunk;
        }
        std::uint8_t byte = bytes[n];
        int first = 0;  // cells of this byte to drop
        if (opcodes && (byte & kOpcodeMask) == kOpcodeMask) {
            if (byte == kOpNop || byte == kOpSetIndex) {
                n += 1;
                continue;
            }
            if (byte == kOpSetBitRate) {  // the rate changes the timing, not the cells
                n += 2;
                continue;
            }
            if (byte == kOpRand) {  // weak bits: no transitions a decoder could lock on
                out.Cells.insert(out.Cells.end(), 8, 0);
                n += 1;
                continue;
            }
            if (byte == kOpSkipBits) {
                if (n + 2 >= bytes.size()) break;
                first = Reversed(bytes[n + 1]) & 7;
                n += 2;
                byte = bytes[n];
            }
        }
        for (int bit = first; bit < 8; ++bit) out.Cells.push_back(static_cast<std::uint8_t>((byte >> bit) & 1u));
        n += 1;
    }
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
constexpr std::array<Decoding, 4> kDecodings = {{{Coding::Mfm, 1, 0},
                                                 {Coding::Fm, 1, 0},
                                                 {Coding::Fm, 2, 0},
                                                 {Coding::Fm, 2, 1}}};

class CellView {
public:
    CellView(const std::vector<std::uint8_t>& cells, const Decoding& decoding)
        : cells_(&cells), decoding_(decoding) {}

    std::size_t Size() const {
        return cells_->size() > decoding_.Phase
                   ? (cells_->size() - decoding_.Phase + decoding_.Stride - 1) / decoding_.Stride
                   : 0;
    }
    unsigned At(std::size_t n) const { return (*cells_)[decoding_.Phase + n * decoding_.Stride]; }
    std::size_t RawCell(std::size_t n) const { return decoding_.Phase + n * decoding_.Stride; }
    Coding Code() const { return decoding_.Code; }

    // The byte whose 16 cells start at n: clock and data alternate, data second.
    std::uint8_t Byte(std::size_t n) const {
        unsigned byte = 0;
        for (std::size_t bit = 0; bit < 8; ++bit) byte = (byte << 1) | At(n + 2 * bit + 1);
        return static_cast<std::uint8_t>(byte);
    }
    // The 16 cells from n as a word, the first in time highest.
    std::uint32_t Word(std::size_t n) const {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < kCellsPerByte; ++k) word = (word << 1) | At(n + k);
        return word;
    }
    bool HasBytes(std::size_t n, std::size_t count) const { return n + count * kCellsPerByte <= Size(); }

private:
    const std::vector<std::uint8_t>* cells_;
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
    const std::size_t size = cells.Size();
    std::uint32_t word = 0;
    for (std::size_t n = from; n < size && n < limit + kCellsPerByte - 1; ++n) {
        word = ((word << 1) | cells.At(n)) & 0xFFFFu;
        if (n + 1 < from + kCellsPerByte) continue;
        const std::size_t start = n + 1 - kCellsPerByte;
        if (cells.Code() == Coding::Fm) {
            if (std::find(kFmMarkWords.begin(), kFmMarkWords.end(), word) == kFmMarkWords.end()) continue;
            const std::uint8_t value = cells.Byte(start);
            if (wanted(value)) return Mark{start, n + 1, value};
            continue;
        }
        if (word != kMfmSyncWord) continue;
        std::size_t next = n + 1;
        while (cells.HasBytes(next, 1) && cells.Word(next) == kMfmSyncWord) next += kCellsPerByte;
        if (!cells.HasBytes(next, 1)) return std::nullopt;
        const std::uint8_t value = cells.Byte(next);
        if (wanted(value)) return Mark{start, next + kCellsPerByte, value};
        // Not wanted: go on after the syncs, with the word built afresh.
        from = next;
        n = next - 1;
        word = 0;
    }
    return std::nullopt;
}

std::uint16_t FieldCrcStart(Coding code) { return code == Coding::Mfm ? Crc16Ccitt(kMfmSyncBytes) : 0xFFFF; }

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
        found.push_back({cells.RawCell(mark->Start), mark->After + kIdFieldBytes * kCellsPerByte,
                         SectorId{id[1], id[2], id[3], std::int64_t{128} << (id[4] & 3u),
                                  doubleDensity ? Density::Double : Density::Single},
                         id[4], Crc16Ccitt(id, FieldCrcStart(cells.Code())) == crc});
        from = found.back().After;
    }
    return found;
}

// The data behind one ID field, when its data address mark lies within reach.
std::optional<SectorLocation> DataAfter(const CellView& cells, const SideCells& side, const IdField& id) {
    const std::size_t window = cells.Code() == Coding::Mfm ? kDataMarkWindowMfm : kDataMarkWindowFm;
    const auto mark = NextMark(cells, id.After, id.After + window * kCellsPerByte, IsDataMark);
    // The mark byte itself (past any MFM syncs) must lie within the window.
    if (!mark || mark->After - kCellsPerByte >= id.After + window * kCellsPerByte) return std::nullopt;

    const std::size_t size = std::size_t{128} << (id.SizeCode & 3u);
    std::vector<std::uint8_t> data;
    data.reserve(size);
    for (std::size_t k = 0; k < size && cells.HasBytes(mark->After + k * kCellsPerByte, 1); ++k) {
        data.push_back(cells.Byte(mark->After + k * kCellsPerByte));
    }
    bool dataCrcOk = false;
    const std::size_t crcAt = mark->After + size * kCellsPerByte;
    if (data.size() == size && cells.HasBytes(crcAt, 2)) {
        const std::array<std::uint8_t, 1> markByte{mark->Value};
        std::uint16_t crc = Crc16Ccitt(markByte, FieldCrcStart(cells.Code()));
        crc = Crc16Ccitt(data, crc);
        dataCrcOk = crc == ((cells.Byte(crcAt) << 8) | cells.Byte(crcAt + kCellsPerByte));
    }
    const std::int64_t offset = side.FileOffsetOf(cells.RawCell(mark->After));
    return SectorLocation{ImageFormat::Hfe, LocateMethod::Structure, offset, SectorBytes(std::move(data)),
                          static_cast<std::int64_t>(size), id.CrcOk, dataCrcOk};
}

}  // namespace

std::optional<HfeHeader> IdentifyHfe(const DiskData& image) {
    try {
        return ReadHeader(ImageReader(image));
    } catch (const StructureEnds&) {
        return std::nullopt;
    }
}

std::optional<SectorLocation> LocateInHfe(const DiskData& image, const HfeHeader& header) {
    try {
        const SideCells side = ReadSide(ImageReader(image), header, 0, 0);
        std::optional<SectorLocation> badId;  // an ID field with a bad CRC, kept in case no good one turns up
        for (const Decoding& decoding : kDecodings) {
            const CellView cells(side.Cells, decoding);
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
                const SideCells cells = ReadSide(file, header, cylinder, side);
                std::vector<IdField> good;
                for (const Decoding& decoding : kDecodings) {
                    for (const IdField& id : FindIdFields(CellView(cells.Cells, decoding))) {
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
