// tabulon-archives.so: the members of an archive or compressed file, read through
// libarchive in one pass, each member's data handed to tabulon-report block by
// block as it asks.
#include "ArchiveInput.h"
#include "ArchiveModule.h"
#include "TarHeader.h"
#include "ZipDirectory.h"

#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <locale.h>  // NOLINT(modernize-deprecated-headers): newlocale, uselocale
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using namespace tabulon::archives;

enum class Kind {
    Archive,          // zip, 7z, tar, rar
    CompressedImage,  // one compressed stream: one image
    CompressedTar,    // one compressed stream holding a tar archive
};

// Whether a compressed file holds a tar archive, by the first block it unpacks to.
std::optional<Kind> CompressedKind(int fd, std::string& error) {
    Trouble seen;
    const auto stream = Unpacking::Open(fd, seen, error);
    if (!stream) return std::nullopt;
    std::array<char, 512> block{};
    std::size_t held = 0;
    while (held < block.size()) {
        const void* bytes = nullptr;
        const la_ssize_t got = stream->Read(&bytes);
        if (got < 0) {
            error = seen.Explain(nullptr, false);
            return std::nullopt;
        }
        if (got == 0) break;
        const std::size_t taken = std::min(block.size() - held, static_cast<std::size_t>(got));
        std::memcpy(block.data() + held, bytes, taken);
        held += taken;
    }
    return tabulon::IsTarHeader(std::string_view(block.data(), held)) ? Kind::CompressedTar : Kind::CompressedImage;
}

// One reading of the file from its start: a reader of the formats kind names
// (a decompressed image must never be taken for an archive), on the file, or
// on the compressed file's unpacked stream. It stays where it was made.
struct Reading {
    Trouble Seen;
    FileInput File;
    std::unique_ptr<Unpacking> Stream;
    Feed Input;
    ArchivePtr Reader;

    bool Open(int fd, Kind kind, std::string& error) {
        File = {fd, &Seen};
        Reader.reset(archive_read_new());
        if (!Reader) throw std::bad_alloc();
        archive* const r = Reader.get();
        if (kind == Kind::Archive) {
            archive_read_support_format_tar(r);
            archive_read_support_format_zip(r);
            archive_read_support_format_7zip(r);
            archive_read_support_format_rar(r);
            archive_read_support_format_rar5(r);
            Input.File = &File;
        } else {
            Stream = Unpacking::Open(fd, Seen, error);
            if (!Stream) return false;
            Input.Stream = Stream.get();
            if (kind == Kind::CompressedTar) {
                archive_read_support_format_tar(r);
            } else {
                archive_read_support_format_raw(r);
                archive_read_support_format_empty(r);  // a compressed nothing: no image, not a damaged archive
            }
        }
        if (OpenOn(r, Input)) return true;
        error = Seen.Any() ? Seen.Explain(r, false) : ErrorOf(r, "cannot be read as an archive");
        return false;
    }
};

// The member being handed over, and how far its data has reached.
struct Handing {
    archive* Reader;
    const Trouble* Seen;
    std::int64_t Declared;  // -1: not declared
    bool Sparse;            // its holes are not handed over: it may end short of its length
    std::int64_t End = 0;
};

// The current member's next block, for the caller. A warning is damage: the
// reader gives its checks at a member's end (sizes, CRC-32) as warnings. A member
// must unpack to the length it declares, which is the image's length (a zip's
// data descriptor may say otherwise to the reader, and the reader believes it).
int NextBlock(void* handle, const void** block, std::size_t* size, std::int64_t* offset, char* error,
              std::size_t errorSize) {
    auto& handing = *static_cast<Handing*>(handle);
    la_int64_t at = 0;
    const int status = archive_read_data_block(handing.Reader, block, size, &at);
    if (status == ARCHIVE_EOF) {
        if (handing.Declared < 0 || handing.End == handing.Declared ||
            (handing.Sparse && handing.End < handing.Declared))
            return 0;
        std::snprintf(error, errorSize, "damaged: unpacks to %lld bytes, not the %lld it declares",
                      static_cast<long long>(handing.End), static_cast<long long>(handing.Declared));
        return -1;
    }
    if (status != ARCHIVE_OK) {
        std::snprintf(error, errorSize, "%s", handing.Seen->Explain(handing.Reader, true).c_str());
        return -1;
    }
    *offset = at;
    handing.End = std::max<std::int64_t>(handing.End, at + static_cast<std::int64_t>(*size));
    return 1;
}

// What the member is; -1 for a folder, which is no member here.
int TypeOf(archive_entry* entry) {
    if (archive_entry_hardlink(entry) != nullptr) return TABULON_MEMBER_HARD_LINK;
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG: return TABULON_MEMBER_FILE;
    case AE_IFLNK: return TABULON_MEMBER_SYMLINK;
    case AE_IFIFO: return TABULON_MEMBER_FIFO;
    case AE_IFCHR: return TABULON_MEMBER_CHARACTER_DEVICE;
    case AE_IFBLK: return TABULON_MEMBER_BLOCK_DEVICE;
    case AE_IFSOCK: return TABULON_MEMBER_SOCKET;
    default: return -1;
    }
}

