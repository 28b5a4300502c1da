// One container's walkers over arbitrary bytes, built once per container with
// TABULON_FUZZ_CONTAINER naming it (Dmk, Jv3, ...): its identification, the
// search for track 0, side 0, sector 2 through its structure, and its track
// list and geometry. Bytes that pass for the container are checked against
// what the walkers promise: nothing thrown, every answer inside the image, and
// a geometry that agrees with the tracks it was made from.
#include "DmkImage.h"
#include "FuzzCheck.h"
#include "HfeImage.h"
#include "ImageGeometry.h"
#include "ImdImage.h"
#include "Jv1Image.h"
#include "Jv3Image.h"
#include "KryoFluxImage.h"
#include "ScpImage.h"
#include "Td0Image.h"

#include <algorithm>
#include <array>
#include <cstdint>

#ifndef TABULON_FUZZ_CONTAINER
#error "TABULON_FUZZ_CONTAINER names the container: Dmk, Jv3, Jv1, Hfe, Imd, Td0"
#endif
#define TABULON_JOIN2(a, b) a##b
#define TABULON_JOIN(a, b) TABULON_JOIN2(a, b)
#define TABULON_CONTAINER TABULON_JOIN(TABULON_JOIN(k, TABULON_FUZZ_CONTAINER), Container)

namespace {

using namespace tabulon;
using fuzz::Check;

constexpr std::int64_t kLargestSector = 16 * 1024;  // IMD's size table goes this far

void CheckSector(SectorLocation& found, ImageFormat format, std::int64_t fileLength) {
    Check(found.Format == format && found.Method == LocateMethod::Structure, "format and method");
    // A TD0 sector's offset with advanced compression is its place in the decompressed stream.
    Check(found.FileOffset >= 0 && (found.Format == kTd0Container.Format || found.FileOffset <= fileLength),
          "the sector's offset lies in the file");
    Check(found.Sector.Base() == 0, "a structure's sector carries its own bytes");
    const std::int64_t length = found.Sector.Length();
    Check(length >= 0 && length <= kLargestSector, "sector length");
    if (found.SectorSize) Check(length <= *found.SectorSize, "no more bytes than the sector's size");
    // Every byte there reads, and the spare 0 after them where the sector is whole; nothing past that.
    for (std::int64_t n = 0; n < length; ++n) found.Sector.At(n);
    if (!found.SectorSize || length == *found.SectorSize) Check(found.Sector.At(length) == 0, "the spare byte");
    try {
        found.Sector.At(length + 1);
        Check(false, "a read past the sector's spare byte stops");
    } catch (const AnalysisStopped& stop) {
        Check(stop.WhyStopped() == AnalysisStopped::Reason::SectorCutShort, "the stop of a read past the sector");
    }
}

void CheckTracks(const TrackList& list) {
    Check(list.Tracks.size() <= 4096, "track count");
    for (const TrackLayout& track : list.Tracks) {
        Check(track.Cylinder >= 0 && track.Side >= 0 && track.Side <= 1, "track position");
        if (list.DeclaredCylinders) Check(track.Cylinder < *list.DeclaredCylinders, "tracks within the header's");
        for (const SectorId& id : track.Sectors) Check(id.Size >= 0 && id.Size <= kLargestSector, "sector size");
    }
    if (list.DeclaredCylinders) {
        Check(list.HeldCylinders >= 0 && list.HeldCylinders <= *list.DeclaredCylinders, "held cylinders");
    }
    const auto geometry = SummariseGeometry(list);
    // The sectors that count toward the geometry: where the list says so, those with a good ID CRC.
    const auto counted = [&list](const TrackLayout& t) {
        for (std::size_t n = 0; n < t.Sectors.size(); ++n) {
            if (!list.GoodIdsOnly || n >= t.Readings.size() || t.Readings[n].IdCrcOk) return true;
        }
        return false;
    };
    const bool anySector = std::any_of(list.Tracks.begin(), list.Tracks.end(), counted);
    Check(geometry.has_value() == anySector, "a geometry exactly when a track holds a sector");
    if (!geometry) return;
    Check(geometry->Cylinders >= 1 && geometry->Sides >= 1 && geometry->Sides <= 2, "cylinders and sides");
    Check(geometry->SectorsPerTrack >= 1 && geometry->SectorSize >= 0, "sectors");
    Check(std::is_sorted(geometry->MissingCylinders.begin(), geometry->MissingCylinders.end()), "missing in order");
    for (const int cylinder : geometry->MissingCylinders) Check(cylinder < geometry->Cylinders, "missing within");
    if (geometry->Cut()) {
        Check(geometry->Cylinders == *geometry->DeclaredCylinders, "a cut image has the declared cylinders");
        Check(geometry->MissingCylinders.size() >=
                  static_cast<std::size_t>(geometry->Cylinders - geometry->HeldCylinders),
              "the cylinders not held are missing");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DiskData image = DiskData::FromBytes({data, size});
    const auto container = TABULON_CONTAINER.Open(image);
    if (!container) return 0;
    auto found = container->FindSector(image, kSystemSector);
    if (found) CheckSector(*found, container->Type().Format, image.FileLength());
    CheckTracks(container->Tracks(image));
    // After a walk over every track (which the container may learn from), track 0's
    // sectors read together are what each read alone, before, gave.
    constexpr std::array<int, 4> kNumbers{0, 1, 2, 3};
    auto together = container->FindSectors(image, {0, 0}, kNumbers);
    Check(together[2].has_value() == found.has_value(), "the same sector found together as alone");
    if (found && together[2]) {
        Check(together[2]->FileOffset == found->FileOffset, "the same sector's offset together as alone");
        Check(together[2]->Sector.Length() == found->Sector.Length(), "the same sector's length together as alone");
    }
    return 0;
}
