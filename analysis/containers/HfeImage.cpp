#include "HfeImage.h"

#include "CellDecoder.h"
#include "DecodedSectors.h"
#include "ImageReader.h"
#include "PackedCells.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>

namespace tabulon {

namespace {

constexpr std::int64_t kBlock = 512;      // header, track list and track data come in these
constexpr std::int64_t kSideChunk = 256;  // one side's share of a track block
constexpr auto kSideChunkBytes = static_cast<std::size_t>(kSideChunk);  // the same, as a count in memory
constexpr std::string_view kSignatureV1 = "HXCPICFE";
constexpr std::string_view kSignatureV3 = "HXCHFEV3";

// Version 3 opcodes as they lie in the file (low nibble 0xF).
constexpr std::uint8_t kOpcodeMask = 0x0F;
constexpr std::uint8_t kOpNop = 0x0F;
constexpr std::uint8_t kOpSetIndex = 0x8F;
constexpr std::uint8_t kOpSetBitRate = 0x4F;
constexpr std::uint8_t kOpSkipBits = 0xCF;
constexpr std::uint8_t kOpRand = 0x2F;

HfeHeader ReadHeader(ImageReader file) {
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

constexpr unsigned kCellsPerFileByte = 8;
constexpr std::size_t kWordBytes = 8;  // file bytes in one word of cells

bool IsOpcodeByte(std::uint8_t byte) { return (byte & kOpcodeMask) == kOpcodeMask; }

// The bits of a byte in reverse order.
constexpr std::uint8_t Reversed(std::uint8_t byte) {
    unsigned out = 0;
    for (unsigned bit = 0; bit < 8; ++bit) out |= ((unsigned{byte} >> bit) & 1u) << (7 - bit);
    return static_cast<std::uint8_t>(out);
}

// Eight file bytes as a word of cells: the first byte's first cell lowest.
std::uint64_t CellWord(std::span<const std::uint8_t, kWordBytes> bytes) {
    std::uint64_t word = 0;
    for (std::size_t k = 0; k < kWordBytes; ++k) word |= std::uint64_t{bytes[k]} << (kCellsPerFileByte * k);
    return word;
}

// One side of one track: its cells in time order, and where each 256-byte
// chunk of them lies in the file.
struct SideCells {
    PackedCells Cells;
    std::vector<std::size_t> ChunkFirstCell;  // the first cell each chunk gave
    std::int64_t TrackOffset = 0;
    int Side = 0;

    std::int64_t FileOffsetOf(std::size_t cell) const {
        const auto after = std::upper_bound(ChunkFirstCell.begin(), ChunkFirstCell.end(), cell);
        const auto chunk = std::max<std::ptrdiff_t>(0, (after - ChunkFirstCell.begin()) - 1);
        return TrackOffset + chunk * kBlock + Side * kSideChunk;
    }
};

// The side's bytes, chunk by chunk, into out (sideLength bytes).
void CopySide(ImageReader file, std::int64_t trackOffset, int side, std::span<std::uint8_t> out) {
    const auto sideLength = static_cast<std::int64_t>(out.size());
    for (std::int64_t chunk = 0; chunk * kSideChunk < sideLength; ++chunk) {
        const std::int64_t count = std::min(kSideChunk, sideLength - chunk * kSideChunk);
        file.CopyTo(trackOffset + chunk * kBlock + side * kSideChunk,
                    out.subspan(static_cast<std::size_t>(chunk * kSideChunk), static_cast<std::size_t>(count)));
    }
}

// Version 1: the side's bytes are its cells, word by word.
PackedCells PlainCells(ImageReader file, std::int64_t trackOffset, int side, std::size_t sideLength) {
    std::vector<std::uint64_t> words((sideLength + kWordBytes - 1) / kWordBytes, 0);
    const std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(words.data()), sideLength);
    CopySide(file, trackOffset, side, bytes);
    if constexpr (std::endian::native != std::endian::little) {
        for (std::uint64_t& word : words) {
            std::array<std::uint8_t, kWordBytes> held{};
            std::memcpy(held.data(), &word, kWordBytes);
            word = CellWord(held);
        }
    }
    return {std::move(words), sideLength * kCellsPerFileByte};
}

// Version 3: cells and opcodes, which say where cells are to be left out.
PackedCells CellsWithOpcodes(std::span<const std::uint8_t> bytes, std::vector<std::size_t>& chunkFirstCell) {
    CellPacker cells(bytes.size() * kCellsPerFileByte);
    chunkFirstCell.clear();
    std::size_t nextChunk = 0;
    for (std::size_t n = 0; n < bytes.size();) {
        while (nextChunk * kSideChunkBytes <= n) {
            chunkFirstCell.push_back(cells.Size());
            ++nextChunk;
        }
        // Most of a track is plain cells: take eight bytes at once while they
        // hold no opcode and stay inside this chunk.
        const std::size_t plainEnd = std::min(bytes.size(), nextChunk * kSideChunkBytes);
        while (n + kWordBytes <= plainEnd) {
            const auto run = bytes.subspan(n).first<kWordBytes>();
            if (std::any_of(run.begin(), run.end(), IsOpcodeByte)) break;
            cells.Append(CellWord(run), kWordBytes * kCellsPerFileByte);
            n += kWordBytes;
        }
        if (n >= plainEnd) continue;

        std::uint8_t byte = bytes[n];
        unsigned first = 0;  // cells of this byte to drop
        if (IsOpcodeByte(byte)) {
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
                first = Reversed(bytes[n + 1]) & 7u;
                n += 2;
                byte = bytes[n];
            }
        }
        // Dropping the first cells keeps the high bits of the byte.
        cells.Append(std::uint64_t{byte} >> first, kCellsPerFileByte - first);
        n += 1;
    }
    return std::move(cells).Finish();
}

SideCells ReadSide(ImageReader file, const HfeHeader& header, int cylinder, int side) {
    ImageReader entry = file.Window(header.TrackListOffset + 4 * std::int64_t{cylinder}, 4);
    SideCells out;
    out.TrackOffset = std::int64_t{entry.Le16(0)} * kBlock;
    out.Side = side;
    const auto sideLength = static_cast<std::size_t>(entry.Le16(2) / 2);
    if (out.TrackOffset < kBlock) throw StructureEnds();

    if (header.Version != 3) {
        out.Cells = PlainCells(file, out.TrackOffset, side, sideLength);
        for (std::size_t chunk = 0; chunk * kSideChunkBytes < sideLength; ++chunk) {
            out.ChunkFirstCell.push_back(chunk * kSideChunkBytes * kCellsPerFileByte);
        }
        return out;
    }
    std::vector<std::uint8_t> bytes(sideLength);
    CopySide(file, out.TrackOffset, side, bytes);
    out.Cells = CellsWithOpcodes(bytes, out.ChunkFirstCell);
    return out;
}

}  // namespace

