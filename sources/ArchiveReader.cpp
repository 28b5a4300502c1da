// tabulon-archives.so: the members of an archive or compressed file, read through
// libarchive, each member's data handed to tabulon-report block by block as it asks.
#include "ArchiveModule.h"
#include "TarHeader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

enum class Kind {
    Archive,          // zip, 7z, tar, rar
    CompressedImage,  // one compressed stream: one image
    CompressedTar,    // one compressed stream holding a tar archive
};

// The file read through its own position, so that two readers can share one
// descriptor. A zip's deflated data is unpacked as far as the bytes read reach,
// so reads start small wherever the reader goes, and a member read on demand is
// unpacked little further than asked; they grow as reading goes on.
struct Source {
    static constexpr std::size_t kFirstRead = std::size_t{4} * 1024;
    int Fd = -1;
    std::int64_t At = 0;
    std::size_t Next = kFirstRead;
    std::vector<char> Buffer = std::vector<char>(std::size_t{64} * 1024);

    void MoveTo(std::int64_t at) {
        At = at;
        Next = kFirstRead;
    }
};

la_ssize_t ReadSource(archive* reader, void* data, const void** block) {
    auto* source = static_cast<Source*>(data);
    for (;;) {
        const ssize_t got = ::pread(source->Fd, source->Buffer.data(), source->Next, source->At);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            archive_set_error(reader, errno, "%s", std::strerror(errno));
            return ARCHIVE_FATAL;
        }
        source->At += got;
        source->Next = std::min(2 * source->Next, source->Buffer.size());
        *block = source->Buffer.data();
        return got;
    }
}

std::int64_t SourceLength(const Source& source) {
    struct stat status {};
    return ::fstat(source.Fd, &status) == 0 ? status.st_size : -1;
}

// Seeking lets the zip reader go through the central directory, so that a zip
// with data in front of it (a self-extracting one) is read too.
la_int64_t SeekSource(archive* /*reader*/, void* data, la_int64_t offset, int whence) {
    auto* source = static_cast<Source*>(data);
    const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? source->At : SourceLength(*source);
    if (base < 0 || base + offset < 0) return ARCHIVE_FATAL;
    source->MoveTo(base + offset);
    return source->At;
}

// Skipping moves the position only: data not wanted, even gigabytes of it, is never read.
la_int64_t SkipSource(archive* /*reader*/, void* data, la_int64_t request) {
    auto* source = static_cast<Source*>(data);
    const std::int64_t length = SourceLength(*source);
    const std::int64_t step = std::max<std::int64_t>(0, std::min<std::int64_t>(request, length - source->At));
    source->MoveTo(source->At + step);
    return step;
}

struct ArchiveDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

std::string ErrorOf(archive* reader, const char* otherwise) {
    const char* text = archive_error_string(reader);
    return text != nullptr ? text : otherwise;
}

// A reader of the file from its start that knows only the formats kind names:
// a decompressed image must never be taken for another compressed stream or archive.
ArchivePtr OpenReader(Source& source, Kind kind, std::string& error) {
    source.MoveTo(0);
    ArchivePtr reader(archive_read_new());
    if (!reader) throw std::bad_alloc();
    archive* const r = reader.get();
    if (kind == Kind::Archive) {
        archive_read_support_format_tar(r);
        archive_read_support_format_zip(r);
        archive_read_support_format_7zip(r);
        archive_read_support_format_rar(r);
        archive_read_support_format_rar5(r);
    } else {
        archive_read_support_filter_gzip(r);
        archive_read_support_filter_bzip2(r);
        archive_read_support_filter_xz(r);
        archive_read_support_filter_zstd(r);
        if (kind == Kind::CompressedTar) {
            archive_read_support_format_tar(r);
        } else {
            archive_read_support_format_raw(r);
            archive_read_support_format_empty(r);  // a compressed nothing: no image, not a damaged archive
        }
    }
    archive_read_set_read_callback(r, ReadSource);
    archive_read_set_seek_callback(r, SeekSource);
    archive_read_set_skip_callback(r, SkipSource);
    archive_read_set_callback_data(r, &source);
    if (archive_read_open1(r) != ARCHIVE_OK) {
        error = ErrorOf(r, "cannot be read as an archive");
        return nullptr;
    }
    return reader;
}

