// Writes TD0 images for the TD0 benchmark: the generator's disks in several
// layouts, each with normal and advanced compression, then every TD0 file named
// after OUTDIR as it is and again with advanced compression.
//   tabulon_td0_bench_images OUTDIR [TD0...]
#include "ImageBuilder.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

using namespace tabulon::images;

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The same image with advanced compression: "td", the header's CRC again, the rest compressed.
Bytes Advanced(const Bytes& normal) {
    Bytes image(normal.begin(), normal.begin() + 10);
    image[0] = 't';
    image[1] = 'd';
    unsigned crc = 0;
    for (const std::uint8_t byte : image) {
        crc ^= unsigned{byte} << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ 0xA097u : crc << 1;
    }
    image.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    image.push_back(static_cast<std::uint8_t>((crc >> 8) & 0xFF));
    const Bytes packed = LzhufCompress(std::span(normal).subspan(12));
    image.insert(image.end(), packed.begin(), packed.end());
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: tabulon_td0_bench_images OUTDIR [TD0...]\n";
        return 64;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const Bytes sector = MakeSystemSector(PdriveSlot{.TrackCount = 40, .SectorsPerTrack = 18});
    struct Layout {
        const char* name;
        void (*change)(DmkOptions&);
    };
    const Layout layouts[] = {
        {"mfm-40", [](DmkOptions&) {}},
        {"newdos-mix-40", [](DmkOptions& o) { o.Track0DoubleDensity = false; }},
        {"mfm-80-ds",
         [](DmkOptions& o) {
             o.Tracks = 80;
             o.DoubleSided = true;
         }},
        {"fm-35",
         [](DmkOptions& o) {
             o.Tracks = 35;
             o.Track0DoubleDensity = o.OtherTracksDoubleDensity = false;
         }},
        {"mfm-40-interleaved-bad-crc",
         [](DmkOptions& o) {
             o.Interleave = 3;
             o.BadSystemSectorCrc = true;
         }},
    };
    for (const Layout& layout : layouts) {
        Td0Options options;
        layout.change(options.Disk);
        for (const bool advanced : {false, true}) {
            options.Advanced = advanced;
            Write(dir / (std::string(layout.name) + (advanced ? "-advanced" : "") + ".td0"),
                  BuildTd0Image(options, sector));
        }
    }
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        std::ifstream in(path, std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (bytes.size() < 12 || bytes[0] != 'T' || bytes[1] != 'D') continue;
        Write(dir / path.filename(), bytes);
        Write(dir / (path.stem().string() + "-advanced.td0"), Advanced(bytes));
    }
    return 0;
}
