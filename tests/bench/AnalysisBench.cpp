// How long locating and decoding take on 1 MiB images of each kind, and one
// whole analysis (load, location, decoding, report) on a text surface.
#include "FluxBuilder.h"
#include "IdFieldSearch.h"
#include "Analysis.h"
#include "ContainerList.h"
#include "ImageFile.h"
#include "ImageBuilder.h"
#include "ImageReader.h"
#include "Pll.h"
#include "RecordingSurface.h"
#include "SectorLocation.h"
#include "DriveReport.h"
#include "TestSupport.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace tabulon;
namespace img = images;

constexpr std::size_t kMiB = 1024 * 1024;

test::Bytes DmkMiB() {
    img::DmkOptions options;
    options.Tracks = 164;  // 164 tracks of 6400 bytes: just over 1 MiB
    auto bytes = img::BuildDmkImage(options, img::MakeSystemSector(img::PdriveSlot{}));
    bytes.resize(kMiB);
    return bytes;
}

test::Bytes Jv3MiB() {
    auto bytes = img::BuildJv3Image(img::StandardJv3Sectors(80, 10, false, img::MakeSystemSector(img::PdriveSlot{})));
    bytes.resize(kMiB, 0xE5);
    return bytes;
}

test::Bytes RandomMiB() {
    std::mt19937 random(20261207);
    test::Bytes bytes(kMiB);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

test::Bytes ImageOfKind(std::int64_t kind) {
    switch (kind) {
    case 0: return DmkMiB();
    case 1: return Jv3MiB();
    default: return RandomMiB();
    }
}

const char* KindName(std::int64_t kind) { return kind == 0 ? "DMK" : kind == 1 ? "JV3" : "random"; }

void LocateAndDecode(benchmark::State& state) {
    DiskData data = DiskData::FromBytes(ImageOfKind(state.range(0)));
    state.SetLabel(KindName(state.range(0)));
    for (auto _ : state) {
        auto location = LocateSystemSector(data);
        benchmark::DoNotOptimize(location);
        if (location) {
            benchmark::DoNotOptimize(DecodeDriveSpecs(location->Sector));
            benchmark::DoNotOptimize(HasNewdosMarker(location->Sector));
        }
    }
}
BENCHMARK(LocateAndDecode)->Arg(0)->Arg(1)->Arg(2);

void WholeAnalysis(benchmark::State& state) {
    test::TempDir dir;
    const std::string path = dir.Write("image.dsk", ImageOfKind(state.range(0))).string();
    state.SetLabel(KindName(state.range(0)));
    ImageFile file;
    for (auto _ : state) {
        RecordingSurface surface;
        file.Open(path);
        DrawDriveReport(surface, Analyse(file, {.Locate = LocateMode::Scan}), path);
        benchmark::DoNotOptimize(surface.Lines().data());
    }
}
BENCHMARK(WholeAnalysis)->Arg(0)->Arg(1)->Arg(2);

// The PLL and the cell decoder over one revolution of an MFM (0) or FM (1)
// track captured at Gaussian jitter of a tenth of its cell: intervals made into
// cells at the rate found, and the ID fields of all four readings found in them.
void PllAndDecoder(benchmark::State& state) {
    img::DmkOptions disk;
    disk.Tracks = 1;
    disk.Track0DoubleDensity = state.range(0) == 0;
    const auto cells = img::DiskCells(disk, img::MakeSystemSector(img::PdriveSlot{}));
    DiskData image = DiskData::FromBytes(img::BuildScpImage(cells, {.Revolutions = 1, .Jitter = 0.1}));
    // The revolution's intervals, as the SCP file holds them (big-endian, no overflows at this rate).
    ImageReader file(image);
    const std::int64_t track = file.Le16(0x10);
    const std::int64_t count = file.Le16(track + 8);
    const std::int64_t data = track + file.Le16(track + 12);
    std::vector<std::uint32_t> flux;
    for (std::int64_t n = 0; n < count; ++n) flux.push_back(file.Be16(data + 2 * n));
    const double period = CellRateOf(flux, 40)->Period;
    for (auto _ : state) {
        const PackedCells packed = FluxToCells(flux, period, std::size_t{1} << 22);
        benchmark::DoNotOptimize(FindIdFields(packed).size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
    state.SetLabel(state.range(0) == 0 ? "MFM flux intervals" : "FM flux intervals");
}
BENCHMARK(PllAndDecoder)->Arg(0)->Arg(1);

// Finding sector 2 in an SCP capture of the usual disk (FM track 0, three
// revolutions, Gaussian jitter of a tenth of a cell): all revolutions good (0),
// and the first one damaged (1), which costs what it takes to tell.
void FluxSectorTwo(benchmark::State& state) {
    img::DmkOptions disk;
    disk.Tracks = 1;
    disk.Track0DoubleDensity = false;
    const auto cells = img::DiskCells(disk, img::MakeSystemSector(img::PdriveSlot{}));
    const int damaged = state.range(0) == 0 ? -1 : 0;
    DiskData image = DiskData::FromBytes(img::BuildScpImage(cells, {.Jitter = 0.1, .Damaged = damaged}));
    const auto container = OpenContainer(image);
    for (auto _ : state) benchmark::DoNotOptimize(container->FindSector(image, kSystemSector));
    state.SetLabel(damaged < 0 ? "good revolutions" : "first revolution damaged");
}
BENCHMARK(FluxSectorTwo)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
