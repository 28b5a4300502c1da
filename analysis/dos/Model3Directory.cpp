#include "Model3Directory.h"

namespace tabulon {

namespace {

constexpr std::size_t kEntryLength = 48;
constexpr std::size_t kEntriesPerSector = 5;
constexpr std::size_t kTrailer = kEntryLength * kEntriesPerSector;  // the last 16 bytes

// The HIT's list of the system files' extents, two bytes each.
constexpr std::size_t kSystemExtents = 0xE0;
// The boot sector's version byte.
constexpr std::size_t kBootVersion = 0xFE;

bool ListsSystemFiles(const ReadSector* hit) {
    if (hit == nullptr) return false;
    const SectorSpan extents = Part(hit->Bytes, kSystemExtents, 32);
    for (std::size_t n = 0; n + 1 < extents.size(); n += 2) {
        const unsigned pair = Le16(extents, n);
        if (pair != 0 && pair != 0xFFFF) return true;
    }
    return false;
}

}  // namespace

std::optional<DosName> Model3DirectoryOf(const ReadSector* sector) {
    if (sector == nullptr) return std::nullopt;
    const SectorSpan trailer = Part(sector->Bytes, kTrailer, 16);
    if (HoldsText(trailer, "1980 Tandy")) return DosName::Trsdos13;
    if (HoldsText(trailer, "PROLOGICA")) return DosName::Dos500;
    return std::nullopt;
}

void ReadModel3Directory(DiskSectors& disk, OrderPlace gat, DosName dos, SectorSpan boot, DiskIdentity& identity) {
    const auto at = SectorAt(disk, gat);
    if (!at) return;
    // The directory fills the rest of its track.
    const int before = at->Side == 0 ? 0 : static_cast<int>(disk.Numbers({at->Cylinder, 0}).size());
    const int length = static_cast<int>(disk.Numbers({at->Cylinder, at->Side}).size()) - (gat.Index - before);
    identity.Format = dos;
    identity.Directory = DiskDirectory{at->Cylinder, at->Side, at->Sector, length, gat.Index};
    identity.Evidence.emplace_back(dos == DosName::Dos500 ? "directory sectors end in PROLOGICA 1982"
                                                          : "directory sectors end in (c) 1980 Tandy");

    for (int n = 2; n < length; ++n) {
        const ReadSector* sector = ReadAt(disk, gat, n);
        if (sector == nullptr) continue;
        for (std::size_t slot = 0; slot < kEntriesPerSector; ++slot) {
            const SectorSpan entry = Part(sector->Bytes, slot * kEntryLength, kEntryLength);
            if (entry.size() < kEntryLength) break;
            const std::uint8_t attributes = entry[0];
            if ((attributes & kEntryInUse) == 0 || (attributes & kEntryExtended) != 0) continue;
            const std::int64_t size = std::int64_t{Le16(entry, kEntryEnd)} * 256 + entry[kEntryEofByte];
            identity.Files.push_back({FileName(entry.subspan(kEntryName, 8), entry.subspan(kEntryExtension, 3), '/'),
                                      size, (attributes & kEntrySystem) != 0, (attributes & kEntryInvisible) != 0});
        }
    }

    if (ListsSystemFiles(ReadAt(disk, gat, 1))) {
        identity.Dos = dos;
        identity.Evidence.emplace_back("HIT locates the system files");
    }
    if (dos == DosName::Trsdos13 && boot.size() > kBootVersion && (boot[kBootVersion] >> 4) == 1 &&
        (boot[kBootVersion] & 0x0F) <= 9) {
        identity.Version = std::string("1.") + static_cast<char>('0' + (boot[kBootVersion] & 0x0F));
        identity.Evidence.push_back("boot sector version byte " + HexByte(boot[kBootVersion]));
    }
}

}  // namespace tabulon
