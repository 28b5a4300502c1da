#include "FluxTrack.h"

#include "CellView.h"
#include "Pll.h"

#include <algorithm>
#include <map>
#include <span>

namespace tabulon {

namespace {

constexpr std::size_t kFirstRead = 8192;                    // intervals read first: enough to find the rate
constexpr std::size_t kFirstStep = 4096;                    // intervals made into cells before the first search
constexpr std::size_t kPutOffAfter = 1536 * kCellsPerByte;  // cells with no good ID field: a damaged revolution
constexpr std::size_t kPutOffAfterBad = 2;                  // ID fields with a bad CRC before any good one: too
constexpr std::size_t kSamePlace = 64 * kCellsPerByte;      // fields this close in two revolutions are one

// A revolution's intervals as far as read, and the cell period they show.
struct Revolution {
    std::vector<std::uint32_t> Flux;
    std::size_t Asked = 0;  // the read's limit: fewer came when the revolution ended
    double Period = 0;

    bool AllRead() const { return Flux.size() < Asked || Asked >= FluxTrack::kMaxIntervals; }
};

// Reads (again) up to limit intervals; false when the revolution ends early.
bool Read(FluxTrack& track, std::size_t revolution, std::size_t limit, Revolution& out) {
    out.Asked = limit;
    return track.ReadRevolution(revolution, limit, out.Flux);
}

// A revolution's first intervals and its cell period; false when it ends early or shows no rate.
bool Start(FluxTrack& track, std::size_t revolution, std::size_t limit, Revolution& out) {
    if (!Read(track, revolution, limit, out)) return false;
    const auto rate = CellRateOf(out.Flux, track.TicksPerMicrosecond());
    if (!rate) return false;
    out.Period = rate->Period;
    return true;
}

// The search for a sector in one revolution, its cells made in steps that
// double, so that the searches over the cells made so far cost at most twice
// the last one. A search put off keeps what it made, to go on from there.
class RevolutionSearch {
public:
    RevolutionSearch(FluxTrack& track, std::size_t n) : track_(&track), n_(n) {}

    // Goes on until the revolution settles the search (then true), or until it
    // shows itself damaged when mayPutOff (then false).
    bool Run(const SectorQuery& query, FluxBudget& budget, bool mayPutOff) {
        if (!cells_) {
            if (!Start(*track_, n_, kFirstRead, revolution_)) return true;
            cells_.emplace(revolution_.Period, FluxTrack::kMaxCells);
        }
        for (;; step_ *= 2) {
            if (cells_->Used() == revolution_.Flux.size() && !revolution_.AllRead()) {
                // The same intervals first, then more.
                if (!Read(*track_, n_, 2 * revolution_.Asked, revolution_)) return true;
                continue;
            }
            const std::size_t before = cells_->Used();
            cells_->Extend(revolution_.Flux, before + std::min(step_, budget.Left()));
            budget.Spend(cells_->Used() - before);
            const bool whole = cells_->Full() || budget.Left() == 0 ||
                               (cells_->Used() == revolution_.Flux.size() && revolution_.AllRead());
            const PackedCells packed = cells_->Cells();
            CellSearch search = SearchCells(packed, query, whole);
            if (search.Settled) {
                if (search.Found) {
                    const std::size_t interval = cells_->IntervalOf(revolution_.Flux, search.Found->DataStart);
                    found_ = FluxSector{std::move(*search.Found), n_, interval};
                }
                return true;
            }
            const bool noGoodId = packed.Size() >= kPutOffAfter && (!search.Good || *search.Good >= kPutOffAfter);
            if (mayPutOff && (noGoodId || search.BadBeforeGood >= kPutOffAfterBad)) {
                step_ *= 2;
                return false;
            }
        }
    }

