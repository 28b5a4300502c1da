#include "CellDecoder.h"

#include "CellView.h"
#include "DataField.h"
#include "IdFieldSearch.h"
#include "MarkSearch.h"

#include <algorithm>

namespace tabulon {

namespace {

// The bytes after one ID field, read out of the cells of its decoding.
class CellBytes final : public RecordedBytes {
public:
    CellBytes(const CellView& cells, std::size_t idEnd, const CellFileOffset& fileOffsetOf)
        : cells_(cells), idEnd_(idEnd), fileOffsetOf_(fileOffsetOf) {}

    bool FindDataMark(std::int64_t window) override {
        const std::size_t limit = idEnd_ + static_cast<std::size_t>(window) * kCellsPerByte;
        const auto mark = NextMark(cells_, idEnd_, limit, MarkKind::Data);
        // The mark byte itself (past any MFM syncs) must lie within the window.
        if (!mark || mark->After - kCellsPerByte >= limit) return false;
        markByte_ = mark->After - kCellsPerByte;
        return true;
    }
    bool Has(std::int64_t n, std::int64_t count) const override {
        return cells_.HasBytes(CellOf(n), static_cast<std::size_t>(count));
    }
    std::uint8_t At(std::int64_t n) const override { return cells_.Byte(CellOf(n)); }
    std::int64_t FileOffset(std::int64_t n) const override { return fileOffsetOf_(cells_.TrackCell(CellOf(n))); }

private:
    std::size_t CellOf(std::int64_t n) const { return markByte_ + static_cast<std::size_t>(n) * kCellsPerByte; }

    const CellView& cells_;
    std::size_t idEnd_;
    const CellFileOffset& fileOffsetOf_;
    std::size_t markByte_ = 0;
};

}  // namespace

std::optional<SectorLocation> SystemSectorInCells(const PackedCells& cells, ImageFormat format,
                                                  const CellFileOffset& fileOffsetOf) {
    std::optional<SectorLocation> badId;  // an ID field with a bad CRC, kept in case no good one turns up
    for (const CellIdField& id : FindIdFields(cells)) {
        if (!IsSystemSector(id.Field.Id) || (!id.Field.CrcOk && badId)) continue;
        const CellView view(cells, kDecodings[id.Decoding]);
        CellBytes bytes(view, id.After, fileOffsetOf);
        auto found = SectorAfterIdField(bytes, id.Field, format);
        if (found && id.Field.CrcOk) return found;
        if (found) badId = std::move(found);
    }
    return badId;
}

std::vector<SectorId> GoodIdFields(const PackedCells& cells) {
    std::vector<CellIdField> good = FindIdFields(cells);
    std::erase_if(good, [](const CellIdField& id) { return !id.Field.CrcOk; });
    std::sort(good.begin(), good.end(),
              [](const CellIdField& a, const CellIdField& b) { return a.TrackCell < b.TrackCell; });
    std::vector<SectorId> ids;
    ids.reserve(good.size());
    for (const CellIdField& id : good) ids.push_back(id.Field.Id);
    return ids;
}

}  // namespace tabulon
