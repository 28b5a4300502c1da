#pragma once

#include <cstddef>
#include <string_view>

namespace tabulon {

// Whether a 512-byte block opens a tar archive: "ustar" at 257, or an old (V7)
// header whose checksum at 148 (octal) is the sum of its bytes, the checksum's
// own taken as spaces. A blank block (a blank disk) is none.
inline bool IsTarHeader(std::string_view block) {
    constexpr std::size_t kBlock = 512;
    constexpr std::size_t kSumAt = 148;
    constexpr std::size_t kSumLength = 8;
    if (block.size() >= 262 && block.substr(257, 5) == "ustar") return true;
    if (block.size() < kBlock || block[0] == '\0') return false;
    unsigned sum = 0;
    for (std::size_t n = 0; n < kBlock; ++n) {
        sum += n >= kSumAt && n < kSumAt + kSumLength ? unsigned{' '} : static_cast<unsigned char>(block[n]);
    }
    unsigned declared = 0;
    std::size_t n = kSumAt;
    while (n < kSumAt + kSumLength && block[n] == ' ') ++n;
    const std::size_t first = n;
    for (; n < kSumAt + kSumLength && block[n] >= '0' && block[n] <= '7'; ++n)
        declared = declared * 8 + unsigned(block[n] - '0');
    const bool ended = n == kSumAt + kSumLength || block[n] == '\0' || block[n] == ' ';
    return n > first && ended && declared == sum;
}

}  // namespace tabulon
