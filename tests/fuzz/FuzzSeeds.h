#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tabulon::fuzz {

// Named seed images: the generator's kinds of image and the scans' boundary cases.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> FuzzSeeds();

}  // namespace tabulon::fuzz
