#include "ImageBuilder.h"
#include "ImageContainer.h"
#include "ImageGeometry.h"
#include "TableCheck.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tabulon {
namespace {

namespace img = images;

test::Bytes Dmk(int tracks, bool doubleSided, bool track0Double, bool othersDouble) {
    img::DmkOptions options;
    options.Tracks = tracks;
    options.DoubleSided = doubleSided;
    options.Track0DoubleDensity = track0Double;
    options.OtherTracksDoubleDensity = othersDouble;
    return img::BuildDmkImage(options, img::MakeSystemSector(img::PdriveSlot{}));
}

test::Bytes Jv3(int tracks, int sectors, bool doubleDensity, std::vector<int> skipped = {}) {
    auto all = img::StandardJv3Sectors(tracks, sectors, doubleDensity, img::MakeSystemSector(img::PdriveSlot{}));
    std::erase_if(all, [&skipped](const img::Jv3Sector& s) { return std::ranges::count(skipped, s.Track) > 0; });
    return img::BuildJv3Image(all);
}

DriveSlot Table(std::uint8_t trackCount, std::uint8_t sectorsPerTrack) {
    DriveSlot slot;
    slot.TrackCount = trackCount;
    slot.SectorsPerTrack = sectorsPerTrack;
    return slot;
}

struct CheckCase {
    const char* what;
    test::Bytes image;
    DriveSlot table;
    ImageGeometry geometry;
    std::vector<Difference> differences;
};

using F = CheckedField;
constexpr auto S = Density::Single;
constexpr auto D = Density::Double;

TEST(TableCheck, GeometryOfTheImageAndTheDifferencesFromSlotZero) {
    // clang-format off
    const CheckCase cases[] = {
        {"DMK, one side, double density: fits", Dmk(40, false, true, true), Table(40, 18), {40, {}, 1, D, D, 18, 256}, {}},
        {"80 cylinders where the table says 40", Dmk(80, false, true, true), Table(40, 18), {80, {}, 1, D, D, 18, 256},
         {{F::Cylinders, 40, 80}}},
        {"two sides where the table says one", Dmk(40, true, true, true), Table(40, 18), {40, {}, 2, D, D, 18, 256},
         {{F::Sides, 1, 2}, {F::SectorsPerCylinder, 18, 36}}},
        {"single density where the table says double", Jv3(40, 10, false), Table(40, 18), {40, {}, 1, S, S, 10, 256},
         {{F::Density, 2, 1}, {F::SectorsPerCylinder, 18, 10}}},
        {"double density where the table says single", Jv3(40, 18, true), Table(40, 10), {40, {}, 1, D, D, 18, 256},
         {{F::Density, 1, 2}, {F::SectorsPerCylinder, 10, 18}}},
        {"two sides, single density, 20 a cylinder: fits", Dmk(40, true, false, false), Table(40, 20),
         {40, {}, 2, S, S, 10, 256}, {}},
        {"Model I: single-density track 0, double-density data tracks", Dmk(40, false, false, true), Table(40, 18),
         {40, {}, 1, S, D, 18, 256}, {}},
        {"missing tracks", Jv3(40, 10, false, {5, 6}), Table(40, 10), {40, {5, 6}, 1, S, S, 10, 256}, {}},
        {"JV1: fits", img::BuildJv1Image(35, img::MakeSystemSector(img::PdriveSlot{})), Table(35, 10),
         {35, {}, 1, S, S, 10, 256}, {}},
    };
    // clang-format on
    for (const CheckCase& c : cases) {
        const DiskData image = DiskData::FromBytes(c.image);
        const auto container = IdentifyContainer(image);
        ASSERT_TRUE(container) << c.what;
        const auto geometry = SummariseGeometry(ContainerTracks(image, *container));
        ASSERT_TRUE(geometry) << c.what;
        EXPECT_EQ(*geometry, c.geometry) << c.what;
        EXPECT_EQ(CheckSlot(c.table, *geometry), c.differences) << c.what;
    }
    EXPECT_FALSE(SummariseGeometry({{0, 0, {}}})) << "no sector, no geometry";
}

}  // namespace
}  // namespace tabulon
