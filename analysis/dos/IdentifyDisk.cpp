#include "IdentifyDisk.h"

#include "CpmDirectory.h"
#include "DirectoryBytes.h"
#include "DiskOrder.h"
#include "Model3Directory.h"
#include "TrsdosDirectory.h"
#include "UcsdDirectory.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tabulon {

namespace {

constexpr int kGranuleSectors = 5;  // NEWDOS: a lump is GPL granules of five sectors
constexpr int kMostGranulesPerLump = 8;
constexpr int kMostCpmSystemCylinders = 5;
constexpr std::size_t kTrs80Sector = 256;

// A directory that begins at the first sector of cylinder's side 0: the
// TRSDOS family's BOOT/SYS two sectors on, or Model III TRSDOS's copyright.
bool FoundAtCylinder(DiskSectors& disk, int cylinder, SectorSpan boot, DiskIdentity& identity) {
    if (cylinder <= 0 || cylinder > kMostCylinders || disk.Numbers({cylinder, 0}).empty()) return false;
    const OrderPlace gat{cylinder, 0};
    if (OpensTrsdosDirectory(disk, {cylinder, 2})) {
        ReadTrsdosDirectory(disk, gat, boot, identity);
        return identity.Format.has_value();
    }
    if (const auto dos = Model3DirectoryOf(ReadAt(disk, gat, 2))) {
        ReadModel3Directory(disk, gat, *dos, boot, identity);
        return true;
    }
    return false;
}

// A NEWDOS directory at the lump byte 2 of the boot sector names, for each
// plausible number of granules per lump: the disk's table's first.
bool FoundAtLump(DiskSectors& disk, const std::optional<DriveSlot>& table, SectorSpan boot, DiskIdentity& identity) {
    // A NEWDOS boot sector opens 00 FE.
    if (boot.size() <= 2 || boot[0] != 0x00 || boot[1] != 0xFE) return false;
    const int perCylinder = CylinderLength(disk, 1);
    if (perCylinder == 0) return false;
    std::vector<int> lumps;
    if (table && table->GranulesPerLump >= 1 && table->GranulesPerLump <= kMostGranulesPerLump) {
        lumps.push_back(table->GranulesPerLump);
    }
    for (int granules = 1; granules <= kMostGranulesPerLump; ++granules) {
        if (std::find(lumps.begin(), lumps.end(), granules) == lumps.end()) lumps.push_back(granules);
    }
    for (const int granules : lumps) {
        const int first = boot[2] * granules * kGranuleSectors;
        // NEWDOS counts every cylinder as long as the data cylinders; a place past its own cylinder moves on.
        const auto gat = Step(disk, {first / perCylinder, first % perCylinder}, 0);
        const auto bootSys = gat ? Step(disk, *gat, 2) : std::nullopt;
        if (!bootSys || !OpensTrsdosDirectory(disk, *bootSys)) continue;
        ReadTrsdosDirectory(disk, *gat, boot, identity);
        if (!identity.Format) return false;
        identity.Evidence.push_back("boot sector byte 2 is its lump " + std::to_string(boot[2]) + " of " +
                                    std::to_string(granules) + " granules");
        return true;
    }
    return false;
}

// A boot sector as the formatter left it, every byte its E5: no loader, so no
// system tracks to look through and no DOS of the TRS-80 behind it.
bool Unwritten(SectorSpan boot) {
    return !boot.empty() && std::all_of(boot.begin(), boot.end(), [](std::uint8_t byte) { return byte == 0xE5; });
}

// CP/M's directory on one of the first tracks: the first whose first sector
// holds entries in use, else (where system tracks may be) an empty one after
// system tracks that name CP/M.
bool FoundCpm(DiskSectors& disk, bool systemTracks, DiskIdentity& identity) {
    std::vector<OrderPlace> places;
    for (int cylinder = 0; cylinder <= kMostCpmSystemCylinders; ++cylinder) {
        const auto onSide0 = static_cast<int>(disk.Numbers({cylinder, 0}).size());
        if (cylinder > 0 && onSide0 > 0) places.push_back({cylinder, 0});
        if (!disk.Numbers({cylinder, 1}).empty()) places.push_back({cylinder, onSide0});
    }
    std::optional<OrderPlace> empty;
    for (const OrderPlace place : places) {
        const CpmSector kind = CpmSectorKind(ReadAt(disk, place));
        if (kind == CpmSector::InUse) {
            ReadCpmDirectory(disk, place, identity);
            return true;
        }
        if (kind == CpmSector::Free && !empty) empty = place;
    }
    if (empty && systemTracks && HoldsCpmSystem(disk, *empty)) {
        ReadCpmDirectory(disk, *empty, identity);
        if (identity.Files.empty()) identity.Evidence.emplace_back("the directory lists no file");
        return true;
    }
    return false;
}

}  // namespace

DiskIdentity IdentifyDisk(DiskSectors& disk, const std::optional<DriveSlot>& table) {
    DiskIdentity identity;
    if (disk.Blank()) {
        identity.Unformatted = true;
        identity.Evidence.emplace_back("no sector on the disk");
        return identity;
    }
    const ReadSector* bootSector = disk.Numbers({0, 0}).empty() ? nullptr : ReadAt(disk, {0, 0});
    const SectorSpan boot = bootSector != nullptr ? SectorSpan(bootSector->Bytes) : SectorSpan();

    // The cylinders the boot sector names.
    struct Named {
        int Cylinder;
        const char* Byte;
    };
    std::vector<Named> named;
    if (boot.size() > 2) named.push_back({boot[2], "2"});
    if (boot.size() > 2) named.push_back({boot[2] & 0x7F, "2"});
    if (boot.size() > 1) named.push_back({boot[1], "1"});
    for (std::size_t n = 0; n < named.size(); ++n) {
        const int cylinder = named[n].Cylinder;
        const auto earlier = named.begin() + static_cast<std::ptrdiff_t>(n);
        if (std::any_of(named.begin(), earlier, [&](const Named& seen) { return seen.Cylinder == cylinder; })) continue;
        if (FoundAtCylinder(disk, cylinder, boot, identity)) {
            identity.Evidence.push_back(std::string("boot sector byte ") + named[n].Byte + " names cylinder " +
                                        std::to_string(cylinder));
            return identity;
        }
    }
    const bool unwritten = Unwritten(boot);
    if (FoundAtLump(disk, table, boot, identity) || FoundCpm(disk, !unwritten, identity)) return identity;
    for (const int start : {0, 1}) {
        if (ReadUcsdDirectory(disk, {start, 0}, identity)) return identity;
    }
    // Last, the start of every cylinder, until one holds no sector; only
    // behind a boot sector of the TRS-80's 256 bytes that holds more than the formatter's fill.
    const bool trs80Boot = boot.size() == kTrs80Sector && !unwritten;
    for (int cylinder = 1; trs80Boot && cylinder <= kMostCylinders && !disk.Numbers({cylinder, 0}).empty();
         ++cylinder) {
        if (FoundAtCylinder(disk, cylinder, boot, identity)) {
            identity.Evidence.emplace_back("found by looking at every cylinder");
            return identity;
        }
    }
    identity.Evidence.emplace_back("no directory found");
    return identity;
}

}  // namespace tabulon
