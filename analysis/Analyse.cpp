#include "Analysis.h"

#include "ContainerSectors.h"
#include "IdentifyDisk.h"
#include "ImageSource.h"

#include <algorithm>

namespace tabulon {

namespace {

// The bytes the window's scans can reach: the JV scan's last sector and its marker.
constexpr std::int64_t kScanReach = 8704 + 256 * 2902 + 256;

// The report's steps, recorded as they are made; throws AnalysisStopped.
void RunReport(Analysis& analysis, DiskData& data, const AnalyseOptions& options) {
    if (options.ReadWholeFirst) data.ReadEveryBlock(kScanReach);
    analysis.Loaded = true;

    analysis.Search = LocateSector(data, options.Locate, [&analysis] { analysis.DmkGaveUp = true; });
    SectorLocation* const location = analysis.Location();
    if (location == nullptr) {
        analysis.Result = Outcome::NotFound;
        return;
    }
    analysis.Slot = ReadDriveSlot(location->Sector);
    analysis.Marker = HasNewdosMarker(*location);
    analysis.Result = *analysis.Marker ? Outcome::DriveReport : Outcome::NotNewdos;
}

void Stopped(Analysis& analysis, AnalysisStopped::Reason reason, DiskData& data) {
    // A read past the image from a sector that starts at or past its end: the sector is not in the image at all.
    const SectorLocation* const location = analysis.Location();
    if (reason == AnalysisStopped::Reason::ReadOutsideImage && location != nullptr &&
        location->FileOffset >= data.FileLength()) {
        reason = AnalysisStopped::Reason::SectorBeyondImage;
    }
    analysis.Stop = reason;
    analysis.Result = OutcomeOfStop(reason);
}

// All ten slots, once the first one could be decoded; none if the image fails now.
void ReadSlots(Analysis& analysis) {
    SectorLocation* const at = analysis.Location();
    if (!analysis.Slot || at == nullptr) return;
    try {
        analysis.Slots = ReadAllSlots(at->Sector);
    } catch (const AnalysisStopped&) {
        analysis.Slots.clear();
    }
}

// What the tracks hold, through the container that was searched (the byte scans
// know nothing of tracks), and the check of a Newdos table against it; the
// tracks kept in listed when the disk's search is to read them too.
void ReadGeometry(Analysis& analysis, DiskData& data, bool map, std::optional<TrackList>* listed) {
    Container* const container = analysis.Opened();
    if (container == nullptr || !data.IsOpen()) return;
    try {
        // One reading of the tracks gives both the geometry and the map.
        TrackList tracks = container->Tracks(data, map ? TrackDetail::WithData : TrackDetail::IdsOnly);
        analysis.Geometry = SummariseGeometry(tracks);
        analysis.NoTracksDeclared = tracks.DeclaredCylinders == 0;
        if (map && listed != nullptr) *listed = tracks;  // the map takes its own
        if (map) {
            analysis.Map = MapTracks(std::move(tracks), analysis.Table());
        } else if (listed != nullptr) {
            *listed = std::move(tracks);
        }
        analysis.FileCheckFailed = container->CheckWholeFile(data);
    } catch (const AnalysisStopped& stop) {
        analysis.GeometryStop = stop.WhyStopped();
        return;
    }
    if (const auto table = analysis.Table(); table && analysis.Geometry) {
        analysis.Check = CheckSlot(*table, *analysis.Geometry);
    }
}

// Which DOS made the disk, through the container that was searched (with its
// tracks where the geometry listed them already), and the check of a Newdos
// table against the directory found on a NEWDOS-family disk.
void ReadDisk(Analysis& analysis, DiskData& data, const std::optional<TrackList>& listed) {
    Container* const container = analysis.Opened();
    if (container == nullptr || !data.IsOpen()) return;
    try {
        ContainerSectors sectors(*container, data, listed ? &*listed : nullptr);
        analysis.Disk = IdentifyDisk(sectors, analysis.Table());
    } catch (const AnalysisStopped& stop) {
        analysis.DiskStop = stop.WhyStopped();
        return;
    }
    const auto table = analysis.Table();
    const DiskIdentity& disk = *analysis.Disk;
    if (!table || !disk.Directory || !disk.Format || !IsNewdosFamily(*disk.Format)) return;
    analysis.DirectoryCheck = CheckDirectory(*table, *disk.Directory);
    for (const std::optional<DriveSlot>& slot : analysis.Slots) {
        analysis.SlotDirectoryChecks.push_back(slot ? std::optional(CheckDirectory(*slot, *disk.Directory))
                                                    : std::nullopt);
    }
}

}  // namespace

std::optional<ImageFormat> Analysis::Format() const {
    if (const SectorLocation* const location = Location()) return location->Format;
    if (const Container* const container = Opened()) return container->Type().Format;
    return std::nullopt;
}

Outcome Analysis::Final() const {
    Outcome outcome = Result;
    if (GeometryStop) outcome = std::max(outcome, OutcomeOfStop(*GeometryStop));
    if (Failure) outcome = std::max(outcome, Loaded ? Outcome::Stopped : Outcome::Unreadable);
    return outcome;
}

Analysis Analyse(ImageSource& source, const AnalyseOptions& options) {
    Analysis analysis;
    DiskData data;
    try {
        try {
            data = source.Load();
            RunReport(analysis, data, options);
        } catch (const AnalysisStopped& stop) {
            Stopped(analysis, stop.WhyStopped(), data);
        }
    } catch (...) {
        // Nothing of a report that failed otherwise is shown.
        analysis = Analysis{};
        analysis.Failure = CurrentFailure();
        return analysis;
    }
    try {
        if (options.AllSlots) ReadSlots(analysis);
        std::optional<TrackList> listed;
        if (options.Geometry || options.Tracks) {
            ReadGeometry(analysis, data, options.Tracks, options.Disk ? &listed : nullptr);
        }
        if (options.Disk) ReadDisk(analysis, data, listed);
    } catch (...) {
        analysis.Failure = CurrentFailure();
    }
    // The image closes with data: nothing found may point into it.
    if (analysis.Search && analysis.Search->Sector) analysis.Search->Sector->Sector.Detach();
    return analysis;
}

}  // namespace tabulon
