#include "ArchiveImages.h"

#include "ArchiveLoader.h"
#include "DiskData.h"
#include "ContainerList.h"
#include "StandardInput.h"
#include "TarHeader.h"
#include "MemberSpool.h"

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

// Whether a container recognises the member.
bool IsDiskImage(ImageSource& member) {
    try {
        DiskData image = member.Load();
        return OpenContainer(image) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

Finding ReadFailure(int error) { return {FindingKind::Refusal, std::strerror(error)}; }

bool LooksLikeProgram(std::string_view first) {
    return StartsWith(first, "MZ") ||
           StartsWith(first,
                      "\x7F"
                      "ELF") ||
           StartsWith(first, "#!");
}

}  // namespace

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

namespace {

// What the reader's calls need, and the first exception one of them met (rethrown once the reader is done).
struct Walk {
    bool AllMembers = false;
    std::int64_t MaxLength = 0;
    std::vector<std::string> Folders;
    const VisitImage* Each = nullptr;
    std::exception_ptr Thrown;

    bool Named(const tabulon_member& entry) const {
        return entry.name == nullptr || AllMembers || HasImageExtension(entry.name);
    }
    void Refuse(const tabulon_member& entry, std::string why) const {
        (*Each)({NameOf(entry), {FindingKind::Refusal, std::move(why)}});
    }
    static std::string NameOf(const tabulon_member& entry) { return entry.name != nullptr ? entry.name : ""; }
};

// Before unpacking: refusals that need no data. A member not named as a disk
// image is unpacked only to be judged, and only when it could be one.
int Wanted(void* context, const tabulon_member* entry) {
    auto& walk = *static_cast<Walk*>(context);
    if (walk.Thrown) return 0;
    try {
        const bool named = walk.Named(*entry);
        if (entry->encrypted != 0) {
            if (named) walk.Refuse(*entry, "encrypted: not unpacked");
            return 0;
        }
        if (entry->size > walk.MaxLength) {
            if (named) walk.Refuse(*entry, "File too large");
            return 0;
        }
        return 1;
    } catch (...) {
        if (!walk.Thrown) walk.Thrown = std::current_exception();
        return 0;
    }
}

// The member's packing by its first bytes (and a program's last ones, for
// which it is unpacked whole); or why it cannot be told.
std::variant<Packing, Finding> MemberPacking(MemberSpool& spool) {
    const auto first = ReadAt(spool.Descriptor(), kMagicLength, 0);
    if (!first) return ReadFailure(errno);
    if (PackingOf(*first) == Packing::Plain && LooksLikeProgram(*first) &&
        !spool.FillTo(std::numeric_limits<std::int64_t>::max())) {
        return ReadFailure(EIO);
    }
    return PackingOf(*first, spool.Descriptor());
}

void Unpacked(void* context, const tabulon_member* entry, const tabulon_member_data* data, const char* reason) {
    auto& walk = *static_cast<Walk*>(context);
    if (walk.Thrown) return;
    try {
        if (data == nullptr) return walk.Refuse(*entry, reason);
        const bool named = walk.Named(*entry);
        const auto spool = std::make_shared<MemberSpool>(*data, walk.Folders, walk.MaxLength, entry->size);
        struct Handover {  // the data is the reader's only while this call lasts
            MemberSpool& Spool;
            ~Handover() { Spool.Detach(); }
        } handover{*spool};
        // A member to be judged, or of a length not declared, is unpacked whole at once.
        const bool whole = !named || entry->size < 0;
        if (!spool->Open() || !spool->FillTo(whole ? std::numeric_limits<std::int64_t>::max() : kMagicLength)) {
            // Damage is told whatever the name; a large member no one asked for is not.
            if (named || spool->Problem().Failure != OpenFailure::TooLarge)
                walk.Refuse(*entry, spool->Problem().Reason);
            return;
        }
        const auto packing = MemberPacking(*spool);
        MemberImage image(spool, spool->Length());
        if (const auto* const failed = std::get_if<Finding>(&packing)) {
            if (!spool->Problem().Opened()) return walk.Refuse(*entry, spool->Problem().Reason);
            return (*walk.Each)({Walk::NameOf(*entry), *failed});
        }
        if (std::get<Packing>(packing) != Packing::Plain) {
            if (named) walk.Refuse(*entry, "an archive inside an archive: not followed");
            return;
        }
        if (!named && !IsDiskImage(image)) return;
        (*walk.Each)({Walk::NameOf(*entry), image, [spool]() -> std::optional<Finding> {
                          if (spool->Problem().Opened()) return std::nullopt;
                          return Finding{FindingKind::Refusal, spool->Problem().Reason};
                      }});
    } catch (...) {
        if (!walk.Thrown) walk.Thrown = std::current_exception();
    }
}

}  // namespace

std::optional<std::string> ForEachMember(int fd, Packing packing, bool allMembers, std::int64_t maxLength,
                                         const VisitImage& each) {
    std::string error;
    const tabulon_read_archive_fn read = LoadArchiveReader(error);
    if (read == nullptr) return error;
    Walk walk{allMembers, maxLength, TemporaryFolders(std::getenv("TMPDIR")), &each, nullptr};
    const tabulon_member_calls calls{&walk, Wanted, Unpacked};
    std::array<char, 1024> failure{};
    const int status = read(fd, packing == Packing::Compressed ? 1 : 0, &calls, failure.data(), failure.size());
    if (walk.Thrown) std::rethrow_exception(walk.Thrown);
    if (status == 0) return std::nullopt;
    return std::string(failure.data());
}

}  // namespace tabulon
