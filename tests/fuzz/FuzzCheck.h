#pragma once

#include <cstdio>
#include <cstdlib>

namespace tabulon::fuzz {

// A property a fuzz target checks: when it does not hold, the run ends with the
// property's name, and libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

}  // namespace tabulon::fuzz
