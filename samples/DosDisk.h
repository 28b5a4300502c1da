#pragma once

#include "ImageBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

// Disks as the TRS-80's DOSes write them, sector by sector, for the tests of
// the disk's identity: boot sector, directories (GAT, HIT, entries) and data
// marks, written out as any of the containers.
namespace tabulon::images {

// The shape of a disk: every track alike, but for track 0, which may be
// single density with its own count of sectors.
struct DiskShape {
    int Cylinders = 40;
    int Sides = 1;
    int SectorsPerTrack = 10;
    int SectorSize = 256;
    int FirstSector = 0;  // sectors numbered from here
    bool DoubleDensity = false;
    int Track0Sectors = 0;  // more than 0: cylinder 0 single density with so many sectors
    int Interleave = 1;     // the physical order of the numbers on a track
};

// A sector's place on the disk.
struct DiskPlace {
    int Cylinder = 0;
    int Side = 0;
    int Number = 0;
};

// A disk written sector by sector; every sector holds 0xE5 until set.
class DosDisk {
public:
    explicit DosDisk(const DiskShape& shape);

    const DiskShape& Shape() const { return shape_; }
    // The sectors on a track of cylinder.
    int SectorsOn(int cylinder) const;
    // The place of the index-th sector as NEWDOS counts from cylinder's first:
    // cylinder by cylinder, side 0's sectors by number, then side 1's.
    DiskPlace Ordered(int index, int cylinder = 0) const;

    Bytes& At(const DiskPlace& place);
    void SetDeleted(const DiskPlace& place, bool deleted = true);
    bool Deleted(const DiskPlace& place) const;

    Bytes Dmk() const;
    Bytes Jv3() const;
    Bytes Jv1() const;  // single-sided, ten 256-byte sectors a track
    Bytes Imd() const;
    Bytes Td0() const;

private:
    struct Sector {
        Bytes Data;
        bool Deleted = false;
    };
    std::size_t IndexOf(const DiskPlace& place) const;
    std::vector<int> PhysicalNumbers(int cylinder) const;

    DiskShape shape_;
    std::vector<std::vector<Sector>> tracks_;  // cylinder by cylinder, side 0 then 1; by number
};

// A file in a directory of the TRSDOS family (32-byte entries) or of Model III TRSDOS (48-byte).
struct DirectoryFile {
    std::string Name;                // up to eight letters
    std::string Extension;           // up to three
    std::uint8_t Attributes = 0x10;  // in use, visible, full access
    int Records = 1;                 // sectors, the last one counted (Model III: whole ones)
    std::uint8_t EofByte = 0;
};

// A directory of the TRSDOS family: GAT, HIT, then entry sectors, BOOT/SYS
// and DIR/SYS first.
struct TrsdosDirectory {
    int Cylinder = 0;                    // where it lies: from the first sector of this cylinder,
    int Gat = 0;                         // the GAT's index in NEWDOS order
    int Sectors = 10;                    // the directory's length, which DIR/SYS records
    std::uint8_t Version = 0x82;         // GAT byte 0xCB
    std::uint8_t BootAttributes = 0x5E;  // BOOT/SYS: 0x5E NEWDOS/80, 0x7E NEWDOS/86 and /90
    bool GDos = false;                   // GDOS/SYS and INHALT/SYS open it
    bool DeletedMarks = true;            // its sectors written with deleted data marks
    std::vector<DirectoryFile> Files;    // after BOOT/SYS and DIR/SYS
};
void WriteTrsdosDirectory(DosDisk& disk, const TrsdosDirectory& directory);

// The boot sector (track 0, side 0, the first sector): a jump, the given
// bytes at 1 and 2 (the directory's cylinder, or NEWDOS's lump), text at 0x10.
void WriteBootSector(DosDisk& disk, std::uint8_t byte1, std::uint8_t byte2, const std::string& text = {});

// Model III TRSDOS's directory on a whole track: GAT, HIT (system files at
// 0xE0 when system), five 48-byte entries a sector, each sector signed
// "(c) 1980 Tandy" or, for DOS500, "PROLOGICA 1982".
void WriteModel3Directory(DosDisk& disk, int cylinder, bool prologica, bool system,
                          const std::vector<DirectoryFile>& files);

// A CP/M file: user, name and type, records (128 bytes) in all, the system attribute.
struct CpmFile {
    std::uint8_t User = 0;
    std::string Name;
    std::string Type;
    int Records = 1;
    bool System = false;
};
// CP/M's directory from the first sector of cylinder's side, every entry of a
// file of more than 128 records holding one 16 KiB extent; the system tracks
// before it signed "COPYRIGHT (C) 1980, DIGITAL RESEARCH" when system.
void WriteCpmDirectory(DosDisk& disk, int cylinder, int side, bool system, const std::vector<CpmFile>& files);

// A p-System volume from the first sector of cylinder: its directory in blocks
// 2 to 5, the files one after another from block 6.
struct UcsdFile {
    std::string Title;
    int Blocks = 1;
    int LastBytes = 512;
};
void WriteUcsdVolume(DosDisk& disk, int cylinder, const std::string& name, const std::vector<UcsdFile>& files);

}  // namespace tabulon::images
