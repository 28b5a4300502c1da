#include "SlotDecoding.h"
#include "SectorLocation.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tabulon {
namespace {

namespace fs = std::filesystem;

DiskData LoadSample(const std::string& name) {
    return DiskData::FromBytes(test::ReadWholeFile(test::SamplesDir() / name));
}

TEST(Samples, GiveTheOutcomesTheirNamesPromise) {
    {
        const DiskData data = LoadSample("dmk-drive-report.dsk");
        const SectorLocation found = LocateSystemSector(data);
        ASSERT_TRUE(found.Found);
        EXPECT_EQ(found.FormatLabel, kDmkFormatLabel);
        EXPECT_TRUE(HasNewdosMarker(data, found.Base));
        EXPECT_EQ(DecodeDriveSpecs(data, found.Base).SidesDensity, "S/S D/D");
    }
    {
        const DiskData data = LoadSample("jv3-drive-report.dsk");
        const SectorLocation found = LocateSystemSector(data);
        EXPECT_EQ(found, (SectorLocation{true, 9216, kJvFormatLabel}));
        EXPECT_TRUE(HasNewdosMarker(data, found.Base));
        EXPECT_EQ(DecodeDriveSpecs(data, found.Base).SidesDensity, "S/S S/D");
    }
    {
        const DiskData data = LoadSample("dmk-wrong-marker.dsk");
        const SectorLocation found = LocateSystemSector(data);
        ASSERT_TRUE(found.Found);
        EXPECT_EQ(found.FormatLabel, kDmkFormatLabel);
        EXPECT_FALSE(HasNewdosMarker(data, found.Base));
    }
    EXPECT_FALSE(LocateSystemSector(LoadSample("not-found.dsk")).Found);
}

TEST(Samples, AreReproducibleFromTheGenerator) {
    test::TempDir dir;
    const std::string command =
        std::string(TABULON_MAKE_SAMPLES) + " '" + dir.path().string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const auto name = entry.path().filename();
        EXPECT_EQ(test::ReadWholeFile(entry.path()), test::ReadWholeFile(test::SamplesDir() / name))
            << name << " differs from what the generator makes";
        ++compared;
    }
    EXPECT_EQ(compared, 4);
}

}  // namespace
}  // namespace tabulon
