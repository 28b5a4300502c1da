#pragma once

#include "SectorLocation.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tabulon {

// Sectors a walk over the tracks read along, by their addresses: each as
// FindSector finds it, or found missing. Their bytes lie one after another in
// one buffer, so that keeping a whole disk's sectors costs no allocation each.
class SectorsRead {
public:
    // What was read of one sector.
    enum class Seen {
        NotRead,  // not read along: ask the container
        Missing,  // read along, and FindSector finds nothing there
        Found,
    };

    // Records the sector at at: bytes, where it was found. A place's tracks
    // after its first add only the numbers those before them found missing.
    void Add(const SectorPosition& at, std::optional<std::span<const std::uint8_t>> bytes);
    // The same from what a container's search gave: at most its recorded size of its bytes.
    void Add(const SectorPosition& at, std::optional<SectorLocation>& found);

    // What was read of the sector at at, and where it was found, its bytes
    // (valid until the next Add).
    Seen Look(const SectorPosition& at, std::span<const std::uint8_t>& bytes) const;

    // The bytes kept in all.
    std::int64_t Kept() const noexcept { return static_cast<std::int64_t>(bytes_.size()); }
    bool Empty() const noexcept { return entries_.empty(); }
    void Clear() noexcept;

private:
    struct Entry {
        int Cylinder = 0;
        int Side = 0;
        int Sector = 0;
        bool Found = false;
        std::size_t Offset = 0;
        std::size_t Length = 0;
    };
    void Sort() const;

    mutable std::vector<Entry> entries_;
    mutable bool sorted_ = true;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tabulon
