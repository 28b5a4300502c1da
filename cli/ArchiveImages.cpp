#include "ArchiveImages.h"

#include "DiskData.h"
#include "ContainerList.h"
#include "StandardInput.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace tabulon::cli {

namespace {

constexpr std::size_t kMagicLength = 262;  // enough for tar's "ustar" at 257

bool StartsWith(std::string_view bytes, std::string_view magic, std::size_t at = 0) {
    return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
}

struct ArchiveDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

std::string ErrorOf(archive* reader, std::string_view otherwise) {
    const char* text = archive_error_string(reader);
    return text != nullptr ? text : std::string(otherwise);
}

std::string FirstBytes(int fd) {
    std::array<char, kMagicLength> bytes{};
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
    return got > 0 ? std::string(bytes.data(), static_cast<std::size_t>(got)) : std::string();
}

// Whether a container recognises the unpacked member open in file.
bool IsDiskImage(const ImageFile& file) {
    FileDescriptor copy(::fcntl(file.Descriptor(), F_DUPFD_CLOEXEC, 0));
    if (!copy.IsOpen()) return false;
    const DiskData image = DiskData::FromFile(std::move(copy), file.Length());
    try {
        return OpenContainer(image) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

Packing PackingOf(std::string_view first) {
    using namespace std::string_view_literals;
    for (const std::string_view magic :
         {"PK\x03\x04"sv, "PK\x05\x06"sv, "PK\x07\x08"sv, "7z\xBC\xAF\x27\x1C"sv, "Rar!\x1A\x07"sv}) {
        if (StartsWith(first, magic)) return Packing::Archive;
    }
    if (StartsWith(first, "ustar", 257)) return Packing::Archive;
    for (const std::string_view magic : {"\x1F\x8B"sv, "BZh"sv,
                                         "\xFD"
                                         "7zXZ\x00"sv,
                                         "\x28\xB5\x2F\xFD"sv}) {
        if (StartsWith(first, magic)) return Packing::Compressed;
    }
    return Packing::Plain;
}

Packing PackingOf(int fd) { return PackingOf(FirstBytes(fd)); }

std::optional<std::string> ForEachMember(int fd, bool allMembers, std::int64_t maxLength,
                                         const std::function<void(Member&)>& each) {
    const Packing packing = PackingOf(fd);
    if (::lseek(fd, 0, SEEK_SET) != 0) return std::string("cannot be read from its start");
    const ArchivePtr reader(archive_read_new());
    if (!reader) return "not enough memory";
    // Only the formats the first bytes named: a decompressed disk image must never
    // be taken for one more compressed stream or for some other archive format.
    if (packing == Packing::Compressed) {
        archive_read_support_filter_gzip(reader.get());
        archive_read_support_filter_bzip2(reader.get());
        archive_read_support_filter_xz(reader.get());
        archive_read_support_filter_zstd(reader.get());
        archive_read_support_format_raw(reader.get());  // one image, unless it unpacks to a tar archive (below)
    } else {
        archive_read_support_format_tar(reader.get());
        archive_read_support_format_zip(reader.get());
        archive_read_support_format_7zip(reader.get());
        archive_read_support_format_rar(reader.get());
        archive_read_support_format_rar5(reader.get());
    }
    if (archive_read_open_fd(reader.get(), fd, std::size_t{64} * 1024) != ARCHIVE_OK) {
        return ErrorOf(reader.get(), "cannot be read as an archive");
    }
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return std::nullopt;
        if (status == ARCHIVE_RETRY) continue;
        if (status < ARCHIVE_WARN) return ErrorOf(reader.get(), "damaged");
        if (archive_entry_filetype(entry) != AE_IFREG) continue;  // folders, links, devices

        Member member;
        const bool whole = archive_format(reader.get()) == ARCHIVE_FORMAT_RAW;  // a compressed file: one image
        if (!whole) {
            const char* name = archive_entry_pathname(entry);
            member.Name = name != nullptr ? name : "";
        }
        const bool named = whole || allMembers || HasImageExtension(member.Name);
        if (archive_entry_is_encrypted(entry)) {
            member.Opened = {OpenFailure::CannotOpen, "encrypted: not unpacked"};
            if (named) each(member);
            continue;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > maxLength) {
            member.Opened = {OpenFailure::TooLarge, "File too large"};
            each(member);
            continue;
        }
        bool unpackFailed = false;  // the archive's data, not the temporary copy
        member.Opened = SpoolInto(
            member.File,
            [&](std::span<std::uint8_t> buffer) {
                const la_ssize_t got = archive_read_data(reader.get(), buffer.data(), buffer.size());
                unpackFailed = got < 0;
                return static_cast<std::int64_t>(got);
            },
            maxLength);
        if (unpackFailed) member.Opened.Reason = "damaged: " + ErrorOf(reader.get(), "cannot be unpacked");
        if (!member.Opened.Opened()) {
            each(member);
            continue;
        }
        // A compressed tar archive, unpacked: its members. Only "ustar" says tar
        // here, so that a compressed blank disk (all zeros) stays one image.
        if (whole && StartsWith(FirstBytes(member.File.Descriptor()), "ustar", 257)) {
            return ForEachMember(member.File.Descriptor(), allMembers, maxLength, each);
        }
        if (PackingOf(member.File.Descriptor()) != Packing::Plain) {
            member.Opened = {OpenFailure::CannotOpen, "an archive inside an archive: not followed"};
            member.File.CloseAll();
            each(member);
            continue;
        }
        if (!named && !IsDiskImage(member.File)) continue;
        each(member);
    }
}

}  // namespace tabulon::cli
