#pragma once

#include "AnalysisStopped.h"
#include "LocateSector.h"
#include "SlotDecoding.h"

#include <optional>

namespace tabulon {

// How one image's analysis ended, from best to worst.
enum class Outcome {
    DriveReport,  // found, marker right: summary, drive line and legend
    NotNewdos,    // found, marker wrong
    NotFound,     // the sector was not found
    Stopped,      // the analysis stopped part way (the image ends inside the sector, or changed)
    Unreadable,   // the image could not be opened or read
};

// The outcome a stop gives: a file that cannot be read (or was never opened)
// is unreadable; anything else that ends an analysis early stopped it.
constexpr Outcome OutcomeOfStop(AnalysisStopped::Reason reason) {
    using Reason = AnalysisStopped::Reason;
    return reason == Reason::NoOpenFile || reason == Reason::ReadError ? Outcome::Unreadable : Outcome::Stopped;
}

// Everything one analysis learnt, also when it stopped part way: the findings
// up to the stop are kept, and the stop is carried as data.
struct Analysis {
    bool Loaded = false;            // the load step succeeded
    std::optional<Located> Search;  // once the search has finished
    std::optional<DriveSlot> Slot;  // the first PDRIVE slot, once decoded
    std::optional<bool> Marker;
    Outcome Result = Outcome::Unreadable;
    std::optional<AnalysisStopped::Reason> Stop;  // why it stopped, when it did

    // The sector found, if the search found one.
    const SectorLocation* Location() const { return Search && Search->Sector ? &*Search->Sector : nullptr; }
    // The first slot when the sector is a Newdos one: only such a table is checked against the disk.
    std::optional<DriveSlot> Table() const { return Result == Outcome::DriveReport ? Slot : std::nullopt; }
};

}  // namespace tabulon
