#include "TrsdosDirectory.h"

#include <algorithm>
#include <string_view>

namespace tabulon {

namespace {

constexpr std::size_t kEntryLength = 32;
constexpr std::size_t kEntriesPerSector = 8;
constexpr int kMostEntrySectors = 32;  // a HIT slot's five bits of sector
constexpr int kMostDirectorySectors = kMostEntrySectors + 2;
constexpr std::size_t kVersionOffset = 0xCB;

// BOOT/SYS attributes on NEWDOS/86 and /90 (NEWDOS/80 writes 0x5E).
constexpr std::uint8_t kNewdos86Boot = 0x7E;

SectorSpan EntryAt(const ReadSector& sector, std::size_t n) {
    return Part(sector.Bytes, n * kEntryLength, kEntryLength);
}

// The eleven name bytes of an entry, padded as the DOS pads them.
std::string_view RawName(SectorSpan entry) {
    if (entry.size() < kEntryLength) return {};
    return {reinterpret_cast<const char*>(entry.data() + kEntryName), 11};
}

bool Names(const ReadSector* sector, std::string_view a, std::string_view b) {
    if (sector == nullptr) return false;
    const std::string_view name = RawName(EntryAt(*sector, 0));
    return name == a || name == b;
}

// Bytes in the file: the ending record number counts the last sector, of
// which the end-of-file byte says how much is used (0: all of it).
std::int64_t FileSize(SectorSpan entry) {
    const std::int64_t records = Le16(entry, kEntryEnd);
    const std::int64_t last = entry[kEntryEofByte];
    if (last == 0) return records * 256;
    return std::max<std::int64_t>(records - 1, 0) * 256 + last;
}

std::string VersionText(std::uint8_t version) {
    const int minor = version & 0x0F;
    if (minor > 9) return {};
    return std::string(1, static_cast<char>('0' + (version >> 4))) + '.' + static_cast<char>('0' + minor);
}

// The DOS a directory's version byte and BOOT/SYS entry name.
struct Naming {
    DosName Dos;
    bool VersionFromByte;
};

Naming NameFromGat(std::uint8_t version, std::uint8_t bootAttributes, bool ultradosNames, bool rapidosText) {
    if (rapidosText) return {DosName::RapidOs, false};
    if (version == 0x82) return {bootAttributes == kNewdos86Boot ? DosName::Newdos86 : DosName::Newdos80, false};
    switch (version >> 4) {
    case 0x5: return {DosName::Ldos, true};
    case 0x6: return {version <= 0x62 ? DosName::Trsdos6 : DosName::LsDos, true};
    case 0x3: return {DosName::Dosplus, true};
    default: break;
    }
    if (version == 0xFF) return {DosName::MultiDos, false};
    if (ultradosNames) return {DosName::UltraDos, false};
    return {DosName::Trsdos23, version == 0x23};
}

// How many sectors the directory takes: as DIR/SYS records it, else the run of
// sectors written with deleted data marks from the GAT on, else the rest of the cylinder.
int DirectoryLength(DiskSectors& disk, OrderPlace gat, const ReadSector& dir, DiskIdentity& identity) {
    const auto records = static_cast<int>(Le16(EntryAt(dir, 0), kEntryEnd));
    if (records > 2 && records <= kMostDirectorySectors) {
        identity.Evidence.push_back("DIR/SYS holds " + std::to_string(records) + " sectors");
        return records;
    }
    int marked = 0;
    for (; marked < kMostDirectorySectors; ++marked) {
        const auto place = Step(disk, gat, marked);
        const auto at = place ? SectorAt(disk, *place) : std::nullopt;
        if (!at || disk.Deleted(*at) != true) break;
    }
    if (marked > 2) return marked;
    return std::clamp(CylinderLength(disk, gat.Cylinder) - gat.Index, 2, kMostDirectorySectors);
}

}  // namespace

bool OpensTrsdosDirectory(DiskSectors& disk, OrderPlace place) {
    return Names(ReadAt(disk, place), "BOOT    SYS", "GDOS    SYS") &&
           Names(ReadAt(disk, place, 1), "DIR     SYS", "INHALT  SYS");
}

void ReadTrsdosDirectory(DiskSectors& disk, OrderPlace gat, SectorSpan boot, DiskIdentity& identity) {
    const ReadSector* gatSector = ReadAt(disk, gat);
    const ReadSector* bootEntries = ReadAt(disk, gat, 2);
    const ReadSector* dirEntries = ReadAt(disk, gat, 3);
    if (bootEntries == nullptr || dirEntries == nullptr) return;
    const auto at = SectorAt(disk, gat);
    if (!at) return;

    const int length = DirectoryLength(disk, gat, *dirEntries, identity);
    identity.Directory = DiskDirectory{at->Cylinder, at->Side, at->Sector, length, gat.Index};
    if (disk.Deleted(*at) == true) identity.Evidence.emplace_back("directory marked deleted");

    // Every primary entry in use, sector by sector.
    bool system = false;
    bool ultradosNames = false;
    for (int n = 2; n < length; ++n) {
        const ReadSector* sector = ReadAt(disk, gat, n);
        if (sector == nullptr) continue;
        for (std::size_t slot = 0; slot < kEntriesPerSector; ++slot) {
            const SectorSpan entry = EntryAt(*sector, slot);
            if (entry.size() < kEntryLength) break;
            const std::uint8_t attributes = entry[0];
            if ((attributes & kEntryInUse) == 0 || (attributes & kEntryExtended) != 0) continue;
            DiskFile file{FileName(entry.subspan(kEntryName, 8), entry.subspan(kEntryExtension, 3), '/'),
                          FileSize(entry), (attributes & kEntrySystem) != 0, (attributes & kEntryInvisible) != 0};
            system = system || file.Name == "SYS0/SYS" || file.Name == "SYS00/SYS";
            ultradosNames = ultradosNames || file.Name == "SYS00/SYS";
            identity.Files.push_back(std::move(file));
        }
    }

    const std::uint8_t version =
        gatSector != nullptr && gatSector->Bytes.size() > kVersionOffset ? gatSector->Bytes[kVersionOffset] : 0;
    const SectorSpan bootEntry = EntryAt(*bootEntries, 0);
    const bool gdos = RawName(bootEntry) == "GDOS    SYS";
    const bool rapidos = HoldsText(boot, "RAPIDOS");
    const Naming naming =
        gdos ? Naming{DosName::GDos, false} : NameFromGat(version, bootEntry[0], ultradosNames, rapidos);
    identity.Format = naming.Dos;
    if (naming.VersionFromByte && !VersionText(version).empty()) identity.Version = VersionText(version);
    if (system) identity.Dos = naming.Dos;

    identity.Evidence.emplace_back(gdos ? "GDOS/SYS and INHALT/SYS open the directory"
                                        : "BOOT/SYS and DIR/SYS open the directory");
    if (rapidos) identity.Evidence.emplace_back("boot sector names RapidOS");
    if (!gdos) identity.Evidence.push_back("GAT version byte " + HexByte(version));
    if (naming.Dos == DosName::Newdos80 || naming.Dos == DosName::Newdos86) {
        identity.Evidence.push_back("BOOT/SYS attributes " + HexByte(bootEntry[0]));
    }
    if (ultradosNames) identity.Evidence.emplace_back("system files named SYS00/SYS");
    if (system) identity.Evidence.emplace_back("system files present");
}

}  // namespace tabulon
