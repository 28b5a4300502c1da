#include "ImageBuilder.h"
#include "ContainerList.h"
#include "ImageGeometry.h"
#include "TableCheck.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

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

// An image cut short after its first size bytes.
test::Bytes Cut(test::Bytes image, std::size_t size) {
    image.resize(size);
    return image;
}

std::vector<int> Cylinders(int from, int to) {
    std::vector<int> numbers(static_cast<std::size_t>(to - from));
    std::iota(numbers.begin(), numbers.end(), from);
    return numbers;
}

test::Bytes Jv3(int tracks, int sectors, bool doubleDensity, std::vector<int> skipped = {}) {
    auto all = img::StandardJv3Sectors(tracks, sectors, doubleDensity, img::MakeSystemSector(img::PdriveSlot{}));
    std::erase_if(all, [&skipped](const img::Jv3Sector& s) { return std::ranges::count(skipped, s.Track) > 0; });
    return img::BuildJv3Image(all);
}

img::DmkOptions Dmk5() {
    img::DmkOptions options;
    options.Tracks = 5;
    return options;
}

DriveSlot Table(std::uint8_t trackCount, std::uint8_t sectorsPerTrack) {
    DriveSlot slot;
    slot.TrackCount = trackCount;
    slot.SectorsPerTrack = sectorsPerTrack;
    return slot;
}

// What the tracks hold; a header's cylinders, and those the file holds whole when it is cut.
ImageGeometry Geometry(int cylinders, std::vector<int> missing, int sides, Density track0, Density data, int spt,
                       std::int64_t size, std::optional<int> declared = {}, std::optional<int> held = {}) {
    return {cylinders,
            std::move(missing),
            sides,
            track0,
            data,
            spt,
            size,
            declared,
            held.value_or(declared.value_or(cylinders))};
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
        {"DMK, one side, double density: fits", Dmk(40, false, true, true), Table(40, 18), Geometry(40, {}, 1, D, D, 18, 256, 40), {}},
        {"80 cylinders where the table says 40", Dmk(80, false, true, true), Table(40, 18), Geometry(80, {}, 1, D, D, 18, 256, 80),
         {{F::Cylinders, 40, 80}}},
        {"two sides where the table says one", Dmk(40, true, true, true), Table(40, 18), Geometry(40, {}, 2, D, D, 18, 256, 40),
         {{F::Sides, 1, 2}, {F::SectorsPerCylinder, 18, 36}}},
        {"single density where the table says double", Jv3(40, 10, false), Table(40, 18), Geometry(40, {}, 1, S, S, 10, 256),
         {{F::Density, 2, 1}, {F::SectorsPerCylinder, 18, 10}}},
        {"double density where the table says single", Jv3(40, 18, true), Table(40, 10), Geometry(40, {}, 1, D, D, 18, 256),
         {{F::Density, 1, 2}, {F::SectorsPerCylinder, 10, 18}}},
        {"two sides, single density, 20 a cylinder: fits", Dmk(40, true, false, false), Table(40, 20),
         Geometry(40, {}, 2, S, S, 10, 256, 40), {}},
        {"Model I: single-density track 0, double-density data tracks", Dmk(40, false, false, true), Table(40, 18),
         Geometry(40, {}, 1, S, D, 18, 256, 40), {}},
        {"missing tracks", Jv3(40, 10, false, {5, 6}), Table(40, 10), Geometry(40, {5, 6}, 1, S, S, 10, 256), {}},
        {"JV1: fits", img::BuildJv1Image(35, img::MakeSystemSector(img::PdriveSlot{})), Table(35, 10),
         Geometry(35, {}, 1, S, S, 10, 256), {}},
        // Cut short: the header's cylinders are the disk's, those not held whole are missing.
        {"DMK cut after 17.5 of its 40 cylinders (6,400-byte tracks): fits", Cut(Dmk(40, true, true, true), 16 + 35 * 6400),
         Table(40, 36), Geometry(40, Cylinders(17, 40), 2, D, D, 18, 256, 40, 17), {}},
        {"HFE cut inside cylinder 3 of 5 (each 25,088 bytes from 1,024)",
         Cut(img::BuildHfeImage({Dmk5()}, img::MakeSystemSector(img::PdriveSlot{})), 1024 + 3 * 25088 + 12000),
         Table(40, 18), Geometry(5, {3, 4}, 1, D, D, 18, 256, 5, 3), {{F::Cylinders, 40, 5}}},
    };
    // clang-format on
    for (const CheckCase& c : cases) {
        DiskData image = DiskData::FromBytes(c.image);
        const auto container = OpenContainer(image);
        ASSERT_TRUE(container) << c.what;
        const auto geometry = SummariseGeometry(container->Tracks(image));
        ASSERT_TRUE(geometry) << c.what;
        EXPECT_EQ(*geometry, c.geometry) << c.what;
        EXPECT_EQ(CheckSlot(c.table, *geometry), c.differences) << c.what;
    }
    EXPECT_FALSE(SummariseGeometry(TrackList{{{0, 0, {}}}, std::nullopt, 0})) << "no sector, no geometry";
}

}  // namespace
}  // namespace tabulon