std::optional<HfeHeader> IdentifyHfe(DiskData& image) {
    ImageReader file(image);
    // Most images are no HFE file: tell them by the signature, without an exception.
    if (!file.StartsWith(0, kSignatureV1) && !file.StartsWith(0, kSignatureV3)) return std::nullopt;
    return UnlessStructureEnds([&file] { return ReadHeader(file); });
}

namespace {

// One side of one cylinder, decoded from its cells when asked for; a track
// whose data lie outside the file holds no sectors.
class HfeTrack final : public WalkedTrack {
public:
    HfeTrack(ImageReader file, const HfeHeader& header, TrackPlace place)
        : WalkedTrack(place), file_(file), header_(header) {}

    TrackLayout Layout(TrackDetail detail) override {
        std::vector<DecodedSector> sectors;
        try {
            const SideCells side = ReadSide(file_, header_, Place().Cylinder, Place().Side);
            sectors = ListSectors(side.Cells, IdFields(side), DetailOf(detail));
        } catch (const StructureEnds&) {
        }
        return LayoutOf(Place().Cylinder, Place().Side, sectors);
    }

    std::optional<SectorLocation> Find(const SectorPosition& address) override {
        return std::move(FindEach(std::span(&address, 1)).front());
    }

    // The side's cells decoded once for all the sectors asked for.
    std::vector<std::optional<SectorLocation>> FindEach(std::span<const SectorPosition> addresses) override {
        std::vector<std::optional<SectorLocation>> found(addresses.size());
        std::vector<SectorQuery> queries;
        std::vector<std::size_t> asked;  // the address of each query
        for (std::size_t n = 0; n < addresses.size(); ++n) {
            if (const auto query = QueryOf(addresses[n])) {
                queries.push_back(*query);
                asked.push_back(n);
            }
        }
        if (queries.empty()) return found;
        try {
            const SideCells side = ReadSide(file_, header_, Place().Cylinder, Place().Side);
            std::vector<std::optional<DecodedSector>> sectors = FindSectors(side.Cells, IdFields(side), queries);
            for (std::size_t n = 0; n < sectors.size(); ++n) {
                if (!sectors[n]) continue;
                const std::int64_t offset = side.FileOffsetOf(sectors[n]->DataStart);
                found[asked[n]] = LocationOf(std::move(*sectors[n]), kHfeContainer.Format, offset);
            }
        } catch (const StructureEnds&) {
            return std::vector<std::optional<SectorLocation>>(addresses.size());
        }
        return found;
    }

private:
    // The side's ID fields: found once, then kept with the header, unless
    // there are far more than a real track holds (noise, or a hostile file).
    std::vector<CellIdField> IdFields(const SideCells& side) {
        constexpr std::size_t kMostKept = 128;
        auto& known = *header_.IdFields;
        const auto key = std::make_pair(Place().Cylinder, Place().Side);
        if (const auto found = known.find(key); found != known.end()) return found->second;
        std::vector<CellIdField> ids = IdFieldsInTime(side.Cells);
        if (ids.size() <= kMostKept) known.emplace(key, ids);
        return ids;
    }