// Whether a header's warning says only that a name could not be put in this
// process's character set: the name is shown by its bytes, and nothing is damaged.
bool OnlyAboutNames(archive* reader) {
    const std::string said = ErrorOf(reader, "");
    return said.find("cannot be converted") != std::string::npos ||
           said.find("can't be converted") != std::string::npos;
}

// Names read as UTF-8 while the archive is read (the program itself runs in the
// C locale, where a zip's UTF-8 names cannot be had at all); as before after.
class Utf8Names {
public:
    Utf8Names() : utf8_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
        if (utf8_ != nullptr) earlier_ = ::uselocale(utf8_);
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;
    ~Utf8Names() {
        if (utf8_ == nullptr) return;
        ::uselocale(earlier_);
        ::freelocale(utf8_);
    }

private:
    locale_t utf8_;
    locale_t earlier_ = nullptr;
};

std::optional<std::string> ReadMembers(int fd, bool compressed, const tabulon_member_calls& calls) {
    std::string error;
    Kind kind = Kind::Archive;
    if (compressed) {
        const auto found = CompressedKind(fd, error);
        if (!found) return error;
        kind = *found;
    }
    Reading reading;
    if (!reading.Open(fd, kind, error)) return error;
    archive* const reader = reading.Reader.get();
    std::optional<SharedNames> shared;  // a zip's names for data already named
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) break;
        if (status == ARCHIVE_RETRY) continue;
        if (status < ARCHIVE_WARN) return reading.Seen.Explain(reader, false);
        const std::string damage =
            status == ARCHIVE_WARN && !OnlyAboutNames(reader) ? "damaged: " + ErrorOf(reader, "") : std::string();
        const int type = TypeOf(entry);
        if (type < 0) continue;
        const char* const name = archive_entry_pathname(entry);
        const char* const linked = type == TABULON_MEMBER_HARD_LINK ? archive_entry_hardlink(entry)
                                   : type == TABULON_MEMBER_SYMLINK ? archive_entry_symlink(entry)
                                                                    : nullptr;
        const bool file = type == TABULON_MEMBER_FILE;
        // Which later members may name this one's data: hard links in a tar or rar; in a
        // zip, the other names its central directory gives this local header.
        const int format = archive_format(reader) & ARCHIVE_FORMAT_BASE_MASK;
        std::vector<std::string> others;
        if (format == ARCHIVE_FORMAT_ZIP && file) {
            if (!shared) shared = SharedNames::Read(fd);
            others = shared->Take(name);
        }
        const bool linkable = format == ARCHIVE_FORMAT_ZIP
                                  ? !others.empty()
                                  : format != ARCHIVE_FORMAT_7ZIP && kind != Kind::CompressedImage;
        const tabulon_member member{kind == Kind::CompressedImage ? nullptr
                                    : name != nullptr             ? name
                                                                  : "",
                                    file && archive_entry_size_is_set(entry) != 0 ? archive_entry_size(entry) : -1,
                                    archive_entry_is_encrypted(entry),
                                    type,
                                    linked,
                                    linkable ? 1 : 0};
        if (calls.wanted(calls.context, &member) != 0 && file) {
            Handing handing{reader, &reading.Seen, member.size, archive_entry_sparse_count(entry) > 0};
            const tabulon_member_data data{&handing, NextBlock};
            if (damage.empty()) {
                calls.unpacked(calls.context, &member, &data, nullptr);
            } else {
                calls.unpacked(calls.context, &member, nullptr, damage.c_str());
            }
        }
        // A compressed file's one image ends it: read to its end by the caller, its
        // checks have run, and what lies past a member stopped at the limit is not unpacked.
        if (kind == Kind::CompressedImage) return std::nullopt;
        for (const std::string& other : others) {
            const tabulon_member same{other.c_str(), -1, member.encrypted, TABULON_MEMBER_SHARED_DATA, member.name, 0};
            calls.wanted(calls.context, &same);
        }
    }
    // A compressed stream read to its end, past the archive's end too: the checks
    // at its very end (a gzip trailer, an xz check) must run.
    if (reading.Stream) {
        const void* block = nullptr;
        la_ssize_t got = 0;
        while ((got = reading.Stream->Read(&block)) > 0) {
        }
        if (got < 0) return reading.Seen.Explain(nullptr, false);
    }
    return std::nullopt;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int tabulon_read_archive_v3(int fd, int compressed,
                                                                              const tabulon_member_calls* calls,
                                                                              char* error, std::size_t errorSize) {
    std::optional<std::string> failure;
    try {
        const Utf8Names names;
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
static_assert(std::is_same_v<decltype(&tabulon_read_archive_v3), tabulon_read_archive_fn>);
