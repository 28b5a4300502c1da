#include "UcsdDirectory.h"

#include "DirectoryBytes.h"

namespace tabulon {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kDirectoryBlock = 2;
constexpr std::size_t kDirectoryBytes = 4 * kBlock;
constexpr std::size_t kEntryLength = 26;
constexpr unsigned kMostFiles = 77;
constexpr unsigned kMostNameLength = 7;
constexpr unsigned kMostTitleLength = 15;

// The volume entry's words and its name.
constexpr std::size_t kFirstBlock = 0;
constexpr std::size_t kNextBlock = 2;
constexpr std::size_t kKind = 4;
constexpr std::size_t kNameLength = 6;
constexpr std::size_t kVolumeBlocks = 14;
constexpr std::size_t kFileCount = 16;
constexpr std::size_t kLastBytes = 22;

bool ValidName(SectorSpan entry, unsigned longest) {
    const unsigned length = entry[kNameLength];
    return length >= 1 && length <= longest && AllPrintable(entry.subspan(kNameLength + 1, length));
}

}  // namespace

bool ReadUcsdDirectory(DiskSectors& disk, OrderPlace start, DiskIdentity& identity) {
    // The directory's bytes, sector by sector from the block's first.
    const ReadSector* first = ReadAt(disk, start);
    if (first == nullptr || first->Bytes.empty() || kBlock % first->Bytes.size() != 0) return false;
    const auto perSector = static_cast<int>(first->Bytes.size());
    const int skip = static_cast<int>(kDirectoryBlock * kBlock) / perSector;
    const auto place = Step(disk, start, skip);
    const auto at = place ? SectorAt(disk, *place) : std::nullopt;
    if (!at) return false;
    // The volume's entry first: the rest is read only behind one that holds.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kDirectoryBytes + first->Bytes.size());  // the volume's entry stays in place
    int sectors = 0;
    const auto readUpTo = [&](std::size_t count) {
        for (; bytes.size() < count; ++sectors) {
            const ReadSector* sector = ReadAt(disk, start, skip + sectors);
            if (sector == nullptr || static_cast<int>(sector->Bytes.size()) != perSector) return;
            bytes.insert(bytes.end(), sector->Bytes.begin(), sector->Bytes.end());
        }
    };
    readUpTo(kEntryLength);
    if (bytes.size() < kEntryLength) return false;
    const SectorSpan volume = SectorSpan(bytes).first(kEntryLength);
    const unsigned next = Le16(volume, kNextBlock);
    const unsigned blocks = Le16(volume, kVolumeBlocks);
    const unsigned files = Le16(volume, kFileCount);
    if (Le16(volume, kFirstBlock) != 0 || Le16(volume, kKind) != 0 || next <= kDirectoryBlock || next > 16 ||
        blocks <= next || files > kMostFiles || !ValidName(volume, kMostNameLength)) {
        return false;
    }
    readUpTo(kDirectoryBytes);
    const SectorSpan all(bytes);

    std::vector<DiskFile> found;
    for (unsigned n = 1; n <= files; ++n) {
        const SectorSpan entry = Part(all, n * kEntryLength, kEntryLength);
        if (entry.size() < kEntryLength) break;
        const unsigned from = Le16(entry, kFirstBlock);
        const unsigned to = Le16(entry, kNextBlock);
        const unsigned last = Le16(entry, kLastBytes);
        if (from < next || to <= from || to > blocks || last > kBlock || !ValidName(entry, kMostTitleLength)) {
            return false;
        }
        const auto size = static_cast<std::int64_t>((to - from - 1) * kBlock + last);
        found.push_back({PrintableText(entry.subspan(kNameLength + 1, entry[kNameLength])), size, false, false});
    }

    identity.Format = DosName::Ucsd;
    identity.Directory = DiskDirectory{at->Cylinder, at->Side, at->Sector,
                                       static_cast<int>((next - kDirectoryBlock) * kBlock) / perSector, place->Index};
    identity.Files = std::move(found);
    identity.Evidence.push_back("p-System volume " +
                                PrintableText(volume.subspan(kNameLength + 1, volume[kNameLength])));
    for (const DiskFile& file : identity.Files) {
        if (file.Name == "SYSTEM.PASCAL") {
            identity.Dos = DosName::Ucsd;
            identity.Evidence.emplace_back("SYSTEM.PASCAL present");
            break;
        }
    }
    return true;
}

}  // namespace tabulon
