#pragma once

#include "Finding.h"
#include "ImageFile.h"
#include "ImageSources.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tabulon {

// How a file given as an image is packed.
enum class Packing {
    Plain,       // anything else: the image itself
    Compressed,  // one compressed stream (gzip, bzip2, xz, zstd): one image, or a compressed tar archive
    Archive,     // zip, 7z, tar (V7 too), rar
};
Packing PackingOf(std::string_view firstBytes);

// By the open file's first bytes (at least the first 512 the file has, read
// already), and for an executable or script its last ones (a self-extracting
// zip); or why they cannot be read.
std::variant<Packing, Finding> PackingOf(std::string_view head, int fd);

// Whether a file's first bytes open a program (Windows, ELF, a script), which
// may be a self-extracting zip.
bool LooksLikeProgram(std::string_view first);

// Opens path when it is an archive or compressed file, whatever its length (an
// image has a limit, an archive none); nothing otherwise.
FileDescriptor OpenLargeArchive(const std::string& path, Packing& packing);

// Hands each member of the archive open on fd (read from its start) that is a
// disk image (every member with allMembers) to each, in one pass in the
// archive's order: unpacked into an unnamed temporary file as far as the
// analysis reads it (a member of undeclared length whole first), then to its end
// once analysed, where its sizes and checksums are checked; or refused. A member
// is a disk image when its name ends in one of the usual extensions or a
// container recognises it; others are skipped without a word, large ones unread.
// Disk images that are archives themselves are refused, never followed; so are
// encrypted and damaged ones, those that unpack past maxLength, and special
// files (symbolic links, FIFOs, devices). A hard link is given the copy of the
// member it names, when that was kept (MemberWalk). Returns why the archive
// itself could not be read on, or could not be read at all (the archive reader
// not loaded), if so.
std::optional<std::string> ForEachMember(int fd, Packing packing, bool allMembers, std::int64_t maxLength,
                                         const VisitImage& each);

}  // namespace tabulon
