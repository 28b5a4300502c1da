#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tabulon {
namespace {

namespace fs = std::filesystem;

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