    std::optional<FluxSector>& Found() { return found_; }

private:
    FluxTrack* track_;
    std::size_t n_;
    Revolution revolution_;
    std::optional<FluxCells> cells_;
    std::size_t step_ = kFirstStep;
    std::optional<FluxSector> found_;
};

// What names a sector read with a good ID CRC.
std::uint64_t KeyOf(const DecodedSector& s) {
    return (std::uint64_t{s.Id.Cylinder} << 32) | (std::uint64_t{s.Id.Head} << 24) |
           (std::uint64_t{s.Id.Sector} << 16) | (std::uint64_t{s.Id.SizeCode} << 8) |
           (s.Coding == Encoding::Mfm ? 1u : 0u);
}

// Adds a revolution's readings to the best so far (in the order they lie),
// sector by sector: a reading is the same sector as a reading before it when
// both IDs read good and are the same, or else when its field lies within
// kSamePlace of it in the same encoding. Unmatched readings are added.
void Merge(std::vector<DecodedSector>& best, std::vector<DecodedSector> readings) {
    const std::size_t before = best.size();
    std::vector<std::size_t> places(before);  // where each lay, kept while better readings replace them
    std::map<std::uint64_t, std::vector<std::size_t>> good;
    for (std::size_t k = 0; k < before; ++k) {
        places[k] = best[k].FirstCell;
        if (best[k].IdCrcOk) good[KeyOf(best[k])].push_back(k);
    }
    std::vector<bool> matched(before, false);
    const auto match = [&](const DecodedSector& reading) -> std::optional<std::size_t> {
        if (reading.IdCrcOk) {
            if (const auto same = good.find(KeyOf(reading)); same != good.end()) {
                for (const std::size_t k : same->second) {
                    if (!matched[k]) return k;
                }
            }
        }
        const std::size_t from = reading.FirstCell > kSamePlace ? reading.FirstCell - kSamePlace : 0;
        for (auto k = static_cast<std::size_t>(std::lower_bound(places.begin(), places.end(), from) - places.begin());
             k < before && places[k] < reading.FirstCell + kSamePlace; ++k) {
            if (!matched[k] && best[k].Coding == reading.Coding && !(best[k].IdCrcOk && reading.IdCrcOk)) return k;
        }
        return std::nullopt;
    };
    for (DecodedSector& reading : readings) {
        const auto k = match(reading);
        if (!k) {
            best.push_back(std::move(reading));
            continue;
        }
        matched[*k] = true;
        if (BetterReading(reading, best[*k])) best[*k] = std::move(reading);
    }
    std::stable_sort(best.begin(), best.end(),
                     [](const DecodedSector& a, const DecodedSector& b) { return a.FirstCell < b.FirstCell; });
}

}  // namespace

std::optional<FluxSector> FindFluxSector(FluxTrack& track, const SectorQuery& query, FluxBudget& budget) {
    std::optional<FluxSector> best;
    // True once a reading is good: nothing can be better.
    const auto take = [&best](std::optional<FluxSector>& found) {
        if (!found) return false;
        if (!best || BetterReading(found->Sector, best->Sector)) best = std::move(found);
        return best->Sector.Good();
    };
    std::vector<RevolutionSearch> putOff;
    const std::size_t revolutions = track.Revolutions();
    for (std::size_t n = 0; n < revolutions; ++n) {
        RevolutionSearch search(track, n);
        if (!search.Run(query, budget, n + 1 < revolutions)) {
            putOff.push_back(std::move(search));
        } else if (take(search.Found())) {
            return best;
        }
    }
    for (RevolutionSearch& search : putOff) {
        search.Run(query, budget, false);
        if (take(search.Found())) break;
    }
    return best;
}

std::vector<DecodedSector> ListFluxSectors(FluxTrack& track, SectorDetail detail, FluxBudget& budget) {
    std::vector<DecodedSector> best;
    const auto complete = [detail](const DecodedSector& s) {
        return detail == SectorDetail::IdsOnly ? s.IdCrcOk : s.Good();
    };
    Revolution revolution;
    for (std::size_t n = 0; n < track.Revolutions() && budget.Left() > 0; ++n) {
        if (!Start(track, n, FluxTrack::kMaxIntervals, revolution)) continue;
        const std::size_t count = std::min(revolution.Flux.size(), budget.Left());
        budget.Spend(count);
        const PackedCells cells =
            FluxToCells(std::span(revolution.Flux).first(count), revolution.Period, FluxTrack::kMaxCells);
        std::vector<DecodedSector> listed = ListSectors(cells, detail);
        for (DecodedSector& sector : listed) sector.Revolution = n;
        Merge(best, std::move(listed));
        if (!best.empty() && std::all_of(best.begin(), best.end(), complete)) break;
    }
    return best;
}

}  // namespace tabulon
