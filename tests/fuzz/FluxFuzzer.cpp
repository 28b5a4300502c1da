// Flux captures and the PLL on arbitrary bytes. The first byte chooses:
// an SCP file or a KryoFlux stream (with itself again as the set's other
// tracks), or raw 16-bit intervals straight into the PLL and the cell decoder.
// Nothing may crash or hang, the loop makes at most the cells it is allowed,
// and every cell leads back to an interval that is there.
#include "FluxTrack.h"
#include "FuzzCheck.h"
#include "IdFieldSearch.h"
#include "KryoFluxImage.h"
#include "Pll.h"
#include "ScpImage.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

using namespace tabulon;
using fuzz::Check;

void CheckFound(const std::optional<SectorLocation>& found, DiskData& image) {
    if (!found) return;
    Check(found->FileOffset >= 0 && found->FileOffset <= image.FileLength(), "sector offset inside the file");
    Check(found->Sector.Length() <= 1024, "sector size");
}

void Capture(std::span<const std::uint8_t> bytes) {
    const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    DiskData image = DiskData::FromBytes(bytes);
    image.SetSiblings("track00.0.raw", std::make_shared<FilesInMemory>(std::map<std::string, std::vector<std::uint8_t>>{
                                           {"track00.1.raw", copy}, {"track01.0.raw", copy}}));
    for (const ContainerType* type : {&kScpContainer, &kKryoFluxContainer}) {
        if (const auto container = type->Open(image)) {
            CheckFound(container->FindSector(image, kSystemSector), image);
            container->Tracks(image);
            container->CheckWholeFile(image);
        }
    }
}

void Intervals(std::uint8_t choice, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint32_t> flux;
    for (std::size_t n = 0; n + 1 < bytes.size(); n += 2) flux.push_back((std::uint32_t{bytes[n]} << 8) | bytes[n + 1]);
    const double ticksPerMicrosecond = 1 + choice % 64;
    const auto rate = CellRateOf(flux, ticksPerMicrosecond);
    const double period = rate ? rate->Period : 1 + choice;
    constexpr std::size_t kMaxCells = 1 << 16;
    FluxCells cells(period, kMaxCells);
    for (std::size_t end = 0; end < flux.size() + 4096 && !cells.Full(); end += 4096) {
        cells.Extend(flux, end);
        const PackedCells packed = cells.Cells();
        Check(packed.Size() <= kMaxCells + 2 * PackedCells::kWordCells, "the loop's cells are bounded");
        if (packed.Size() > 0) {
            Check(cells.IntervalOf(flux, packed.Size() - 1) <= flux.size(), "a cell's interval is there");
            Check(cells.IntervalOf(flux, packed.Size() / 2) <= flux.size(), "a cell's interval is there");
        }
        FindIdFields(packed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        Capture(bytes);
    } else {
        Intervals(data[0], bytes);
    }
    return 0;
}
