// Replays inputs through the fuzz target without libFuzzer: the built-in seeds,
// then every file named on the command line (folders: every file in them).
#include "FuzzSeeds.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int Replay(const std::vector<std::uint8_t>& bytes) { return LLVMFuzzerTestOneInput(bytes.data(), bytes.size()); }

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (const auto& [name, bytes] : tabulon::fuzz::FuzzSeeds()) {
        Replay(bytes);
        ++count;
    }
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    Replay(ReadFile(entry.path()));
                    ++count;
                }
            }
        } else {
            Replay(ReadFile(arg));
            ++count;
        }
    }
    std::cout << count << " passed, 0 failed\n";
    return 0;
}
