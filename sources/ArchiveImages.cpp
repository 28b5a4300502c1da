#include "ArchiveImages.h"

#include "ArchiveLoader.h"
#include "ArchiveMembers.h"
#include "StandardInput.h"
#include "TarHeader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <limits>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {

namespace {

constexpr std::size_t kMagicLength = 512;  // a tar header, for its checksum

bool StartsWith(std::string_view bytes, std::string_view magic, std::size_t at = 0) {
    return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
}

// Up to count bytes from offset; nothing when they cannot be read, errno saying why.
std::optional<std::string> ReadAt(int fd, std::size_t count, off_t offset) {
    std::string bytes(count, '\0');
    for (;;) {
        const ssize_t got = ::pread(fd, bytes.data(), count, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(got));
        return bytes;
    }
}

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t n = 4; n-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + n]);
    return value;
}

// Whether the file ends in a zip's end-of-central-directory record (its comment
// reaching exactly to the end) whose central directory lies before it.
std::optional<bool> EndsInZip(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return std::nullopt;
    constexpr std::int64_t kRecord = 22;
    const std::int64_t length = std::min<std::int64_t>(status.st_size, kRecord + 0xFFFF);
    const auto tail = ReadAt(fd, static_cast<std::size_t>(length), status.st_size - length);
    if (!tail) return std::nullopt;
    for (std::int64_t at = std::int64_t(tail->size()) - kRecord; at >= 0; --at) {
        const auto n = static_cast<std::size_t>(at);
        if (!StartsWith(*tail, "PK\x05\x06", n)) continue;
        const std::size_t comment =
            static_cast<unsigned char>((*tail)[n + 20]) | std::size_t{static_cast<unsigned char>((*tail)[n + 21])} << 8;
        if (n + kRecord + comment != tail->size()) continue;
        const std::int64_t record = status.st_size - length + at;
        const std::int64_t directory = record - Le32(*tail, n + 12);
        if (directory < 0) return false;
        const auto opening = ReadAt(fd, 4, directory);
        if (!opening) return std::nullopt;
        return Le32(*tail, n + 12) == 0 || *opening == "PK\x01\x02";
    }
    return false;
}

Finding ReadFailure(int error) { return {FindingKind::Refusal, std::strerror(error)}; }

}  // namespace

bool LooksLikeProgram(std::string_view first) {
    return StartsWith(first, "MZ") ||
           StartsWith(first,
                      "\x7F"
                      "ELF") ||
           StartsWith(first, "#!");
}

Packing PackingOf(std::string_view first) {
    using namespace std::string_view_literals;
    for (const std::string_view magic :
         {"PK\x03\x04"sv, "PK\x05\x06"sv, "PK\x07\x08"sv, "7z\xBC\xAF\x27\x1C"sv, "Rar!\x1A\x07"sv}) {
        if (StartsWith(first, magic)) return Packing::Archive;
    }
    if (IsTarHeader(first)) return Packing::Archive;
    for (const std::string_view magic : {"\x1F\x8B"sv, "BZh"sv,
                                         "\xFD"
                                         "7zXZ\x00"sv,
                                         "\x28\xB5\x2F\xFD"sv}) {
        if (StartsWith(first, magic)) return Packing::Compressed;
    }
    return Packing::Plain;
}

std::variant<Packing, Finding> PackingOf(std::string_view head, int fd) {
    const std::string_view first = head.substr(0, kMagicLength);
    const Packing packing = PackingOf(first);
    // A self-extracting zip: a program (Windows, ELF or a script) with the zip behind it.
    if (packing != Packing::Plain || !LooksLikeProgram(first)) return packing;
    const auto zip = EndsInZip(fd);
    if (!zip) return ReadFailure(errno);
    return *zip ? Packing::Archive : Packing::Plain;
}

FileDescriptor OpenLargeArchive(const std::string& path, Packing& packing) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!file.IsOpen() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    const auto first = ReadAt(file.Get(), kMagicLength, 0);
    if (!first) return {};
    const auto found = PackingOf(*first, file.Get());
    const auto* const known = std::get_if<Packing>(&found);
    if (known == nullptr || *known == Packing::Plain) return {};
    packing = *known;
    return file;
}

std::optional<std::string> ForEachMember(int fd, Packing packing, bool allMembers, std::int64_t maxLength,
                                         const VisitImage& each) {
    std::string error;
    const tabulon_read_archive_fn read = LoadArchiveReader(error);
    if (read == nullptr) return error;
    MemberWalk walk(allMembers, maxLength, TemporaryFolders(std::getenv("TMPDIR")), each);
    const tabulon_member_calls calls = walk.Calls();
    std::array<char, 1024> failure{};
    const int status = read(fd, packing == Packing::Compressed ? 1 : 0, &calls, failure.data(), failure.size());
    if (walk.Thrown()) std::rethrow_exception(walk.Thrown());
    if (status == 0) return std::nullopt;
    return std::string(failure.data());
}

}  // namespace tabulon
