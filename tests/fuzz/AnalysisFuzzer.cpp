// Runs one whole analysis over arbitrary bytes as the image and checks what the
// report promises: one of the known outcomes with its exact line count, a stop
// only where the slot or the marker lies past the image, and every line where
// the report says it goes.
#include "AnalysisStopped.h"
#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "RecordingSurface.h"
#include "ReportLines.h"
#include "DriveReport.h"
#include "ImageFile.h"
#include "TableCheck.h"
#include "ContainerList.h"
#include "HfeImage.h"
#include "ImdImage.h"
#include "Td0Image.h"

#include <cstdint>
#include <string>

namespace {

using namespace tabulon;

using fuzz::Check;
using fuzz::MemoryFile;

// One analysis in the given mode, with every property of its report checked.
void AnalyseAndCheck(const MemoryFile& image, LocateMode mode) {
    ImageFile file;
    Check(file.Open(image.Path()).Opened(), "open");

    RecordingSurface surface;
    surface.SetForeColor(kRed);  // the colour a not-found report leaves behind
    AnalyseOptions options;
    options.Locate = mode;
    options.AllSlots = true;
    const Analysis record = Analyse(file, options);
    DrawDriveReport(surface, record, "image.dsk");
    const bool stopped = record.Stop.has_value();
    if (stopped) {
        const auto why = *record.Stop;
        Check(why == AnalysisStopped::Reason::ReadOutsideImage || why == AnalysisStopped::Reason::SectorBeyondImage ||
                  why == AnalysisStopped::Reason::SectorCutShort,
              "only reads past the image or the sector's track stop");
        Check(record.Result == Outcome::Stopped, "a stop's outcome");
    }
    Check(!file.IsOpen(), "the slot is closed after the load");
    Check(record.Loaded && record.Search, "the load and the location always finish");

    const SectorLocation* const at = record.Location();
    const bool scanned = at && at->Method == LocateMethod::Scan;
    const bool dmkScan = scanned && at->Format == kDmkScanFormat;
    const std::int64_t base = at ? at->Sector.Base() : 0;
    if (dmkScan) Check(base >= 48 && base <= 5048, "DMK Base range");
    if (scanned && !dmkScan) {
        Check(at->Format == kJvScanFormat, "format of the JV scan");
        Check(base >= 8704 && base <= 751616 && (base - 8704) % 256 == 0, "JV Base range");
    }
    if (at && !scanned) {
        Check(mode != LocateMode::Scan, "only the structure locators walk structures");
        // A TD0 sector's offset with advanced compression is its place in the decompressed stream.
        Check(
            base == 0 && at->FileOffset >= 0 && (at->Format == kTd0Container.Format || at->FileOffset <= image.Size()),
            "structure offset");
        Check(at->Sector.Length() <= 16 * 1024, "sector size (IMD records go up to 16 KiB)");
    }
    // The searching line, and the switch lines when the DMK scan gave up: only a
    // scan that did not find a DMK sector writes them.
    const bool switched = !(at && !scanned) && !dmkScan &&
                          (mode == LocateMode::Scan || (mode == LocateMode::Auto && !record.Search->Opened));
    const std::size_t before = switched ? 4 : 1;

    // The offsets that may be read: the bytes there and the spare 0 after them,
    // which a sector's own bytes cut short by its track's end do not have.
    const std::int64_t end = at ? at->Sector.Length() : 0;
    const bool cutShort = at && !scanned && at->SectorSize && end < *at->SectorSize;
    const std::int64_t readable = cutShort ? end : end + 1;
    std::size_t expected = 0;
    if (stopped) {
        Check(at != nullptr, "a stop needs a found sector");
        if (!record.Slot) {
            Check(9 >= readable, "stopped in decoding only when the slot runs past the data");
            expected = before;
        } else {
            Check(9 < readable && 239 >= readable, "stopped at the marker only past the data");
            Check(!record.Marker.has_value(), "no marker answer after a stop");
            expected = before + 8;
        }
    } else if (!at) {
        Check(record.Result == Outcome::NotFound, "not found outcome");
        expected = before + 9;
    } else {
        // A sector its container records as shorter than 240 bytes cannot hold the marker: not Newdos.
        const bool shortSector = at->SectorSize && *at->SectorSize < 240;
        Check(239 < readable || (shortSector && !*record.Marker), "a finished analysis read inside the data");
        Check(record.Result == (*record.Marker ? Outcome::DriveReport : Outcome::NotNewdos), "outcome");
        expected = *record.Marker ? before + 20 : before + 10;
    }
    const auto& lines = surface.Lines();
    Check(lines.size() == expected, "line count of the outcome");
    Check(lines[0].Text == report_text::kSearching && lines[0].X == 100 && lines[0].Y == 200, "first line");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Check(i == 0 || lines[i].X == 0, "later lines start at the left edge");
        const bool lastRed = !stopped && !at && i + 1 == lines.size();
        Check(lines[i].Color == (lastRed ? kRed : kBlack), "colours");
    }
    if (record.Slot) Check(record.Slots.size() == 10, "ten slots");
}

// The track listings of the signed containers end, whatever the bytes: HFE
// lists every track and side its header promises, IMD stops at its cap.
void ListTracks(const std::uint8_t* data, std::size_t size) {
    DiskData image = DiskData::FromBytes({data, size});
    const auto listed = [&](const ContainerType& type) {
        const auto container = type.Open(image);
        return container ? std::optional(container->Tracks(image).Tracks.size()) : std::nullopt;
    };
    if (const auto hfe = IdentifyHfe(image)) {
        Check(listed(kHfeContainer) == static_cast<std::size_t>(hfe->Tracks * hfe->Sides), "HFE track list");
    }
    Check(listed(kImdContainer).value_or(0) <= 1024, "IMD track walk");
    Check(listed(kTd0Container).value_or(0) <= 1024, "TD0 track walk");
    // Whatever container the bytes pass for, its geometry and the check of a slot against it.
    if (const auto container = OpenContainer(image)) {
        if (const auto geometry = SummariseGeometry(container->Tracks(image))) {
            Check(geometry->Cylinders >= 1 && geometry->Sides >= 1 && geometry->SectorsPerTrack >= 1, "geometry");
            DriveSlot slot;
            slot.TrackCount = size > 0 ? data[0] : 0;
            slot.SectorsPerTrack = size > 1 ? data[1] : 0;
            Check(CheckSlot(slot, *geometry).size() <= 4, "check");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 2u * 1024 * 1024) return 0;
    const MemoryFile image(data, size);
    for (const auto mode : {LocateMode::Scan, LocateMode::Structure, LocateMode::Auto}) {
        AnalyseAndCheck(image, mode);
    }
    ListTracks(data, size);
    return 0;
}
