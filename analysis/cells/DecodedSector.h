#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tabulon {

// The two recordings a floppy controller writes: single density (FM) and double (MFM).
enum class Encoding { Fm, Mfm };

// What an ID field names: cylinder, head, sector number and size code.
struct SectorAddress {
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    std::uint8_t Sector = 0;
    std::uint8_t SizeCode = 0;

    bool operator==(const SectorAddress&) const = default;
};

// The sector a search asks for.
struct SectorQuery {
    std::uint8_t Cylinder = 0;
    std::uint8_t Head = 0;
    std::uint8_t Sector = 0;

    bool Matches(const SectorAddress& id) const {
        return id.Cylinder == Cylinder && id.Head == Head && id.Sector == Sector;
    }
};

// One sector as the decoder read it. Positions are in the units of what was
// decoded: a track's cells (HFE: the side's cells; flux: the revolution's),
// or, for a track kept as bytes (DMK), the positions its reader gives.
struct DecodedSector {
    SectorAddress Id;
    std::int64_t Size = 0;  // the data bytes the size code gives: 128 to 1024
    Encoding Coding = Encoding::Mfm;
    bool IdCrcOk = false;
    std::optional<bool> DataCrcOk;               // nothing when no data mark follows within the window
    bool Deleted = false;                        // a data mark F8 to FA (deleted data) rather than FB
    std::int64_t Held = 0;                       // how much of the data the track holds: Size unless cut short
    std::vector<std::uint8_t> Data;              // those bytes, where they were kept
    std::size_t FirstCell = 0;                   // where the ID field's mark begins
    std::size_t DataStart = 0;                   // where the first data byte begins
    std::size_t DataStep = 0;                    // and from one data byte to the next
    std::optional<std::size_t> Revolution = {};  // a flux track's revolution it was read from

    bool HasData() const noexcept { return DataCrcOk.has_value(); }
    bool CutShort() const noexcept { return Held < Size; }
    bool Good() const noexcept { return IdCrcOk && DataCrcOk.value_or(false); }
};

// Whether reading a is better than reading b of the same sector: a good ID
// CRC, then a data field, then a good data CRC, then more of its data.
bool BetterReading(const DecodedSector& a, const DecodedSector& b);

// The rule a controller follows among the ID fields that name the sector
// asked for, met in the order they lie: the first with a good ID CRC whose
// data mark follows, or else the first such with a bad ID CRC.
class SectorChoice {
public:
    // Whether a reading with this ID CRC verdict can still change the choice
    // (so that one that cannot need not be decoded).
    bool Wants(bool idCrcOk) const noexcept { return !settled_ && (idCrcOk || !chosen_); }
    // The next reading in time; readings without a data field do not count.
    void Offer(DecodedSector reading);
    bool Settled() const noexcept { return settled_; }
    std::optional<DecodedSector> Take() && { return std::move(chosen_); }

private:
    std::optional<DecodedSector> chosen_;
    bool settled_ = false;
};

}  // namespace tabulon
