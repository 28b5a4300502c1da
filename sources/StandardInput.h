#pragma once

#include "ImageFile.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <span>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace tabulon {

inline constexpr const char* kFallbackTemporaryFolder = "/tmp";

// Where standard input is copied: tmpdir ($TMPDIR) when set and not empty, then
// /tmp, which a program making temporary files falls back on.
std::vector<std::string> TemporaryFolders(const char* tmpdir);

// Gives the next bytes into buffer: how many, 0 at the end, below 0 on failure (errno saying why).
using ReadSome = std::function<std::int64_t(std::span<std::uint8_t> buffer)>;

// Copies what read gives into an unnamed temporary file in the first of folders
// that takes one, and opens that in file; refused as too large as soon as there
// is more than maxLength bytes. The file has no name: it is gone once closed.
OpenResult SpoolInto(ImageFile& file, const ReadSome& read, std::int64_t maxLength,
                     const std::vector<std::string>& folders = TemporaryFolders(std::getenv("TMPDIR")));

// Opens the image on descriptor fd (standard input) in the slot. A regular file
// read from its start is used as it is; anything else (a pipe, a terminal, a
// file already read part-way) is copied into an unnamed temporary file in the
// first of folders that takes one, because the analysis reads its image on
// demand at any offset; a failure names the folders. More than maxLength bytes
// are refused as too large, like a file that long.
OpenResult OpenStandardInput(ImageFile& file, int fd = STDIN_FILENO,
                             std::int64_t maxLength = std::numeric_limits<std::int32_t>::max(),
                             const std::vector<std::string>& folders = TemporaryFolders(std::getenv("TMPDIR")));

}  // namespace tabulon
