#include "DosDisk.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace tabulon::images {

namespace {

std::uint8_t SizeCode(int size) {
    std::uint8_t code = 0;
    while ((128 << code) < size) ++code;
    return code;
}

void PutText(Bytes& bytes, std::size_t at, std::string_view text, std::size_t width, char pad = ' ') {
    for (std::size_t n = 0; n < width; ++n) {
        bytes.at(at + n) = static_cast<std::uint8_t>(n < text.size() ? text[n] : pad);
    }
}

void PutLe16(Bytes& bytes, std::size_t at, unsigned value) {
    bytes.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

// TRSDOS's hash of a name and extension, as the HIT keeps it (never 0).
std::uint8_t NameHash(const std::string& name, const std::string& extension) {
    Bytes padded(11, ' ');
    PutText(padded, 0, name, 8);
    PutText(padded, 8, extension, 3);
    unsigned hash = 0;
    for (const std::uint8_t byte : padded) {
        hash ^= byte;
        hash = ((hash << 1) | (hash >> 7)) & 0xFF;
    }
    return static_cast<std::uint8_t>(hash == 0 ? 1 : hash);
}

Bytes TrsdosEntry(const DirectoryFile& file, std::size_t length) {
    Bytes entry(length, 0);
    entry[0] = file.Attributes;
    entry[3] = file.EofByte;
    PutText(entry, 5, file.Name, 8);
    PutText(entry, 13, file.Extension, 3);
    PutLe16(entry, 16, 0x4296);  // no password
    PutLe16(entry, 18, 0x4296);
    PutLe16(entry, 20, static_cast<unsigned>(file.Records));
    std::fill(entry.begin() + 22, entry.end(), 0xFF);  // no extents written
    return entry;
}

}  // namespace

DosDisk::DosDisk(const DiskShape& shape) : shape_(shape) {
    for (int cylinder = 0; cylinder < shape.Cylinders; ++cylinder) {
        for (int side = 0; side < shape.Sides; ++side) {
            tracks_.emplace_back(static_cast<std::size_t>(SectorsOn(cylinder)),
                                 Sector{Bytes(static_cast<std::size_t>(shape.SectorSize), 0xE5), false});
        }
    }
}

int DosDisk::SectorsOn(int cylinder) const {
    return cylinder == 0 && shape_.Track0Sectors > 0 ? shape_.Track0Sectors : shape_.SectorsPerTrack;
}

DiskPlace DosDisk::Ordered(int index, int cylinder) const {
    for (; cylinder < shape_.Cylinders; ++cylinder) {
        const int perTrack = SectorsOn(cylinder);
        if (index < perTrack * shape_.Sides) return {cylinder, index / perTrack, shape_.FirstSector + index % perTrack};
        index -= perTrack * shape_.Sides;
    }
    throw std::out_of_range("past the disk's last sector");
}

std::size_t DosDisk::IndexOf(const DiskPlace& place) const {
    if (place.Cylinder < 0 || place.Cylinder >= shape_.Cylinders || place.Side < 0 || place.Side >= shape_.Sides ||
        place.Number < shape_.FirstSector || place.Number >= shape_.FirstSector + SectorsOn(place.Cylinder)) {
        throw std::out_of_range("no such sector");
    }
    return static_cast<std::size_t>(place.Cylinder * shape_.Sides + place.Side);
}

Bytes& DosDisk::At(const DiskPlace& place) {
    return tracks_[IndexOf(place)][static_cast<std::size_t>(place.Number - shape_.FirstSector)].Data;
}

void DosDisk::SetDeleted(const DiskPlace& place, bool deleted) {
    tracks_[IndexOf(place)][static_cast<std::size_t>(place.Number - shape_.FirstSector)].Deleted = deleted;
}

bool DosDisk::Deleted(const DiskPlace& place) const {
    return tracks_[IndexOf(place)][static_cast<std::size_t>(place.Number - shape_.FirstSector)].Deleted;
}

std::vector<int> DosDisk::PhysicalNumbers(int cylinder) const {
    const auto count = static_cast<std::size_t>(SectorsOn(cylinder));
    std::vector<int> order(count, -1);
    std::size_t slot = 0;
    for (std::size_t n = 0; n < count; ++n) {
        while (order[slot] >= 0) slot = (slot + 1) % count;
        order[slot] = shape_.FirstSector + static_cast<int>(n);
        slot = (slot + static_cast<std::size_t>(std::max(1, shape_.Interleave))) % count;
    }
    return order;
}

Bytes DosDisk::Dmk() const {
    std::vector<WrittenTrack> tracks;
    for (int cylinder = 0; cylinder < shape_.Cylinders; ++cylinder) {
        const bool doubleDensity = shape_.DoubleDensity && SectorsOn(cylinder) == shape_.SectorsPerTrack;
        for (int side = 0; side < shape_.Sides; ++side) {
            WrittenTrack track{static_cast<std::uint8_t>(cylinder), static_cast<std::uint8_t>(side), doubleDensity, {}};
            for (const int number : PhysicalNumbers(cylinder)) {
                const Sector& sector =
                    tracks_[IndexOf({cylinder, side, number})][static_cast<std::size_t>(number - shape_.FirstSector)];
                track.Sectors.push_back({static_cast<std::uint8_t>(number), sector.Data.data(), false,
                                         SizeCode(shape_.SectorSize), -1, -1, sector.Deleted});
            }
            tracks.push_back(std::move(track));
        }
    }
    return BuildDmkImage(tracks, shape_.Sides == 2);
}

Bytes DosDisk::Jv3() const {
    std::vector<Jv3Sector> sectors;
    const std::uint8_t sizeBits = shape_.SectorSize == 128    ? 1
                                  : shape_.SectorSize == 1024 ? 2
                                  : shape_.SectorSize == 512  ? 3
                                                              : 0;
    for (int cylinder = 0; cylinder < shape_.Cylinders; ++cylinder) {
        const bool doubleDensity = shape_.DoubleDensity && SectorsOn(cylinder) == shape_.SectorsPerTrack;
        for (int side = 0; side < shape_.Sides; ++side) {
            for (const int number : PhysicalNumbers(cylinder)) {
                const DiskPlace place{cylinder, side, number};
                // Deleted marks: F8 is 0x60 in single density, 0x20 in double.
                const std::uint8_t mark = !Deleted(place) ? 0 : doubleDensity ? 0x20 : 0x60;
                const auto flags =
                    static_cast<std::uint8_t>((doubleDensity ? 0x80 : 0) | (side == 1 ? 0x10 : 0) | mark | sizeBits);
                sectors.push_back(
                    {static_cast<std::uint8_t>(cylinder), static_cast<std::uint8_t>(number), flags,
                     tracks_[IndexOf(place)][static_cast<std::size_t>(number - shape_.FirstSector)].Data});
            }
        }
    }
    return BuildJv3Image(sectors);
}

Bytes DosDisk::Jv1() const {
    if (shape_.Sides != 1 || shape_.SectorsPerTrack != 10 || shape_.SectorSize != 256 || shape_.FirstSector != 0 ||
        shape_.Track0Sectors > 0) {
        throw std::invalid_argument("JV1 holds one side of ten 256-byte sectors a track");
    }
    Bytes image;
    for (const auto& track : tracks_) {
        for (const Sector& sector : track) image.insert(image.end(), sector.Data.begin(), sector.Data.end());
    }
    return image;
}

Bytes DosDisk::Imd() const {
    const std::string_view comment = "IMD 1.18: 07/12/2026 10:00:00\r\nTabulon DOS disk\r\n";
    Bytes image(comment.begin(), comment.end());
    image.push_back(0x1A);
    for (int cylinder = 0; cylinder < shape_.Cylinders; ++cylinder) {
        const bool doubleDensity = shape_.DoubleDensity && SectorsOn(cylinder) == shape_.SectorsPerTrack;
        for (int side = 0; side < shape_.Sides; ++side) {
            const std::vector<int> numbers = PhysicalNumbers(cylinder);
            image.insert(image.end(), {static_cast<std::uint8_t>(doubleDensity ? 5 : 2),
                                       static_cast<std::uint8_t>(cylinder), static_cast<std::uint8_t>(side),
                                       static_cast<std::uint8_t>(numbers.size()), SizeCode(shape_.SectorSize)});
            for (const int number : numbers) image.push_back(static_cast<std::uint8_t>(number));
            for (const int number : numbers) {
                const DiskPlace place{cylinder, side, number};
                image.push_back(Deleted(place) ? 3 : 1);  // deleted data, or normal data
                const Bytes& data = tracks_[IndexOf(place)][static_cast<std::size_t>(number - shape_.FirstSector)].Data;
                image.insert(image.end(), data.begin(), data.end());
            }
        }
    }
    return image;
}

Bytes DosDisk::Td0() const {
    std::vector<Td0Track> tracks;
    for (int cylinder = 0; cylinder < shape_.Cylinders; ++cylinder) {
        const bool doubleDensity = shape_.DoubleDensity && SectorsOn(cylinder) == shape_.SectorsPerTrack;
        for (int side = 0; side < shape_.Sides; ++side) {
            Td0Track track{static_cast<std::uint8_t>(cylinder), static_cast<std::uint8_t>(side), !doubleDensity, {}};
            for (const int number : PhysicalNumbers(cylinder)) {
                const DiskPlace place{cylinder, side, number};
                track.Sectors.push_back(
                    {static_cast<std::uint8_t>(cylinder),
                     static_cast<std::uint8_t>(side),
                     static_cast<std::uint8_t>(number),
                     SizeCode(shape_.SectorSize),
                     static_cast<std::uint8_t>(Deleted(place) ? 0x04 : 0x00),
                     tracks_[IndexOf(place)][static_cast<std::size_t>(number - shape_.FirstSector)].Data,
                     {}});
            }
            tracks.push_back(std::move(track));
        }
    }
    return BuildTd0Image(tracks, Td0Options{});
}

void WriteBootSector(DosDisk& disk, std::uint8_t byte1, std::uint8_t byte2, const std::string& text) {
    Bytes& boot = disk.At({0, 0, disk.Shape().FirstSector});
    std::fill(boot.begin(), boot.end(), 0);
    boot[0] = 0x00;
    boot[1] = byte1;
    boot[2] = byte2;
    boot[3] = 0xF3;  // DI: the loader's code follows
    PutText(boot, 0x10, text, text.size());
}

void WriteTrsdosDirectory(DosDisk& disk, const TrsdosDirectory& directory) {
    const int gat = directory.Gat;
    Bytes& table = disk.At(disk.Ordered(gat, directory.Cylinder));
    std::fill(table.begin(), table.end(), 0xFF);
    table[0xCB] = directory.Version;
    PutLe16(table, 0xCE, 0x42E0);
    PutText(table, 0xD0, "TABULON 01/01/26", 16);
    table[0xE0] = 0x0D;

    const std::size_t perSector = static_cast<std::size_t>(disk.Shape().SectorSize) / 32;
    std::vector<DirectoryFile> files = {
        {directory.GDos ? "GDOS" : "BOOT", "SYS", directory.BootAttributes, 5, 0},
        {directory.GDos ? "INHALT" : "DIR", "SYS", 0x5D, directory.Sectors, 0},
    };
    files.insert(files.end(), directory.Files.begin(), directory.Files.end());
    // BOOT/SYS and DIR/SYS open the first two entry sectors; the others fill
    // the sectors in order.
    std::vector<std::pair<int, std::size_t>> slots = {{2, 0}, {3, 0}};
    for (int sector = 2; sector < directory.Sectors; ++sector) {
        for (std::size_t slot = 0; slot < perSector; ++slot) {
            if (slot != 0 || sector > 3) slots.emplace_back(sector, slot);
        }
    }
    if (files.size() > slots.size()) throw std::invalid_argument("more files than the directory holds");
    Bytes& hit = disk.At(disk.Ordered(gat + 1, directory.Cylinder));
    std::fill(hit.begin(), hit.end(), 0);
    for (int sector = 2; sector < directory.Sectors; ++sector) {
        Bytes& bytes = disk.At(disk.Ordered(gat + sector, directory.Cylinder));
        std::fill(bytes.begin(), bytes.end(), 0);
    }
    for (std::size_t n = 0; n < files.size(); ++n) {
        const auto [sector, slot] = slots[n];
        const Bytes entry = TrsdosEntry(files[n], 32);
        std::copy(
            entry.begin(), entry.end(),
            disk.At(disk.Ordered(gat + sector, directory.Cylinder)).begin() + static_cast<std::ptrdiff_t>(32 * slot));
        hit.at((slot << 5) | static_cast<std::size_t>(sector - 2)) = NameHash(files[n].Name, files[n].Extension);
    }
    for (int sector = 0; sector < directory.Sectors; ++sector) {
        disk.SetDeleted(disk.Ordered(gat + sector, directory.Cylinder), directory.DeletedMarks);
    }
}

void WriteModel3Directory(DosDisk& disk, int cylinder, bool prologica, bool system,
                          const std::vector<DirectoryFile>& files) {
    const int first = disk.Shape().FirstSector;
    const int sectors = disk.SectorsOn(cylinder);
    Bytes& table = disk.At({cylinder, 0, first});
    std::fill(table.begin(), table.end(), 0);
    PutLe16(table, 0xCE, 0x8FD3);
    PutText(table, 0xD0, "TRSDOS  01/01/26", 16);
    table[0xE0] = 0x0D;
    Bytes& hit = disk.At({cylinder, 0, first + 1});
    std::fill(hit.begin(), hit.end(), 0);
    std::fill(hit.begin() + 0xE0, hit.end(), 0xFF);
    if (system) PutLe16(hit, 0xE0, 0x2300);  // SYS0/SYS's extent: four granules from track 0
    for (int sector = 2; sector < sectors; ++sector) {
        Bytes& bytes = disk.At({cylinder, 0, first + sector});
        std::fill(bytes.begin(), bytes.end(), 0);
        PutText(bytes, 240, prologica ? "PROLOGICA 1982" : "(c) 1980 Tandy", 16);
    }
    if (files.size() > static_cast<std::size_t>(sectors - 2) * 5) throw std::invalid_argument("too many files");
    for (std::size_t n = 0; n < files.size(); ++n) {
        const Bytes entry = TrsdosEntry(files[n], 48);
        Bytes& bytes = disk.At({cylinder, 0, first + 2 + static_cast<int>(n / 5)});
        std::copy(entry.begin(), entry.end(), bytes.begin() + static_cast<std::ptrdiff_t>(48 * (n % 5)));
        hit.at(n) = NameHash(files[n].Name, files[n].Extension);
    }
    // Model III TRSDOS marks every sector but the directory's deleted.
    for (int index = 0;; ++index) {
        DiskPlace place;
        try {
            place = disk.Ordered(index);
        } catch (const std::out_of_range&) {
            break;
        }
        disk.SetDeleted(place, place.Cylinder != cylinder);
    }
}

void WriteCpmDirectory(DosDisk& disk, int cylinder, int side, bool system, const std::vector<CpmFile>& files) {
    const auto size = static_cast<std::size_t>(disk.Shape().SectorSize);
    const int first = disk.Shape().FirstSector;
    if (system) {
        // The system tracks hold code (here a run of jumps) and the system's copyright.
        for (int index = 0;; ++index) {
            const DiskPlace place = disk.Ordered(index);
            if (place.Cylinder > cylinder || (place.Cylinder == cylinder && place.Side >= side)) break;
            std::fill(disk.At(place).begin(), disk.At(place).end(), 0xC3);
        }
        PutText(disk.At({0, 0, first + 1}), 8, "COPYRIGHT (C) 1980, DIGITAL RESEARCH", 36);
    }
    std::size_t entry = 0;
    for (const CpmFile& file : files) {
        const int extents = std::max(1, (file.Records + 127) / 128);
        for (int extent = 0; extent < extents; ++extent, ++entry) {
            Bytes& bytes = disk.At({cylinder, side, first + static_cast<int>(entry * 32 / size)});
            const std::size_t at = entry * 32 % size;
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 32), 0);
            bytes[at] = file.User;
            PutText(bytes, at + 1, file.Name, 8);
            PutText(bytes, at + 9, file.Type, 3);
            if (file.System) bytes[at + 10] |= 0x80;
            bytes[at + 12] = static_cast<std::uint8_t>(extent % 32);
            bytes[at + 14] = static_cast<std::uint8_t>(extent / 32);
            bytes[at + 15] = static_cast<std::uint8_t>(extent + 1 < extents ? 128 : file.Records - 128 * extent);
            bytes[at + 16] = static_cast<std::uint8_t>(2 + entry);  // an allocation block
        }
    }
}

