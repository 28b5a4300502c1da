#pragma once

#include "AnalysisStopped.h"
#include "FileDescriptor.h"

#include <array>
#include <map>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <sys/uio.h>
#include <vector>

namespace tabulon {

class DiskData;

// Where the bytes of an image that is not held in memory come from: its file,
// or a copy filled as it is read.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads into parts from offset on, as preadv does: how many bytes, 0 at
    // the end, -1 with errno saying why.
    virtual std::int64_t ReadAt(std::span<const iovec> parts, std::int64_t offset) = 0;
};

// The files beside an image's own file, opened by name: the other tracks of a
// KryoFlux stream set.
class SiblingFiles {
public:
    virtual ~SiblingFiles() = default;
    // The file of that name, read on demand; nothing when there is no such
    // regular file (names with a folder in them included).
    virtual std::optional<DiskData> Open(const std::string& name) = 0;
};

// The image's bytes at indices 0 to FileLength, where the element at FileLength
// is a spare byte that is always 0. Every read goes through At(), which stops
// the analysis on an index outside that range. The bytes of a file are read on
// demand, in aligned blocks kept in a small cache, so finding and decoding the
// sector costs the same on a large image as on a small one and memory stays
// small; the file stays open until Close().
class DiskData {
public:
    static constexpr std::int64_t kBlockSize = std::int64_t{16} * 1024;
    static constexpr std::size_t kCachedBlocks = 8;
    static constexpr std::int64_t kReadAheadBlocks = 4;

    DiskData() = default;
    DiskData(DiskData&& other) noexcept { *this = std::move(other); }
    DiskData& operator=(DiskData&& other) noexcept;
    DiskData(DiskData&) = delete;
    DiskData& operator=(DiskData&) = delete;

    // The given bytes, held in memory, followed by the spare 0 (tests and tools).
    static DiskData FromBytes(std::span<const std::uint8_t> bytes);

    // The first fileLength bytes of the open file, read when asked for; first,
    // when it holds the file's first block as read already, is kept instead.
    static DiskData FromFile(FileDescriptor file, std::int32_t fileLength, std::vector<std::uint8_t> first = {});
    // The same from any source of bytes.
    static DiskData FromSource(std::unique_ptr<ByteSource> source, std::int32_t fileLength,
                               std::vector<std::uint8_t> first = {});

    std::int32_t FileLength() const noexcept { return fileLength_; }

    // The byte at index, 0 <= index <= FileLength. Throws AnalysisStopped outside
    // that range, on a read error, and when the file has become shorter than
    // FileLength; on either failure of the file it is closed at once.
    std::uint8_t At(std::int64_t index) {
        // Most reads land in the block read last: answer those without a call.
        const auto offset = static_cast<std::uint64_t>(index - windowStart_);
        return offset < windowLength_ ? window_[offset] : AtSlow(index);
    }

    // The bytes from index on that lie together in memory, at most count of
    // them (none at or past FileLength): a view of the block that holds index,
    // read if need be, valid until the next read. For scans that go byte by byte.
    std::span<const std::uint8_t> Run(std::int64_t index, std::int64_t count);

    // The bytes from index on into out, each as At would give it (and throwing
    // where At would), copied a block at a time.
    void CopyTo(std::int64_t index, std::span<std::uint8_t> out);

    // Reads the first block now, so that a file that cannot be read fails here.
    void ReadFirstBlock();

    // Reads the whole file once, so that a file that cannot be read to its end
    // fails now rather than part way through a report. Its first keep bytes stay
    // in memory and are never read again, so what was read then is what the
    // analysis sees; memory stays flat whatever the image's size.
    void ReadEveryBlock(std::int64_t keep = 0);

    // Releases the file. Bytes already read stay readable; others stop the analysis.
    void Close() noexcept { source_.reset(); }
    bool IsOpen() const noexcept { return source_ != nullptr; }

    // The name of the image's own file (no folder; empty when it has none, as
    // standard input), and the files beside it.
    void SetSiblings(std::string name, std::shared_ptr<SiblingFiles> siblings) {
        name_ = std::move(name);
        siblings_ = std::move(siblings);
    }
    const std::string& Name() const noexcept { return name_; }
    std::optional<DiskData> OpenSibling(const std::string& name);

private:
    struct Block {
        std::int64_t Number = -1;
        std::uint64_t LastUse = 0;
        std::unique_ptr<std::uint8_t[]> Bytes;  // kBlockSize, not zero-filled: only read bytes are used
        std::uint64_t Length = 0;
    };

    std::uint8_t AtSlow(std::int64_t index);
    const Block& Load(std::int64_t number);
    std::size_t Find(std::int64_t number) const;  // its slot, or kCachedBlocks
    const Block& Use(std::size_t slot);
    void ShowWindow(const std::uint8_t* bytes, std::int64_t start, std::uint64_t length);
    [[noreturn]] void Fail(AnalysisStopped::Reason reason);

    std::int32_t fileLength_ = 0;
    std::string name_;
    std::shared_ptr<SiblingFiles> siblings_;
    bool inMemory_ = true;
    std::vector<std::uint8_t> memory_;    // FromBytes: the whole image; FromFile: the bytes kept from the start
    std::int64_t kept_ = 0;               // FromFile: how many bytes from the start memory_ holds
    std::unique_ptr<ByteSource> source_;  // FromFile, FromSource: read on demand
    std::array<Block, kCachedBlocks> blocks_{};
    std::uint64_t uses_ = 0;
    // The bytes of the block read last (or of the whole image held in memory).
    const std::uint8_t* window_ = nullptr;
    std::int64_t windowStart_ = 0;
    std::uint64_t windowLength_ = 0;
};

// Files held in memory, by name: a stream set for tests and tools.
class FilesInMemory final : public SiblingFiles {
public:
    explicit FilesInMemory(std::map<std::string, std::vector<std::uint8_t>> files) : files_(std::move(files)) {}
    std::optional<DiskData> Open(const std::string& name) override;

private:
    std::map<std::string, std::vector<std::uint8_t>> files_;
};

}  // namespace tabulon
