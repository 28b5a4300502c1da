#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <sys/wait.h>

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

// Options are options, never the folder: nothing is written unless a folder is named.
TEST(Samples, TheGeneratorsCommandLineWritesOnlyWhereAsked) {
    test::TempDir dir;
    struct Case {
        const char* arguments;
        int status;
    };
    for (const Case& c : {Case{"--help", 0}, Case{"--version", 0}, Case{"--bogus", 64}, Case{"", 64},
                          Case{"out 50", 64}, Case{"--flux out x", 64}}) {
        const std::string command =
            "cd '" + dir.path().string() + "' && " + TABULON_MAKE_SAMPLES + " " + c.arguments + " > out.txt 2>&1";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << c.arguments;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << c.arguments;
    }
    const auto version = test::ReadWholeFile(dir.path() / "out.txt");
    const std::string expected = "tabulon-make-samples: ";  // the last case's usage error
    EXPECT_EQ(std::string(version.begin(), version.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
}

}  // namespace
}  // namespace tabulon