void WriteUcsdVolume(DosDisk& disk, int cylinder, const std::string& name, const std::vector<UcsdFile>& files) {
    Bytes directory(2048, 0);
    PutLe16(directory, 2, 6);  // the directory ends before block 6
    directory[6] = static_cast<std::uint8_t>(name.size());
    PutText(directory, 7, name, name.size());
    unsigned block = 6;
    for (const UcsdFile& file : files) block += static_cast<unsigned>(file.Blocks);
    PutLe16(directory, 14, block + 10);  // the volume's blocks
    PutLe16(directory, 16, static_cast<unsigned>(files.size()));
    block = 6;
    for (std::size_t n = 0; n < files.size(); ++n) {
        const std::size_t at = 26 * (n + 1);
        PutLe16(directory, at, block);
        block += static_cast<unsigned>(files[n].Blocks);
        PutLe16(directory, at + 2, block);
        PutLe16(directory, at + 4, 2);  // code
        directory[at + 6] = static_cast<std::uint8_t>(files[n].Title.size());
        PutText(directory, at + 7, files[n].Title, files[n].Title.size());
        PutLe16(directory, at + 22, static_cast<unsigned>(files[n].LastBytes));
    }
    const auto size = static_cast<std::size_t>(disk.Shape().SectorSize);
    for (std::size_t offset = 0; offset < directory.size(); offset += size) {
        Bytes& sector = disk.At(disk.Ordered(static_cast<int>((1024 + offset) / size), cylinder));
        std::copy(directory.begin() + static_cast<std::ptrdiff_t>(offset),
                  directory.begin() + static_cast<std::ptrdiff_t>(offset + size), sector.begin());
    }
}

}  // namespace tabulon::images
