#include "FluxTrack.h"

#include "AddressMarks.h"
#include "CellBytes.h"
#include "CellView.h"
#include "IdFieldSearch.h"
#include "ImageReader.h"
#include "Pll.h"

#include <algorithm>
#include <span>
#include <tuple>

namespace tabulon {

namespace {

constexpr std::size_t kFirstRead = 8192;  // intervals read first: enough to find the rate
constexpr std::size_t kStep = 4096;       // intervals made into cells between searches for sector 2

// A revolution's intervals as far as read, and the cell period they show.
struct Revolution {
    std::vector<std::uint32_t> Flux;
    std::size_t Asked = 0;  // the read's limit: fewer came when the revolution ended
    double Period = 0;

    bool AllRead() const { return Flux.size() < Asked || Asked >= FluxTrack::kMaxIntervals; }
};

// Reads (again) up to limit intervals; false when the revolution ends early.
bool Read(const FluxTrack& track, std::size_t revolution, std::size_t limit, Revolution& out) {
    out.Asked = limit;
    return UnlessStructureEnds([&] {
               track.ReadRevolution(revolution, limit, out.Flux);
               return true;
           })
        .has_value();
}

// A revolution's first intervals and its cell period; false when it ends early or shows no rate.
bool Start(const FluxTrack& track, std::size_t revolution, std::size_t limit, Revolution& out) {
    if (!Read(track, revolution, limit, out)) return false;
    const auto period = CellPeriodOf(out.Flux, track.TicksPerMicrosecond());
    if (!period) return false;
    out.Period = *period;
    return true;
}

// The ID fields of all decodings in the order they lie.
std::vector<CellIdField> IdFieldsInTime(const PackedCells& cells) {
    std::vector<CellIdField> ids = FindIdFields(cells);
    std::stable_sort(ids.begin(), ids.end(),
                     [](const CellIdField& a, const CellIdField& b) { return a.TrackCell < b.TrackCell; });
    return ids;
}

struct Reading {
    std::optional<SectorLocation> Found;
    bool Settled = false;  // more cells cannot change it
};

// Sector 2 among the cells of a revolution's first intervals (whole: all of
// them): the first ID field naming it with a good CRC whose data mark follows,
// or else the first with a bad CRC. Unsettled while one of them reaches past
// the cells made so far.
Reading SectorTwoIn(const PackedCells& cells, bool whole, ImageFormat format, const CellFileOffset& fileOffsetOf) {
    std::optional<SectorLocation> badId;
    for (const CellIdField& id : IdFieldsInTime(cells)) {
        if (!IsSystemSector(id.Field.Id) || (!id.Field.CrcOk && badId)) continue;
        const CellView view(cells, kDecodings[id.Decoding]);
        CellBytes bytes(view, id.After, fileOffsetOf);
        auto found = SectorAfterIdField(bytes, id.Field, format);
        const bool doubleDensity = id.Field.Id.Recording == Density::Double;
        const auto window = static_cast<std::size_t>(DataMarkWindow(doubleDensity)) * kCellsPerByte;
        const bool seenWhole = found ? bytes.Has(1 + *found->SectorSize, 2) : id.After + window <= view.Size();
        if (!seenWhole && !whole) return {};
        if (!found) continue;
        if (id.Field.CrcOk) return {std::move(found), true};
        badId = std::move(found);
    }
    return {std::move(badId), whole};
}

// Whether a reading of sector 2 is better than another: found, then a good ID
// CRC, then a good data CRC, then more of its data.
bool Better(const std::optional<SectorLocation>& a, const std::optional<SectorLocation>& b) {
    if (!b) return a.has_value();
    if (!a) return false;
    const auto rank = [](const SectorLocation& s) {
        return std::tuple(s.IdCrcOk.value_or(true), s.DataCrcOk.value_or(true), s.Sector.Length());
    };
    return rank(*a) > rank(*b);
}

}  // namespace

std::optional<SectorLocation> SystemSectorInFlux(const FluxTrack& track, ImageFormat format) {
    std::optional<SectorLocation> best;
    Revolution revolution;
    for (std::size_t n = 0; n < track.Revolutions(); ++n) {
        if (!Start(track, n, kFirstRead, revolution)) continue;
        FluxCells cells(revolution.Period, FluxTrack::kMaxCells);
        const CellFileOffset fileOffsetOf = [&](std::size_t cell) {
            return track.FileOffsetOf(n, cells.IntervalOf(revolution.Flux, cell));
        };
        Reading reading;
        bool readable = true;
        while (!reading.Settled && readable) {
            if (cells.Used() == revolution.Flux.size() && !revolution.AllRead()) {
                readable = Read(track, n, 2 * revolution.Asked, revolution);  // the same intervals first, then more
                continue;
            }
            cells.Extend(revolution.Flux, cells.Used() + kStep);
            const bool whole = cells.Full() || (cells.Used() == revolution.Flux.size() && revolution.AllRead());
            reading = SectorTwoIn(cells.Cells(), whole, format, fileOffsetOf);
        }
        if (reading.Found && reading.Found->CrcOk()) return reading.Found;
        if (Better(reading.Found, best)) best = std::move(reading.Found);
    }
    return best;
}

std::vector<SectorId> IdFieldsInFlux(const FluxTrack& track) {
    std::vector<SectorId> best;
    Revolution revolution;
    for (std::size_t n = 0; n < track.Revolutions(); ++n) {
        if (!Start(track, n, FluxTrack::kMaxIntervals, revolution)) continue;
        std::vector<SectorId> good;
        std::size_t bad = 0;
        for (const CellIdField& id :
             IdFieldsInTime(FluxToCells(revolution.Flux, revolution.Period, FluxTrack::kMaxCells))) {
            if (id.Field.CrcOk) {
                good.push_back(id.Field.Id);
            } else {
                ++bad;
            }
        }
        if (!good.empty() && bad == 0) return good;
        if (good.size() > best.size()) best = std::move(good);
    }
    return best;
}

}  // namespace tabulon