    ImageReader file_;
    const HfeHeader& header_;
};

// Every side of every cylinder the header promises, in order.
void WalkHfe(DiskData& image, const HfeHeader& header, const WalkScope& scope, const TrackVisitor& visit) {
    ImageReader file(image);
    ForEachPlace(scope, header.Tracks, header.Sides, [&](TrackPlace place) {
        HfeTrack track(file, header, place);
        return visit(track);
    });
}

// The header's cylinders, and how many of them, from 0, have their data in
// the file (the header was checked for the track list lying inside it).
TrackList DeclaredHfe(DiskData& image, const HfeHeader& header) {
    TrackList list{{}, header.Tracks, 0};
    list.GoodIdsOnly = true;
    ImageReader file(image);
    for (bool held = true; held && list.HeldCylinders < header.Tracks;) {
        const std::int64_t entry = header.TrackListOffset + 4 * std::int64_t{list.HeldCylinders};
        held = file.Has(std::int64_t{file.Le16(entry)} * kBlock, file.Le16(entry + 2));
        if (held) ++list.HeldCylinders;
    }
    return list;
}

constexpr std::array<std::string_view, 1> kHfeExtensions{".hfe"};
constexpr ContainerFunctions<HfeHeader> kHfeFunctions{
    .Identify = IdentifyHfe, .Walk = WalkHfe, .Declared = DeclaredHfe};
}  // namespace

constinit const ContainerType kHfeContainer{{"HFE", "   HFE Format"},
                                            kHfeExtensions,
                                            HeaderContainer<HfeHeader, kHfeContainer, kHfeFunctions>::Open,
                                            nullptr,
                                            SectorReach::ByTrack};

}  // namespace tabulon
