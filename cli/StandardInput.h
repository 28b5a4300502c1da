#pragma once

#include "ImageFile.h"

#include <cstdint>
#include <limits>
#include <unistd.h>

namespace tabulon::cli {

// The name that stands for standard input, and how messages and reports show it.
inline constexpr const char* kStandardInputName = "-";
inline constexpr const char* kStandardInputShown = "(standard input)";

// Opens the image on descriptor fd (standard input) in the slot. A regular file
// read from its start is used as it is; anything else (a pipe, a terminal, a
// file already read part-way) is copied into an unnamed temporary file in
// $TMPDIR or /tmp, because the analysis reads its image on demand at any offset.
// More than maxLength bytes are refused as too large, like a file that long.
OpenResult OpenStandardInput(ImageFile& file, int fd = STDIN_FILENO,
                             std::int64_t maxLength = std::numeric_limits<std::int32_t>::max());

}  // namespace tabulon::cli
