#include "FuzzSeeds.h"

#include "DosDisk.h"
#include "FluxBuilder.h"
#include "ImageBuilder.h"
#include "TestSupport.h"

namespace tabulon::fuzz {

namespace {

// A one-track HFE image cut to its first sideBytes bytes of cells per side (the
// first three sectors), so that it fits the fuzzer's input length.
std::vector<std::uint8_t> ShortHfe(std::vector<std::uint8_t> image, unsigned sideBytes) {
    image[9] = 1;                                                        // one track
    image[512 + 2] = static_cast<std::uint8_t>((2 * sideBytes) & 0xFF);  // its length, both sides
    image[512 + 3] = static_cast<std::uint8_t>((2 * sideBytes) >> 8);
    image.resize(1024 + 2 * std::size_t{sideBytes});
    return image;
}

// A capture as the flux fuzzer's input: a 0 first, for "a capture file".
std::vector<std::uint8_t> FluxSeed(std::vector<std::uint8_t> capture) {
    capture.insert(capture.begin(), 0);
    return capture;
}

// Track 0 with sectors 0 to 2 as the cell decoder's target takes it: a byte
// that drops no cell, then the cells packed eight to a byte, the first in time lowest.
std::vector<std::uint8_t> TrackCells(images::TrackStyle style, int repeat, std::span<const std::uint8_t> system) {
    namespace img = images;
    const std::vector<std::uint8_t> other(img::kSectorSize, 0xE5);
    const std::vector<img::TrackSector> sectors = {
        {0, other.data(), false}, {1, other.data(), false}, {2, system.data(), false}};
    const bool mfm = style == img::TrackStyle::Mfm;
    const img::Bytes cells =
        img::EncodeCells(img::MakeTrack(style, 0, 0, sectors, mfm ? 22 : 11, mfm ? 16 : 15), style, repeat);
    std::vector<std::uint8_t> packed(1 + (cells.size() + 7) / 8, 0);
    for (std::size_t n = 0; n < cells.size(); ++n) {
        if (cells[n] != 0) packed[1 + n / 8] |= static_cast<std::uint8_t>(1u << (n % 8));
    }
    return packed;
}

// Small disks of a DOS: a NEWDOS/80 system on four JV1 tracks, the directory on
// cylinder 2; CP/M on three JV3 tracks, the directory after one system track.
std::vector<std::uint8_t> NewdosJv1() {
    images::DosDisk disk(images::DiskShape{4, 1, 10, 256, 0, false});
    images::WriteBootSector(disk, 0xFE, 2);
    images::TrsdosDirectory directory;
    directory.Cylinder = 2;
    directory.Files = {{"SYS0", "SYS", 0x5F, 15, 0}, {"HELLO", "BAS", 0x10, 3, 0x40}};
    images::WriteTrsdosDirectory(disk, directory);
    return disk.Jv1();
}

std::vector<std::uint8_t> CpmJv3() {
    images::DosDisk disk(images::DiskShape{3, 1, 10, 256, 0, false});
    images::WriteCpmDirectory(disk, 1, 0, true, {{0, "PIP", "COM", 58, false}, {1, "BIG", "DAT", 300, true}});
    return disk.Jv3();
}

// The disk fuzzer's disk of repeated sectors: an odd byte, the shape (one side,
// ten sectors of 256 bytes), then five sectors that every track repeats: the
// boot sector naming cylinder 17, a GAT, the sectors that BOOT/SYS and DIR/SYS
// open, and one of entries not in use.
std::vector<std::uint8_t> RepeatedDirectory() {
    images::DosDisk disk(images::DiskShape{17, 1, 10, 256, 0, false});
    images::WriteBootSector(disk, 0xFE, 17);
    images::TrsdosDirectory directory;
    directory.Cylinder = 16;
    directory.Sectors = 4;
    images::WriteTrsdosDirectory(disk, directory);
    std::vector<std::uint8_t> input = {1, 0};
    const std::vector<std::uint8_t>& boot = disk.At({0, 0, 0});
    input.insert(input.end(), boot.begin(), boot.end());
    for (int n = 1; n < 5; ++n) {
        const std::vector<std::uint8_t>& sector = disk.At({16, 0, n == 1 ? 0 : n});
        input.insert(input.end(), sector.begin(), sector.end());
    }
    return input;
}

}  // namespace

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> FuzzSeeds() {
    namespace img = images;
    using test::kDmkPattern;
    using test::Raw;
    const auto good = img::MakeSystemSector(img::PdriveSlot{});
    const auto wrong = img::MakeSystemSector(img::PdriveSlot{}, 0x00);
    img::DmkOptions fm;
    fm.Track0DoubleDensity = false;
    img::DmkOptions small;
    small.Tracks = 1;
    img::DmkOptions smallFm = fm;
    smallFm.Tracks = 1;
    img::DmkOptions smallFmBad = smallFm;
    smallFmBad.BadSystemSectorCrc = true;
    return {
        {"dmk", img::BuildDmkImage(small, good)},
        {"dmk-wrong-marker", img::BuildDmkImage(small, wrong)},
        {"dmk-fm-track0", img::BuildDmkImage(smallFm, good)},
        {"jv3", img::BuildJv3Image(img::StandardJv3Sectors(1, 10, false, good))},
        {"jv3-wrong-marker", img::BuildJv3Image(img::StandardJv3Sectors(1, 10, false, wrong))},
        {"jv1", img::BuildJv1Image(1, good)},
        {"hfe-mfm", ShortHfe(img::BuildHfeImage({small}, good), 2560)},
        {"hfe-fm-doubled", ShortHfe(img::BuildHfeImage({smallFm}, good), 4096)},
        {"hfe-fm-own-rate-bad-crc", ShortHfe(img::BuildHfeImage({smallFmBad, false}, good), 2048)},
        {"hfe-v3-mfm", ShortHfe(img::BuildHfeImage({small, true, true}, good), 2560)},
        {"imd", img::BuildImdImage({small}, good)},
        {"imd-fm-maps-bad-crc", img::BuildImdImage({smallFmBad, true, false, true}, good)},
        {"imd-unavailable", img::BuildImdImage({small, true, true}, wrong)},
        {"td0", img::BuildTd0Image(img::Td0Options{small}, good)},
        {"td0-advanced-fm-bad-crc", img::BuildTd0Image(img::Td0Options{smallFmBad, true}, good)},
        {"td0-advanced-no-data", img::BuildTd0Image(img::Td0Options{small, true, false, false, true}, wrong)},
        {"cells-mfm", TrackCells(img::TrackStyle::Mfm, 1, good)},
        {"cells-fm", TrackCells(img::TrackStyle::Fm, 1, good)},
        {"cells-fm-doubled", TrackCells(img::TrackStyle::Fm, 2, wrong)},
        {"empty", {}},
        {"one-byte", {0}},
        {"dmk-pattern-at-0", Raw().Put(kDmkPattern).Resize(300).bytes()},
        {"dmk-pattern-at-5000", Raw().Fill(5000, 0).Put(kDmkPattern).Fill(300, 0).bytes()},
        {"dmk-pattern-at-5001", Raw().Fill(5001, 0).Put(kDmkPattern).Fill(300, 0).bytes()},
        {"dmk-cut-before-slot", Raw().Put(kDmkPattern).Resize(56).bytes()},
        {"dmk-cut-before-marker", Raw().Put(kDmkPattern).Resize(100).bytes()},
        {"dmk-marker-on-spare", Raw().Put(kDmkPattern).Resize(48 + 239).bytes()},
        {"dmk-pattern-at-end", Raw().Fill(20, 0).Put(kDmkPattern).bytes()},
        {"jv-tiny", Raw().Put({0, 2}).bytes()},
        {"jv-at-8703", Raw().Resize(8703, 0xFF).Put({0, 2}).bytes()},
        {"jv-at-8706", Raw().Resize(8706, 0xFF).Put({0, 2}).bytes()},
        {"jv-at-8709", Raw().Resize(8709, 0xFF).Put({0, 2}).bytes()},
        {"jv-cut-before-marker", Raw().Put({0, 2}).Resize(8704 + 100).bytes()},
        // DOS disks (DiskFuzzer: an even first byte reads the bytes as an image, an odd one as sectors).
        {"dos-newdos-jv1", NewdosJv1()},
        {"dos-cpm-jv3", CpmJv3()},
        {"dos-repeated-directory", RepeatedDirectory()},
        // Flux (FluxFuzzer: an even first byte reads the rest as a capture file).
        {"scp-mfm", FluxSeed(img::BuildScpImage(img::DiskCells(small, good), {.Revolutions = 1, .Jitter = 0.1}))},
        {"kryoflux-fm",
         FluxSeed(img::BuildKryoFluxSet(img::DiskCells(smallFm, good), {.Revolutions = 1}).begin()->second)},
    };
}

}  // namespace tabulon::fuzz
