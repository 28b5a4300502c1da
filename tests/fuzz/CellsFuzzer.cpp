// The cell decoder over arbitrary cells, with no container around them: the
// input's first byte says how many of the last byte's cells to drop (a track
// need not end on a byte), the rest are the cells, first in time lowest, as an
// HFE side holds them. Checked: the ID fields and the system sector found are
// well formed, lie inside the cells, and agree with each other.
#include "CellDecoder.h"
#include "FuzzCheck.h"
#include "HfeImage.h"

#include <algorithm>
#include <cstdint>

namespace {

using namespace tabulon;
using fuzz::Check;

constexpr std::int64_t kCellsPerByte = 16;  // a recorded byte: clock and data cells
constexpr std::int64_t kIdFieldBytes = 7;   // mark, cylinder, head, sector, size code, CRC

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

    const std::vector<SectorId> ids = GoodIdFields(whole);
    // Four readings, each ID field at least seven recorded bytes long.
    Check(ids.size() <= 4 * (cells / static_cast<std::size_t>(kIdFieldBytes * kCellsPerByte) + 1), "ID field count");
    for (const SectorId& id : ids) Check(KnownSize(id.Size), "ID field sector size");

    const auto found = SystemSectorInCells(whole, kHfeContainer.Format,
                                           [](std::size_t cell) { return static_cast<std::int64_t>(1 + cell / 8); });
    if (!found) return 0;
    Check(found->Format == kHfeContainer.Format && found->Method == LocateMethod::Structure, "format and method");
    Check(found->FileOffset >= 1 && found->FileOffset <= static_cast<std::int64_t>(1 + fileBytes), "the data's offset");
    Check(found->SectorSize && KnownSize(*found->SectorSize), "sector size");
    Check(found->IdCrcOk.has_value() && found->DataCrcOk.has_value(), "both CRCs checked");
    const std::int64_t length = found->Sector.Length();
    Check(length >= 0 && length <= *found->SectorSize, "no more bytes than the sector's size");
    Check(!*found->DataCrcOk || length == *found->SectorSize, "a good data CRC follows the whole sector");
    Check(length * kCellsPerByte <= static_cast<std::int64_t>(cells), "the data lies inside the cells");
    const bool listed = std::any_of(
        ids.begin(), ids.end(), [](const SectorId& id) { return id.Cylinder == 0 && id.Head == 0 && id.Sector == 2; });
    Check(!*found->IdCrcOk || listed, "a good system-sector ID field is among the good ID fields");
    return 0;
}