// Whether a compressed file holds a tar archive, by the first block it unpacks to.
std::optional<Kind> CompressedKind(int fd, std::string& error) {
    Source source{fd};
    const ArchivePtr reader = OpenReader(source, Kind::CompressedImage, error);
    if (!reader) return std::nullopt;
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) return Kind::CompressedImage;
    if (status < ARCHIVE_WARN) {
        error = ErrorOf(reader.get(), "damaged");
        return std::nullopt;
    }
    std::array<char, 512> block{};
    std::size_t held = 0;
    while (held < block.size()) {
        const la_ssize_t got = archive_read_data(reader.get(), block.data() + held, block.size() - held);
        if (got < 0) {
            error = "damaged: " + ErrorOf(reader.get(), "cannot be unpacked");
            return std::nullopt;
        }
        if (got == 0) break;
        held += static_cast<std::size_t>(got);
    }
    return tabulon::IsTarHeader(std::string_view(block.data(), held)) ? Kind::CompressedTar : Kind::CompressedImage;
}

// The current member's next block, for the caller.
int NextBlock(void* handle, const void** block, std::size_t* size, std::int64_t* offset, char* error,
              std::size_t errorSize) {
    auto* const reader = static_cast<archive*>(handle);
    la_int64_t at = 0;
    const int status = archive_read_data_block(reader, block, size, &at);
    if (status == ARCHIVE_EOF) return 0;
    if (status < ARCHIVE_WARN) {
        std::snprintf(error, errorSize, "damaged: %s", ErrorOf(reader, "cannot be unpacked").c_str());
        return -1;
    }
    *offset = at;
    return 1;
}

// The current member handed over, its data read as the caller asks.
void Unpack(archive* reader, const tabulon_member& member, const tabulon_member_calls& calls) {
    const tabulon_member_data data{reader, NextBlock};
    calls.unpacked(calls.context, &member, &data, nullptr);
}

// A hard link's data: the member it names, found by reading the archive again from its start.
void UnpackLink(int fd, Kind kind, const tabulon_member& member, const tabulon_member_calls& calls) {
    Source source{fd};
    std::string error;
    const ArchivePtr reader = OpenReader(source, kind, error);
    archive_entry* entry = nullptr;
    while (reader && archive_read_next_header(reader.get(), &entry) >= ARCHIVE_WARN) {
        const char* name = archive_entry_pathname(entry);
        if (archive_entry_hardlink(entry) == nullptr && name != nullptr && std::strcmp(name, member.linkedTo) == 0) {
            tabulon_member target = member;
            target.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
            return Unpack(reader.get(), target, calls);
        }
    }
    const std::string reason = std::string("a hard link to ") + member.linkedTo + ", which the archive does not hold";
    calls.unpacked(calls.context, &member, nullptr, reason.c_str());
}

std::optional<std::string> ReadMembers(int fd, bool compressed, const tabulon_member_calls& calls) {
    std::string error;
    Kind kind = Kind::Archive;
    if (compressed) {
        const auto found = CompressedKind(fd, error);
        if (!found) return error;
        kind = *found;
    }
    Source source{fd};
    const ArchivePtr reader = OpenReader(source, kind, error);
    if (!reader) return error;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return std::nullopt;
        if (status == ARCHIVE_RETRY) continue;
        if (status < ARCHIVE_WARN) return ErrorOf(reader.get(), "damaged");
        const char* linked = archive_entry_hardlink(entry);
        if (linked == nullptr && archive_entry_filetype(entry) != AE_IFREG)
            continue;  // folders, symbolic links, devices
        const char* name = archive_entry_pathname(entry);
        const tabulon_member member{
            kind == Kind::CompressedImage ? nullptr
            : name != nullptr             ? name
                                          : "",
            archive_entry_size_is_set(entry) != 0 && linked == nullptr ? archive_entry_size(entry) : -1,
            archive_entry_is_encrypted(entry), linked};
        if (calls.wanted(calls.context, &member) == 0) continue;
        if (linked != nullptr) {
            UnpackLink(fd, kind, member, calls);
        } else {
            Unpack(reader.get(), member, calls);
        }
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int tabulon_read_archive_v2(int fd, int compressed,
                                                                              const tabulon_member_calls* calls,
                                                                              char* error, std::size_t errorSize) {
    std::optional<std::string> failure;
    try {
        failure = ReadMembers(fd, compressed != 0, *calls);
    } catch (const std::bad_alloc&) {
        failure = "not enough memory";
    } catch (const std::exception& caught) {
        failure = caught.what();
    }
    if (!failure) return 0;
    std::snprintf(error, errorSize, "%s", failure->c_str());
    return -1;
}

// Checked by the compiler: the entry point has the type the loader expects.
static_assert(std::is_same_v<decltype(&tabulon_read_archive_v2), tabulon_read_archive_fn>);
