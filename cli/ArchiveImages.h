#pragma once

#include "ImageFile.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tabulon::cli {

// How a file given as an image is packed, by its first bytes.
enum class Packing {
    Plain,       // anything else: the image itself
    Compressed,  // one compressed stream (gzip, bzip2, xz, zstd): one image, or a compressed archive
    Archive,     // zip, 7z, tar, rar
};
Packing PackingOf(std::string_view firstBytes);
Packing PackingOf(int fd);  // by the first bytes of the open file; Plain when they cannot be read

// One member of an archive as the analysis sees it: unpacked into an unnamed
// temporary file and open in File, or refused with the reason in Opened.
struct Member {
    std::string Name;  // as the archive names it (a compressed file's one member: none)
    OpenResult Opened;
    ImageFile File;
};

// Unpacks each member of the archive open on fd (read from its start) that is a disk image (every
// member with allMembers), one after another in the archive's order, and hands
// it to each. A member is a disk image when a container recognises it or its
// name ends in one of the usual extensions; others are skipped silently.
// Members that are archives themselves are refused, never followed; so are
// encrypted ones and those past maxLength. Returns why the archive itself could
// not be read on, if it could not.
std::optional<std::string> ForEachMember(int fd, bool allMembers, std::int64_t maxLength,
                                         const std::function<void(Member&)>& each);

}  // namespace tabulon::cli
