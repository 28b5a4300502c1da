#pragma once

#include "AnalysisStopped.h"
#include "Container.h"
#include "DirectoryCheck.h"
#include "DiskIdentity.h"
#include "ImageGeometry.h"
#include "ImageSource.h"
#include "LocateSector.h"
#include "SlotDecoding.h"
#include "TableCheck.h"
#include "TrackMap.h"

#include <optional>
#include <string>
#include <vector>

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

// What one analysis is asked for beyond the report.
struct AnalyseOptions {
    LocateMode Locate = LocateMode::Auto;
    bool ReadWholeFirst = false;  // read the image to its end before anything else
    bool AllSlots = false;        // all ten PDRIVE slots
    bool Geometry = false;        // every track: the geometry, the check and the checks of the whole file
    bool Tracks = false;          // and every track in detail, as a map (with Geometry)
    bool Disk = false;            // which DOS made the disk, its directory and files, and a Newdos table against it
};

// Everything one analysis learnt, also when it stopped part way: each finding
// is kept as it is made, in the order the report shows them, so that the
// report drawn from it ends where the analysis stopped.
struct Analysis {
    // The report's steps.
    bool Loaded = false;            // the load step succeeded
    bool DmkGaveUp = false;         // the DMK byte scan gave up and the JV scan ran
    std::optional<Located> Search;  // once the search has finished
    std::optional<DriveSlot> Slot;  // the first PDRIVE slot, once decoded
    std::optional<bool> Marker;
    Outcome Result = Outcome::Unreadable;         // how the report ends
    std::optional<AnalysisStopped::Reason> Stop;  // why it stopped, when it did

    // Beyond the report, as asked for.
    std::vector<std::optional<DriveSlot>> Slots;          // all ten, once the first is decoded
    std::optional<ImageGeometry> Geometry;                // what the tracks hold
    std::optional<AnalysisStopped::Reason> GeometryStop;  // why the tracks could not be read
    bool NoTracksDeclared = false;                        // the header declares none (a blank DMK)
    std::optional<FileCheck> FileCheckFailed;             // what the container says of the file and is not so
    std::optional<std::vector<Difference>> Check;         // slot 0 of a Newdos table against the geometry
    std::optional<TrackMap> Map;                          // every track in detail, when asked for
    std::optional<DiskIdentity> Disk;                     // which DOS made the disk, when asked for
    std::optional<AnalysisStopped::Reason> DiskStop;      // why its sectors could not be read (the outcome stays)
    // Slot 0 of a Newdos table against the directory found on a disk of the
    // NEWDOS family, when asked for; with all slots, each slot against it.
    std::optional<std::vector<DirectoryDifference>> DirectoryCheck;
    std::vector<std::optional<std::vector<DirectoryDifference>>> SlotDirectoryChecks;
    std::optional<std::string> Failure;  // anything else that ended it (no memory...)

    // The sector found, if the search found one.
    const SectorLocation* Location() const { return Search && Search->Sector ? &*Search->Sector : nullptr; }
    SectorLocation* Location() { return Search && Search->Sector ? &*Search->Sector : nullptr; }
    // The container the image was opened as, if any.
    const Container* Opened() const { return Search ? Search->Opened.get() : nullptr; }
    Container* Opened() { return Search ? Search->Opened.get() : nullptr; }
    // The format the sector was found in, else the container recognised.
    std::optional<ImageFormat> Format() const;
    // The first slot when the sector is a Newdos one: only such a table is checked against the disk.
    std::optional<DriveSlot> Table() const { return Result == Outcome::DriveReport ? Slot : std::nullopt; }
    // The outcome of the whole analysis: the report's, or worse when reading on failed.
    Outcome Final() const;
};

// Analyses the image of source: loads it, searches for track 0, side 0,
// sector 2, decodes the first PDRIVE slot and tests the marker, then reads
// what the options ask for. Throws nothing: a stop or failure is in the result.
Analysis Analyse(ImageSource& source, const AnalyseOptions& options);

}  // namespace tabulon
