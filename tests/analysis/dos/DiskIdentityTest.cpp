#include "Analysis.h"
#include "DosDisk.h"
#include "ImageFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tabulon {
namespace {

namespace img = images;

AnalyseOptions WithDisk() {
    AnalyseOptions options;
    options.Disk = true;
    return options;
}

// The image analysed as a file, the way every image is.
Analysis AnalyseImage(const test::Bytes& image, const AnalyseOptions& options = WithDisk()) {
    const test::TempDir dir;
    ImageFile file;
    EXPECT_TRUE(file.Open(dir.Write("disk.img", image).string()).Opened());
    return Analyse(file, options);
}

const DiskFile* FileNamed(const DiskIdentity& disk, const std::string& name) {
    const auto found =
        std::find_if(disk.Files.begin(), disk.Files.end(), [&](const DiskFile& f) { return f.Name == name; });
    return found == disk.Files.end() ? nullptr : &*found;
}

bool Says(const DiskIdentity& disk, const std::string& phrase) {
    return std::find(disk.Evidence.begin(), disk.Evidence.end(), phrase) != disk.Evidence.end();
}

const img::DiskShape kSingle{40, 1, 10, 256, 0, false};
const img::DiskShape kDouble{40, 1, 18, 256, 0, true, 0, 3};
const img::DiskShape kDoubleSided{40, 2, 18, 256, 0, true, 10};
const img::DiskShape kModel3{40, 1, 18, 256, 1, true};

const img::DirectoryFile kSys0{"SYS0", "SYS", 0x5F, 15, 0};
const img::DirectoryFile kUserFile{"HELLO", "BAS", 0x10, 3, 0x40};  // 2 x 256 + 64 bytes
const img::DirectoryFile kKilled{"GONE", "CMD", 0x00, 4, 0};        // its entry no longer in use
const img::DirectoryFile kHidden{"SECRET", "", 0x18, 1, 0};         // invisible

// A disk of the TRSDOS family: boot bytes, the directory, and on NEWDOS disks the PDRIVE table.
img::DosDisk TrsdosDisk(const img::DiskShape& shape, std::uint8_t bootByte2, img::TrsdosDirectory directory,
                        const std::string& bootText = {}) {
    img::DosDisk disk(shape);
    img::WriteBootSector(disk, 0xFE, bootByte2, bootText);
    img::WriteTrsdosDirectory(disk, directory);
    return disk;
}

img::TrsdosDirectory Directory(int cylinder, int gat, int sectors, std::uint8_t version,
                               std::vector<img::DirectoryFile> files, std::uint8_t bootAttributes = 0x5E) {
    img::TrsdosDirectory directory;
    directory.Cylinder = cylinder;
    directory.Gat = gat;
    directory.Sectors = sectors;
    directory.Version = version;
    directory.BootAttributes = bootAttributes;
    directory.Files = std::move(files);
    return directory;
}

struct DosCase {
    const char* Name;
    std::function<test::Bytes()> Image;
    std::optional<DosName> Dos;
    std::optional<DosName> Format;
    std::optional<std::string> Version;
    DiskDirectory Where;
    std::size_t Files;
};

// One disk of each DOS, each in a container of its time, the directory found
// by its structure: where it lies, what it is named and what it holds.
TEST(DiskIdentity, NamesEachDosByItsDirectory) {
    const std::vector<img::DirectoryFile> system = {kSys0, kUserFile, kKilled, kHidden};
    const std::vector<img::DirectoryFile> data = {kUserFile};
    const auto trsdos = [&](const img::DiskShape& shape, std::uint8_t byte2, img::TrsdosDirectory directory, auto write,
                            const std::string& text = {}) {
        return [=] { return write(TrsdosDisk(shape, byte2, directory, text)); };
    };
    const auto jv1 = [](const img::DosDisk& d) { return d.Jv1(); };
    const auto jv3 = [](const img::DosDisk& d) { return d.Jv3(); };
    const auto dmk = [](const img::DosDisk& d) { return d.Dmk(); };
    const auto imd = [](const img::DosDisk& d) { return d.Imd(); };
    const auto td0 = [](const img::DosDisk& d) { return d.Td0(); };
    img::TrsdosDirectory gdos = Directory(17, 0, 10, 0x82, system);
    gdos.GDos = true;

    const std::vector<DosCase> cases = {
        {"NEWDOS/80, single density, JV1",
         trsdos(kSingle, 17, Directory(17, 0, 10, 0x82, system), jv1),
         DosName::Newdos80,
         DosName::Newdos80,
         std::nullopt,
         {17, 0, 0, 10, 0},
         5},
        {"NEWDOS/86 data disk at lump 17 of 2 granules, DMK",
         trsdos(kDouble, 17, Directory(9, 8, 15, 0x82, data, 0x7E), dmk),
         std::nullopt,
         DosName::Newdos86,
         std::nullopt,
         {9, 0, 8, 15, 8},
         3},
        {"G-DOS, DMK",
         trsdos(kSingle, 17, gdos, dmk),
         DosName::GDos,
         DosName::GDos,
         std::nullopt,
         {17, 0, 0, 10, 0},
         5},
        {"TRSDOS 2.3, JV3",
         trsdos(kSingle, 17, Directory(17, 0, 10, 0x00, system), jv3),
         DosName::Trsdos23,
         DosName::Trsdos23,
         std::nullopt,
         {17, 0, 0, 10, 0},
         5},
        {"LDOS 5.1 data disk, JV3",
         trsdos(kDouble, 20, Directory(20, 0, 18, 0x51, data), jv3),
         std::nullopt,
         DosName::Ldos,
         "5.1",
         {20, 0, 0, 18, 0},
         3},
        {"LS-DOS 6.3, double-sided, IMD",
         trsdos(kDoubleSided, 20, Directory(20, 0, 34, 0x63, system), imd),
         DosName::LsDos,
         DosName::LsDos,
         "6.3",
         {20, 0, 0, 34, 0},
         5},
        {"TRSDOS 6.2, TD0",
         trsdos(kDouble, 20, Directory(20, 0, 18, 0x62, system), td0),
         DosName::Trsdos6,
         DosName::Trsdos6,
         "6.2",
         {20, 0, 0, 18, 0},
         5},
        {"DOSPLUS 3.5, DMK",
         trsdos(kSingle, 17, Directory(17, 0, 10, 0x35, system), dmk),
         DosName::Dosplus,
         DosName::Dosplus,
         "3.5",
         {17, 0, 0, 10, 0},
         5},
        {"MultiDOS, JV3",
         trsdos(kDouble, 17, Directory(17, 0, 18, 0xFF, system), jv3),
         DosName::MultiDos,
         DosName::MultiDos,
         std::nullopt,
         {17, 0, 0, 18, 0},
         5},
        {"ULTRADOS, JV1",
         trsdos(kSingle, 17, Directory(17, 0, 10, 0x00, {{"SYS00", "SYS", 0x5F, 5, 0}}), jv1),
         DosName::UltraDos,
         DosName::UltraDos,
         std::nullopt,
         {17, 0, 0, 10, 0},
         3},
        {"RapidOS, DMK",
         trsdos(kSingle, 17, Directory(17, 0, 10, 0x00, system), dmk, "RAPIDOS"),
         DosName::RapidOs,
         DosName::RapidOs,
         std::nullopt,
         {17, 0, 0, 10, 0},
         5},
        {"TRSDOS 1.3, DMK",
         [] {
             img::DosDisk disk(kModel3);
             img::WriteBootSector(disk, 17, 0x00);
             disk.At({0, 0, 1})[0xFE] = 0x13;
             img::WriteModel3Directory(disk, 17, false, true, {kUserFile, kKilled, kHidden});
             return disk.Dmk();
         },
         DosName::Trsdos13,
         DosName::Trsdos13,
         "1.3",
         {17, 0, 1, 18, 0},
         2},
        {"DOS500 data disk, JV3",
         [] {
             img::DosDisk disk(kModel3);
             img::WriteBootSector(disk, 17, 0x00);
             img::WriteModel3Directory(disk, 17, true, false, {kUserFile});
             return disk.Jv3();
         },
         std::nullopt,
         DosName::Dos500,
         std::nullopt,
         {17, 0, 1, 18, 0},
         1},
        {"CP/M, two system tracks, DMK",
         [] {
             img::DosDisk disk(kDoubleSided);
             img::WriteCpmDirectory(disk, 1, 0, true, {{0, "PIP", "COM", 58, false}, {3, "BIG", "DAT", 300, true}});
             return disk.Dmk();
         },
         DosName::Cpm,
         DosName::Cpm,
         std::nullopt,
         {1, 0, 0, std::nullopt, 0},
         2},
        {"CP/M, an empty directory after the system, JV3",
         [] {
             img::DosDisk disk(img::DiskShape{40, 1, 26, 128, 1, false});
             img::WriteCpmDirectory(disk, 2, 0, true, {});
             return disk.Jv3();
         },
         DosName::Cpm,
         DosName::Cpm,
         std::nullopt,
         {2, 0, 1, std::nullopt, 0},
         0},
        {"UCSD p-System, IMD",
         [] {
             img::DosDisk disk(img::DiskShape{40, 1, 16, 256, 0, true});
             img::WriteUcsdVolume(disk, 0, "WORK", {{"SYSTEM.PASCAL", 33, 512}, {"HELLO.TEXT", 4, 100}});
             return disk.Imd();
         },
         DosName::Ucsd,
         DosName::Ucsd,
         std::nullopt,
         {0, 0, 4, 8, 4},
         2},
    };
    for (const DosCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const Analysis analysis = AnalyseImage(c.Image());
        ASSERT_TRUE(analysis.Disk.has_value());
        const DiskIdentity& disk = *analysis.Disk;
        EXPECT_EQ(disk.Dos, c.Dos);
        EXPECT_EQ(disk.Format, c.Format);
        EXPECT_EQ(disk.Version, c.Version);
        EXPECT_EQ(disk.Directory, std::optional(c.Where));
        EXPECT_EQ(disk.Files.size(), c.Files);
        EXPECT_FALSE(disk.Unformatted);
        EXPECT_FALSE(disk.Evidence.empty());
    }
}

// The entries as the directory holds them: names, sizes, attributes; entries
// no longer in use left out; data marks noted where the container keeps them.
TEST(DiskIdentity, ReadsTheEntriesAndTheMarks) {
    const img::DosDisk disk = TrsdosDisk(kSingle, 17, Directory(17, 0, 10, 0x82, {kSys0, kUserFile, kKilled, kHidden}));
    for (const bool marks : {false, true}) {
        const Analysis analysis = AnalyseImage(marks ? disk.Dmk() : disk.Jv1());
        ASSERT_TRUE(analysis.Disk);
        const DiskIdentity& identity = *analysis.Disk;
        EXPECT_EQ(FileNamed(identity, "GONE/CMD"), nullptr);
        ASSERT_NE(FileNamed(identity, "SYS0/SYS"), nullptr);
        EXPECT_EQ(*FileNamed(identity, "SYS0/SYS"), (DiskFile{"SYS0/SYS", 15 * 256, true, true}));
        EXPECT_EQ(*FileNamed(identity, "HELLO/BAS"), (DiskFile{"HELLO/BAS", 2 * 256 + 0x40, false, false}));
        EXPECT_EQ(*FileNamed(identity, "SECRET"), (DiskFile{"SECRET", 256, false, true}));
        EXPECT_EQ(identity.Files.front().Name, "BOOT/SYS");
        EXPECT_EQ(Says(identity, "directory marked deleted"), marks);
        EXPECT_TRUE(Says(identity, "BOOT/SYS attributes 0x5E"));
    }
}

// A double-sided NEWDOS/80 disk whose directory starts on side 1 and runs on
// into the next cylinder, found at the lump its boot sector names; its
// PDRIVE table checked against it, slot by slot, only when asked for.
TEST(DiskIdentity, ChecksTheTableAgainstTheDirectory) {
    img::DosDisk disk(img::DiskShape{40, 2, 18, 256, 0, true});
    img::WriteBootSector(disk, 0xFE, 17);
    img::WriteTrsdosDirectory(disk, Directory(4, 26, 20, 0x82, {kSys0}));
    const auto slot = [](std::uint8_t lump, std::uint8_t granules, std::uint8_t directoryGranules) {
        return img::PdriveSlot{lump, 0x07, 40, 36, granules, 0x00, directoryGranules};
    };
    const std::vector<img::PdriveSlot> slots = {slot(17, 2, 4), slot(18, 2, 4), slot(17, 2, 3), slot(17, 3, 4)};
    disk.At({0, 0, 2}) = img::MakeSystemSector(slots);
    const test::Bytes image = disk.Dmk();

    AnalyseOptions options = WithDisk();
    options.AllSlots = true;
    options.Geometry = true;
    const Analysis analysis = AnalyseImage(image, options);
    ASSERT_TRUE(analysis.Disk && analysis.Disk->Directory);
    EXPECT_EQ(*analysis.Disk->Directory, (DiskDirectory{4, 1, 8, 20, 26}));
    EXPECT_EQ(analysis.DirectoryCheck, std::optional(std::vector<DirectoryDifference>{}));
    using F = DirectoryField;
    const std::vector<std::optional<std::vector<DirectoryDifference>>> perSlot = {
        std::vector<DirectoryDifference>{},
        std::vector<DirectoryDifference>{{F::StartLump, 18, 17}},
        std::vector<DirectoryDifference>{{F::Sectors, 15, 20}},
        std::vector<DirectoryDifference>{{F::StartSector, 255, 170}},
    };
    ASSERT_GE(analysis.SlotDirectoryChecks.size(), perSlot.size());
    for (std::size_t n = 0; n < perSlot.size(); ++n) EXPECT_EQ(analysis.SlotDirectoryChecks[n], perSlot[n]) << n;

    // Without the option nothing of it is read, and the geometry's check is the same either way.
    options.Disk = false;
    const Analysis plain = AnalyseImage(image, options);
    EXPECT_FALSE(plain.Disk || plain.DirectoryCheck || plain.DiskStop);
    EXPECT_TRUE(plain.SlotDirectoryChecks.empty());
    EXPECT_EQ(plain.Check, analysis.Check);
    EXPECT_EQ(plain.Final(), analysis.Final());
}

// Where NEWDOS looks for the directory (DDSL x GPL x 5, SPT sectors to a
// cylinder) and how long it takes it to be (DDGA x 5), against where it is.
TEST(DirectoryCheck, NamesTheLumpOrSectorAndTheLength) {
    const auto slot = [](std::uint8_t lump, std::uint8_t granules, std::uint8_t spt, std::uint8_t directoryGranules) {
        DriveSlot s;
        s.DirectoryStartLump = lump;
        s.GranulesPerLump = granules;
        s.SectorsPerTrack = spt;
        s.DirectoryGranules = directoryGranules;
        return s;
    };
    using F = DirectoryField;
    const DiskDirectory nd86{9, 0, 8, 15, 8};  // sector 170 of 18 a cylinder
    struct Case {
        DriveSlot Slot;
        DiskDirectory Directory;
        std::vector<DirectoryDifference> Expected;
    };
    const std::vector<Case> cases = {
        {slot(17, 2, 18, 3), nd86, {}},
        {slot(17, 2, 18, 2), nd86, {{F::Sectors, 10, 15}}},
        {slot(16, 2, 18, 3), nd86, {{F::StartLump, 16, 17}}},
        // Drive 0's default kept in slot 0 of a disk laid out otherwise.
        {slot(17, 2, 10, 2), nd86, {{F::StartSector, 170, 98}, {F::Sectors, 10, 15}}},
        {slot(17, 0, 18, 3), nd86, {{F::StartSector, 0, 170}}},
        {slot(17, 2, 18, 9), {9, 0, 8, std::nullopt, 8}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckDirectory(c.Slot, c.Directory), c.Expected);
}

// Damaged and hostile disks give an answer or nothing, never a crash.
TEST(DiskIdentity, AnswersDamagedDisks) {
    img::DosDisk base = TrsdosDisk(kSingle, 17, Directory(17, 0, 10, 0x82, {kUserFile}));
    struct Case {
        const char* Name;
        std::function<void(img::DosDisk&)> Damage;
        std::optional<DosName> Format;
        const char* Evidence;
    };
    const std::vector<Case> cases = {
        {"the boot sector names no cylinder of the disk",
         [](img::DosDisk& d) {
             d.At({0, 0, 0})[2] = 250;
         },
         DosName::Newdos80, "found by looking at every cylinder"},
        {"no directory anywhere",
         [](img::DosDisk& d) {
             d.At({17, 0, 2})[5] = 'X';
         },
         std::nullopt, "no directory found"},
        {"DIR/SYS records a length no directory has",
         [](img::DosDisk& d) {
             d.At({17, 0, 3})[20] = 0xFF, d.At({17, 0, 3})[21] = 0xFF;
         },
         DosName::Newdos80, "directory marked deleted"},
        {"entries of every byte",
         [](img::DosDisk& d) {
             for (int n = 4; n < 10; ++n) {
                 for (int b = 0; b < 256; ++b)
                     d.At({17, 0, n})[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b * 37 + n);
             }
         },
         DosName::Newdos80, "BOOT/SYS and DIR/SYS open the directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        img::DosDisk disk = base;
        c.Damage(disk);
        const Analysis analysis = AnalyseImage(disk.Dmk());
        ASSERT_TRUE(analysis.Disk);
        EXPECT_EQ(analysis.Disk->Format, c.Format);
        EXPECT_TRUE(Says(*analysis.Disk, c.Evidence));
        for (const DiskFile& file : analysis.Disk->Files) {
            EXPECT_TRUE(
                std::all_of(file.Name.begin(), file.Name.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; }));
        }
        if (analysis.Disk->Directory) {
            EXPECT_EQ(analysis.Disk->Directory->Sectors, std::optional(10));
        }
    }

    // A file that ends inside the directory's track: that track holds nothing, nothing is thrown.
    test::Bytes cut = base.Dmk();
    const std::size_t track = cut[2] | (std::size_t{cut[3]} << 8);
    cut.resize(16 + 17 * track + track / 2);
    const Analysis halved = AnalyseImage(cut);
    EXPECT_FALSE(halved.Failure);
    ASSERT_TRUE(halved.Disk);
    EXPECT_TRUE(Says(*halved.Disk, "no directory found"));

    // A disk of tracks without sectors is unformatted.
    std::vector<img::WrittenTrack> blank(40);
    for (std::size_t n = 0; n < blank.size(); ++n) blank[n].Cylinder = static_cast<std::uint8_t>(n);
    const Analysis unformatted = AnalyseImage(img::BuildDmkImage(blank, false));
    ASSERT_TRUE(unformatted.Disk);
    EXPECT_TRUE(unformatted.Disk->Unformatted);
    EXPECT_FALSE(unformatted.Disk->Format);
}

// The shared real images, as their own directories describe them.
TEST(DiskIdentity, NamesTheRealImages) {
    TABULON_REAL_IMAGES(dir);
    struct Case {
        const char* File;
        std::optional<DosName> Dos;
        std::optional<DosName> Format;
        std::optional<std::string> Version;
        std::optional<DiskDirectory> Where;
        std::size_t Files;
    };
    const DiskDirectory cpm{2, 0, 0, std::nullopt, 0};
    const DiskDirectory ldos{20, 0, 0, 18, 0};
    const std::vector<Case> cases = {
        {"newdos80-sssd-jv1.dsk", DosName::Newdos80, DosName::Newdos80, {}, DiskDirectory{17, 0, 0, 10, 0}, 37},
        {"newdos80-sd-track0-dmk.dsk", DosName::GDos, DosName::GDos, {}, DiskDirectory{17, 0, 0, 10, 0}, 13},
        {"newdos86-dd-track0-dmk.dsk", {}, DosName::Newdos86, {}, DiskDirectory{9, 0, 8, 15, 8}, 14},
        {"newdos80-no-pdrive-dmk.dsk", {}, {}, {}, {}, 0},
        {"frehd-boot-dd.jv3", {}, DosName::Ldos, "5.3", ldos, 2},
        {"frehd-boot-dd.hfe", {}, DosName::Ldos, "5.3", ldos, 2},
        {"genie-cpm-dd.dmk", DosName::Cpm, DosName::Cpm, {}, cpm, 60},
        {"genie-cpm-dd.imd", DosName::Cpm, DosName::Cpm, {}, cpm, 60},
        {"model2-cpm-8in.td0", DosName::Cpm, DosName::Cpm, {}, DiskDirectory{2, 0, 1, std::nullopt, 0}, 54},
        {"cpm-blank-sd-marked-mfm.hfe", DosName::Cpm, DosName::Cpm, {}, DiskDirectory{3, 0, 1, std::nullopt, 0}, 6},
        // The same disk as the JV1 image, as a flux capture.
        {"../flux/newdos80-sssd-jv1-fm.scp",
         DosName::Newdos80,
         DosName::Newdos80,
         {},
         DiskDirectory{17, 0, 0, 10, 0},
         37},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        if (!std::filesystem::exists(dir / c.File)) continue;
        ImageFile file;
        ASSERT_TRUE(file.Open((dir / c.File).string()).Opened());
        AnalyseOptions options = WithDisk();
        const Analysis analysis = Analyse(file, options);
        ASSERT_TRUE(analysis.Disk);
        EXPECT_EQ(analysis.Disk->Dos, c.Dos);
        EXPECT_EQ(analysis.Disk->Format, c.Format);
        EXPECT_EQ(analysis.Disk->Version, c.Version);
        EXPECT_EQ(analysis.Disk->Directory, c.Where);
        EXPECT_EQ(analysis.Disk->Files.size(), c.Files);
        // Where the disk has a NEWDOS table, slot 0 finds its directory.
        if (analysis.Table() && c.Format && IsNewdosFamily(*c.Format)) {
            EXPECT_EQ(analysis.DirectoryCheck, std::optional(std::vector<DirectoryDifference>{}));
        }
    }
}

}  // namespace
}  // namespace tabulon
