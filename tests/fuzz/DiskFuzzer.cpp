// The search for a disk's DOS over arbitrary bytes. The first byte chooses:
// even, the bytes are an image (a DMK, JV1 or JV3 file opens with an even
// byte), analysed whole with the disk asked for; odd, the bytes after the next
// make up the sectors of a disk whose shape that next byte gives, each
// sector taken from the bytes in turn (so that a few sectors' worth of
// directory repeat over the whole disk). Nothing may crash or throw, the
// search reads a bounded number of sectors, and what it answers holds
// together: a system only with its directory's layout, names in printable
// ASCII, the directory's place on the disk.
#include "Analysis.h"
#include "DiskOrder.h"
#include "FuzzCheck.h"
#include "IdentifyDisk.h"
#include "ImageFile.h"
#include "MemoryFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace tabulon;
using fuzz::Check;

// Reads a thorough search may make: every cylinder's first sectors, a few
// cylinders whole, the directory and the system tracks.
constexpr std::size_t kMostReads = 1200;
constexpr std::size_t kMostTracks = 600;

void CheckIdentity(const DiskIdentity& disk) {
    Check(!disk.Evidence.empty(), "evidence always given");
    Check(!disk.Dos || disk.Dos == disk.Format, "a system only with its own directory");
    Check(!disk.Version || disk.Format, "a version only with a directory");
    Check(!disk.Directory || disk.Format, "a directory's place only with its layout");
    Check(!disk.Unformatted || (!disk.Format && disk.Files.empty()), "an unformatted disk holds nothing");
    if (disk.Directory) {
        const DiskDirectory& at = *disk.Directory;
        Check(at.Cylinder >= 0 && at.Cylinder <= kMostCylinders && (at.Side == 0 || at.Side == 1), "directory's track");
        Check(at.FirstSector >= 0 && at.FirstSector <= 255 && at.PlaceInCylinder >= 0, "directory's sector");
        Check(!at.Sectors || (*at.Sectors >= 1 && *at.Sectors <= 64), "directory's length");
    }
    Check(disk.Files.size() <= 8192, "files bounded");
    for (const DiskFile& file : disk.Files) {
        Check(std::all_of(file.Name.begin(), file.Name.end(), [](char c) { return c >= 0x20 && c < 0x7F; }),
              "names in printable ASCII");
        Check(!file.Size || *file.Size >= 0, "sizes");
    }
}

// A disk made of the bytes: its shape from the first, its sectors from the rest in turn.
class BytesDisk final : public DiskSectors {
public:
    BytesDisk(std::uint8_t shape, std::span<const std::uint8_t> bytes) : bytes_(bytes) {
        constexpr std::array<int, 4> kPerTrack = {10, 18, 26, 16};
        constexpr std::array<int, 4> kSizes = {256, 128, 512, 256};
        sides_ = 1 + (shape & 1);
        perTrack_ = kPerTrack[(shape >> 1) & 3];
        first_ = (shape >> 3) & 1;
        size_ = kSizes[(shape >> 4) & 3];
        cylinders_ = (shape & 0x40) ? 80 : 40;
        marks_ = (shape & 0x80) != 0;
        for (int n = 0; n < perTrack_; ++n) numbers_.push_back(first_ + n);
    }

    const std::vector<int>& Numbers(TrackPlace place) override {
        tracks_.emplace(place.Cylinder, place.Side);
        const bool there = place.Cylinder >= 0 && place.Cylinder < cylinders_ && place.Side >= 0 && place.Side < sides_;
        return there ? numbers_ : none_;
    }

    const ReadSector* Read(const SectorPosition& at) override {
        const auto key = std::make_tuple(at.Cylinder, at.Side, at.Sector);
        if (const auto found = read_.find(key); found != read_.end()) return &found->second;
        if (at.Cylinder < 0 || at.Cylinder >= cylinders_ || at.Side < 0 || at.Side >= sides_ || at.Sector < first_ ||
            at.Sector >= first_ + perTrack_ || bytes_.empty()) {
            return nullptr;
        }
        const auto index = static_cast<std::size_t>((at.Cylinder * sides_ + at.Side) * perTrack_ + at.Sector - first_);
        ReadSector sector;
        for (std::size_t n = 0; n < static_cast<std::size_t>(size_); ++n) {
            sector.Bytes.push_back(bytes_[(index * static_cast<std::size_t>(size_) + n) % bytes_.size()]);
        }
        return &read_.emplace(key, std::move(sector)).first->second;
    }

    // Marks, where kept, from the sector's first byte.
    std::optional<bool> Deleted(const SectorPosition& at) override {
        const ReadSector* sector = marks_ ? Read(at) : nullptr;
        if (sector == nullptr) return std::nullopt;
        return (sector->Bytes[0] & 1) != 0;
    }

    bool Blank() override { return false; }

    std::size_t Reads() const { return read_.size(); }
    std::size_t Tracks() const { return tracks_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    int sides_;
    int perTrack_;
    int first_;
    int size_;
    int cylinders_;
    bool marks_;
    std::vector<int> numbers_;
    const std::vector<int> none_;
    std::map<std::tuple<int, int, int>, ReadSector> read_;
    std::set<std::pair<int, int>> tracks_;
};

void Image(std::span<const std::uint8_t> bytes) {
    const fuzz::MemoryFile image(bytes.data(), bytes.size());
    ImageFile file;
    Check(file.Open(image.Path()).Opened(), "open");
    AnalyseOptions options;
    options.Disk = true;
    options.AllSlots = true;
    options.Geometry = (bytes.back() & 1) != 0;  // the search then takes the geometry's tracks
    const Analysis record = Analyse(file, options);
    Check(!record.Failure, "nothing thrown");
    Check(!record.DiskStop, "reads past the image leave sectors unread, never stop the search");
    if (!record.Disk) {
        Check(!record.Opened() || !record.Loaded, "every recognised container searched");
        return;
    }
    CheckIdentity(*record.Disk);
    const bool checked = record.DirectoryCheck.has_value();
    Check(checked == (record.Table() && record.Disk->Directory && IsNewdosFamily(*record.Disk->Format)),
          "the table checked on a NEWDOS disk's directory, and only there");
    Check(checked ? record.SlotDirectoryChecks.size() == record.Slots.size() : record.SlotDirectoryChecks.empty(),
          "each slot checked");
}

void Sectors(std::uint8_t shape, std::span<const std::uint8_t> bytes) {
    BytesDisk disk(shape, bytes);
    DriveSlot table;
    table.GranulesPerLump = shape;
    const DiskIdentity identity = IdentifyDisk(disk, table);
    CheckIdentity(identity);
    Check(disk.Reads() <= kMostReads, "the search reads a bounded number of sectors");
    Check(disk.Tracks() <= kMostTracks, "and of tracks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 2u * 1024 * 1024) return 0;
    if ((data[0] & 1) == 0) {
        Image({data, size});
    } else if (size > 1) {
        Sectors(data[1], {data + 2, size - 2});
    }
    return 0;
}
