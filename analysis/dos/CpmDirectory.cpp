#include "CpmDirectory.h"

#include "DirectoryBytes.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace tabulon {

namespace {

constexpr std::size_t kEntryLength = 32;
constexpr std::uint8_t kFree = 0xE5;
constexpr std::uint8_t kMostUser = 15;
constexpr std::uint8_t kLabel = 0x20;
constexpr std::uint8_t kTimeStamps = 0x21;
constexpr std::size_t kName = 1;
constexpr std::size_t kType = 9;
constexpr std::size_t kExtent = 12;
constexpr std::size_t kHighExtent = 14;
constexpr std::size_t kRecords = 15;
constexpr std::uint8_t kMostRecords = 0x80;
constexpr std::uint8_t kMostExtent = 31;
constexpr std::uint8_t kMostHighExtent = 63;
// The system tracks read at most while looking for the system's name.
constexpr int kMostSystemSectors = 64;

// The name and type without their attribute bits.
std::array<std::uint8_t, 11> PlainName(SectorSpan entry) {
    std::array<std::uint8_t, 11> name{};
    for (std::size_t n = 0; n < name.size(); ++n) name[n] = entry[kName + n] & 0x7F;
    return name;
}

enum class EntryKind { Invalid, Free, File, Other };

EntryKind KindOf(SectorSpan entry) {
    const std::uint8_t user = entry[0];
    if (user == kFree) return EntryKind::Free;
    if (user == kTimeStamps) return EntryKind::Other;
    const auto name = PlainName(entry);
    const bool named = name[0] != ' ' && AllPrintable(name);
    if (user == kLabel) return named ? EntryKind::Other : EntryKind::Invalid;
    if (user > kMostUser || !named) return EntryKind::Invalid;
    if (entry[kExtent] > kMostExtent || entry[kHighExtent] > kMostHighExtent || entry[kRecords] > kMostRecords) {
        return EntryKind::Invalid;
    }
    return EntryKind::File;
}

}  // namespace

CpmSector CpmSectorKind(const ReadSector* sector) {
    if (sector == nullptr || sector->Bytes.size() < kEntryLength || sector->Bytes.size() % kEntryLength != 0) {
        return CpmSector::Other;
    }
    bool inUse = false;
    for (std::size_t at = 0; at < sector->Bytes.size(); at += kEntryLength) {
        const EntryKind kind = KindOf(Part(sector->Bytes, at, kEntryLength));
        if (kind == EntryKind::Invalid) return CpmSector::Other;
        inUse = inUse || kind != EntryKind::Free;
    }
    return inUse ? CpmSector::InUse : CpmSector::Free;
}

bool HoldsCpmSystem(DiskSectors& disk, OrderPlace place) {
    OrderPlace at{0, 0};
    for (int n = 0; n < kMostSystemSectors && !(at == place); ++n) {
        const ReadSector* sector = ReadAt(disk, at);
        if (sector != nullptr && HoldsText(sector->Bytes, "DIGITAL RESEARCH")) return true;
        const auto next = Step(disk, at, 1);
        if (!next) break;
        at = *next;
    }
    return false;
}

void ReadCpmDirectory(DiskSectors& disk, OrderPlace first, DiskIdentity& identity) {
    const auto at = SectorAt(disk, first);
    if (!at) return;
    identity.Format = DosName::Cpm;
    identity.Directory = DiskDirectory{at->Cylinder, at->Side, at->Sector, std::nullopt, first.Index};
    identity.Evidence.push_back("CP/M directory entries on cylinder " + std::to_string(at->Cylinder) + ", side " +
                                std::to_string(at->Side));

    // One file per user and name, its size from the entry of its last extent.
    std::map<std::pair<std::uint8_t, std::array<std::uint8_t, 11>>, std::size_t> seen;
    std::vector<std::int64_t> records;
    for (const int number : disk.Numbers({at->Cylinder, at->Side})) {
        if (number < at->Sector) continue;
        const ReadSector* sector = disk.Read({at->Cylinder, at->Side, number});
        if (CpmSectorKind(sector) != CpmSector::InUse) continue;
        for (std::size_t offset = 0; offset < sector->Bytes.size(); offset += kEntryLength) {
            const SectorSpan entry = Part(sector->Bytes, offset, kEntryLength);
            if (KindOf(entry) != EntryKind::File) continue;
            const auto key = std::make_pair(entry[0], PlainName(entry));
            const std::int64_t extent = std::int64_t{entry[kHighExtent]} * (kMostExtent + 1) + entry[kExtent];
            const std::int64_t total = extent * kMostRecords + entry[kRecords];
            const auto [found, added] = seen.emplace(key, identity.Files.size());
            if (added) {
                const auto name = PlainName(entry);
                const SectorSpan plain(name);
                identity.Files.push_back(
                    {FileName(plain.first(8), plain.subspan(8), '.'), 0, (entry[kType + 1] & 0x80) != 0, false});
                records.push_back(0);
            }
            records[found->second] = std::max(records[found->second], total);
        }
    }
    for (std::size_t n = 0; n < identity.Files.size(); ++n) identity.Files[n].Size = records[n] * 128;
    if (HoldsCpmSystem(disk, first)) {
        identity.Dos = DosName::Cpm;
        identity.Evidence.emplace_back("system tracks name Digital Research");
    }
}

}  // namespace tabulon
