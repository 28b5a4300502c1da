#include "DecodedSectors.h"

#include "AddressMarks.h"

#include <utility>

namespace tabulon {

std::optional<SectorQuery> QueryOf(const SectorPosition& address) {
    const auto byte = [](int n) { return n >= 0 && n <= 255; };
    if (!byte(address.Cylinder) || !byte(address.Side) || !byte(address.Sector)) return std::nullopt;
    return SectorQuery{static_cast<std::uint8_t>(address.Cylinder), static_cast<std::uint8_t>(address.Side),
                       static_cast<std::uint8_t>(address.Sector)};
}

SectorLocation LocationOf(DecodedSector sector, ImageFormat format, std::int64_t fileOffset) {
    const bool cutShort = sector.CutShort();
    return SectorLocation{format,
                          LocateMethod::Structure,
                          fileOffset,
                          SectorBytes(std::move(sector.Data), cutShort),
                          sector.Size,
                          sector.IdCrcOk,
                          sector.DataCrcOk.value_or(false)};
}

SectorId SectorIdOf(const SectorAddress& id, Encoding coding) {
    return {id.Cylinder, id.Head, id.Sector, SectorSizeOfCode(id.SizeCode),
            coding == Encoding::Mfm ? Density::Double : Density::Single};
}

SectorReading ReadingOf(const DecodedSector& sector) {
    SectorReading reading{sector.IdCrcOk, sector.DataCrcOk, sector.Deleted};
    if (sector.Revolution) reading.Revolution = static_cast<int>(*sector.Revolution);
    return reading;
}

TrackLayout LayoutOf(int cylinder, int side, const std::vector<DecodedSector>& sectors) {
    TrackLayout layout{cylinder, side, {}};
    layout.Sectors.reserve(sectors.size());
    layout.Readings.reserve(sectors.size());
    for (const DecodedSector& sector : sectors) {
        layout.Sectors.push_back(SectorIdOf(sector));
        layout.Readings.push_back(ReadingOf(sector));
    }
    return layout;
}

TrackLayout FluxWalkedTrack::Layout(TrackDetail detail) {
    const auto sectors = UnlessStructureEnds([&] {
                             return ListFluxSectors(Flux(), DetailOf(detail), budget_);
                         }).value_or(std::vector<DecodedSector>{});
    return LayoutOf(Place().Cylinder, Place().Side, sectors);
}

std::optional<SectorLocation> FluxWalkedTrack::Find(const SectorPosition& address) {
    const auto query = QueryOf(address);
    if (!query) return std::nullopt;
    return UnlessStructureEnds([&]() -> std::optional<SectorLocation> {
               auto found = FindFluxSector(Flux(), *query, budget_);
               if (!found) return std::nullopt;
               const std::int64_t at = FileOffsetOf(found->Revolution, found->Interval);
               return LocationOf(std::move(found->Sector), format_, at);
           })
        .value_or(std::nullopt);
}

std::vector<SectorId> GoodIds(const std::vector<DecodedSector>& sectors) {
    std::vector<SectorId> ids;
    ids.reserve(sectors.size());
    for (const DecodedSector& sector : sectors) {
        if (sector.IdCrcOk) ids.push_back(SectorIdOf(sector));
    }
    return ids;
}

}  // namespace tabulon
