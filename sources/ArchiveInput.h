#pragma once
// Inside tabulon-archives.so: the bytes libarchive's readers take in. An archive
// is read from the file itself; a compressed file is unpacked here first, as one
// stream read to its very end, so that every check of the compression runs (gzip's
// CRC-32 and length through zlib: libarchive's own gzip reader leaves them unchecked).

#include <archive.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tabulon::archives {

// What went wrong below libarchive's readers, whose own message would hide it
// (they say "truncated" whatever the cause): the system's read error, or damage
// found in the compressed stream. The first one stays.
struct Trouble {
    int ReadError = 0;  // errno of a read of the file that failed
    std::string Damage;

    bool Any() const noexcept { return ReadError != 0 || !Damage.empty(); }
    // Why a member or the archive cannot be read on: trouble first, else the reader's message.
    std::string Explain(archive* reader, bool ofMember) const;
};

// The file, read through its own position, so that several readers can share one
// descriptor. A zip's deflated data is unpacked as far as the bytes read reach, so
// reads start small wherever the reader goes, and a member read on demand is
// unpacked little further than asked; they grow as reading goes on.
struct FileInput {
    static constexpr std::size_t kFirstRead = std::size_t{4} * 1024;
    int Fd = -1;
    Trouble* Seen = nullptr;
    std::int64_t At = 0;
    std::size_t Next = kFirstRead;
    std::vector<char> Buffer = std::vector<char>(std::size_t{64} * 1024);

    // The next bytes: their count (0 at the end), or -1 on a read error, said in Seen.
    la_ssize_t Read(const void** block);
    void MoveTo(std::int64_t at) noexcept {
        At = at;
        Next = kFirstRead;
    }
};

// A compressed file's unpacked bytes (gzip, bzip2, xz, zstd), one block after another.
class Unpacking {
public:
    // Opened at the file's start; nothing when it cannot be, error saying why.
    static std::unique_ptr<Unpacking> Open(int fd, Trouble& seen, std::string& error);
    virtual ~Unpacking() = default;
    // The next block, valid until the next call: its size, 0 past the end (every
    // check passed), or -1 when the stream is damaged or unreadable, said in the Trouble.
    virtual la_ssize_t Read(const void** block) = 0;
};

struct ArchiveDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

// What a reader reads: the file (which it may seek in and skip through), or a stream.
struct Feed {
    FileInput* File = nullptr;
    Unpacking* Stream = nullptr;
};

// Sets reader's callbacks to take its bytes from feed and opens it; false when
// it cannot be read as any format it supports.
bool OpenOn(archive* reader, Feed& feed);

std::string ErrorOf(archive* reader, const char* otherwise);

}  // namespace tabulon::archives
