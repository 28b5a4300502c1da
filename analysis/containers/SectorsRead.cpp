#include "SectorsRead.h"

#include <algorithm>
#include <tuple>

namespace tabulon {

namespace {

auto KeyOf(int cylinder, int side, int sector) { return std::make_tuple(cylinder, side, sector); }

}  // namespace

void SectorsRead::Add(const SectorPosition& at, std::optional<std::span<const std::uint8_t>> bytes) {
    Entry entry{at.Cylinder, at.Side, at.Sector, bytes.has_value(), bytes_.size(), 0};
    if (bytes) {
        bytes_.insert(bytes_.end(), bytes->begin(), bytes->end());
        entry.Length = bytes->size();
    }
    if (!entries_.empty()) {
        const Entry& last = entries_.back();
        if (KeyOf(last.Cylinder, last.Side, last.Sector) > KeyOf(at.Cylinder, at.Side, at.Sector)) sorted_ = false;
    }
    entries_.push_back(entry);
}

void SectorsRead::Add(const SectorPosition& at, std::optional<SectorLocation>& found) {
    if (!found) {
        Add(at, std::nullopt);
        return;
    }
    SectorBytes& bytes = found->Sector;
    const std::int64_t length =
        std::max<std::int64_t>(std::min(bytes.Length(), found->SectorSize.value_or(bytes.Length())), 0);
    std::vector<std::uint8_t> copy(static_cast<std::size_t>(length));
    bytes.CopyTo(copy);
    Add(at, std::span<const std::uint8_t>(copy));
}

void SectorsRead::Sort() const {
    if (sorted_) return;
    // Stable: of one address, the first track's record comes first.
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return KeyOf(a.Cylinder, a.Side, a.Sector) < KeyOf(b.Cylinder, b.Side, b.Sector);
    });
    sorted_ = true;
}

SectorsRead::Seen SectorsRead::Look(const SectorPosition& at, std::span<const std::uint8_t>& bytes) const {
    Sort();
    const auto key = KeyOf(at.Cylinder, at.Side, at.Sector);
    auto entry = std::lower_bound(entries_.begin(), entries_.end(), key, [](const Entry& a, const auto& k) {
        return KeyOf(a.Cylinder, a.Side, a.Sector) < k;
    });
    Seen seen = Seen::NotRead;
    for (; entry != entries_.end() && KeyOf(entry->Cylinder, entry->Side, entry->Sector) == key; ++entry) {
        if (entry->Found) {
            bytes = std::span(bytes_).subspan(entry->Offset, entry->Length);
            return Seen::Found;
        }
        seen = Seen::Missing;
    }
    return seen;
}

void SectorsRead::Clear() noexcept {
    entries_.clear();
    bytes_.clear();
    sorted_ = true;
}

}  // namespace tabulon
