// The cell decoder over arbitrary cells, with no container around them: the
// input's first byte says how many of the last byte's cells to drop (a track
// need not end on a byte), the rest are the cells, first in time lowest, as an
// HFE side holds them. Checked: the ID fields and the system sector found are
// well formed, lie inside the cells in order, and agree with each other.
#include "CellDecoder.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>

namespace {

using namespace tabulon;
using fuzz::Check;

constexpr std::size_t kCellsPerByte = 16;  // a recorded byte: clock and data cells
constexpr std::size_t kIdFieldBytes = 7;   // mark, cylinder, head, sector, size code, CRC

bool KnownSize(std::int64_t size) { return size == 128 || size == 256 || size == 512 || size == 1024; }

// The first count cells of bytes, the first in time lowest (cells past count are 0).
PackedCells Cells(const std::uint8_t* bytes, std::size_t size, std::size_t count) {
    std::vector<std::uint64_t> words((count + 63) / 64);
    for (std::size_t n = 0; n < size && 8 * n < count; ++n) {
        const std::size_t first = 8 * n;
        std::uint64_t byte = bytes[n];
        if (count - first < 8) byte &= (std::uint64_t{1} << (count - first)) - 1;
        words[first / 64] |= byte << (first % 64);
    }
    return {std::move(words), count};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t fileBytes = size - 1;
    const std::size_t dropped = data[0] % 8;
    const std::size_t cells = 8 * fileBytes >= dropped ? 8 * fileBytes - dropped : 0;
    const PackedCells whole = Cells(data + 1, fileBytes, cells);

    const std::vector<DecodedSector> listed = ListSectors(whole, SectorDetail::WithData);
    // Four readings, each ID field at least seven recorded bytes long.
    Check(listed.size() <= 4 * (cells / (kIdFieldBytes * kCellsPerByte) + 1), "ID field count");
    std::size_t last = 0;
    for (const DecodedSector& sector : listed) {
        Check(KnownSize(sector.Size), "ID field sector size");
        Check(sector.FirstCell >= last && sector.FirstCell < cells, "in the order they lie, inside the cells");
        last = sector.FirstCell;
        Check(!sector.DataCrcOk.value_or(false) || !sector.CutShort(), "a good data CRC follows the whole sector");
        // The last data byte's last cell: 15 of its cells (each DataStep / 16 track cells) after its first.
        const std::size_t lastCell =
            sector.DataStart + (sector.Data.size() - 1) * sector.DataStep + 15 * (sector.DataStep / kCellsPerByte);
        Check(sector.Data.empty() || lastCell < cells, "the data lies inside the cells");
    }
    Check(ListSectors(whole, SectorDetail::IdsOnly).size() == listed.size(), "the same ID fields either way");

    const auto found = FindSector(whole, SectorQuery{0, 0, 2});
    if (!found) return 0;
    Check(found->HasData() && KnownSize(found->Size), "a data field and a sector size");
    Check(static_cast<std::int64_t>(found->Data.size()) <= found->Size, "no more bytes than the sector's size");
    Check(!*found->DataCrcOk || !found->CutShort(), "a good data CRC follows the whole sector");
    const bool listedGood = std::any_of(listed.begin(), listed.end(), [](const DecodedSector& s) {
        return s.IdCrcOk && s.Id.Cylinder == 0 && s.Id.Head == 0 && s.Id.Sector == 2;
    });
    Check(!found->IdCrcOk || listedGood, "a good sector-2 ID field is among the ID fields listed");
    return 0;
}
