#include "SlotDecoding.h"
#include "SectorLocation.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace tabulon {
namespace {

namespace fs = std::filesystem;

DiskData LoadSample(const std::string& name) {
    return DiskData::FromBytes(test::ReadWholeFile(test::SamplesDir() / name));
}

TEST(Samples, GiveTheOutcomesTheirNamesPromise) {
    struct Case {
        const char* file;
        std::optional<ImageFormat> format;
        std::optional<std::int64_t> base;
        bool marker;
    };
    for (const Case& c : {Case{"dmk-drive-report.dsk", ImageFormat::Dmk, 1018, true},
                          Case{"jv3-drive-report.dsk", ImageFormat::Jv3, 9216, true},
                          Case{"dmk-wrong-marker.dsk", ImageFormat::Dmk, 1018, false},
                          Case{"not-found.dsk", std::nullopt, std::nullopt, false}}) {
        const DiskData data = LoadSample(c.file);
        const auto found = LocateSystemSector(data);
        ASSERT_EQ(found.has_value(), c.format.has_value()) << c.file;
        if (!found) continue;
        EXPECT_EQ(found->Format, *c.format) << c.file;
        EXPECT_EQ(found->Sector.Base(), c.base) << c.file;
        EXPECT_EQ(HasNewdosMarker(found->Sector), c.marker) << c.file;
    }
}

TEST(Samples, AreReproducibleFromTheGenerator) {
    test::TempDir dir;
    const std::string command = std::string(TABULON_MAKE_SAMPLES) + " '" + dir.path().string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const auto name = entry.path().filename();
        EXPECT_EQ(test::ReadWholeFile(entry.path()), test::ReadWholeFile(test::SamplesDir() / name))
            << name << " differs from what the generator makes";
        ++compared;
    }
    EXPECT_EQ(compared, 6);
}

}  // namespace
}  // namespace tabulon
