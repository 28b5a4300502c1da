#include "DecodedSector.h"

#include <tuple>

namespace tabulon {

bool BetterReading(const DecodedSector& a, const DecodedSector& b) {
    const auto rank = [](const DecodedSector& s) {
        return std::tuple(s.IdCrcOk, s.HasData(), s.DataCrcOk.value_or(false), s.Held);
    };
    return rank(a) > rank(b);
}

void SectorChoice::Offer(DecodedSector reading) {
    if (!reading.HasData() || !Wants(reading.IdCrcOk)) return;
    settled_ = reading.IdCrcOk;
    chosen_ = std::move(reading);
}

}  // namespace tabulon
