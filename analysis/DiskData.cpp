#include "DiskData.h"

#include "AnalysisStopped.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/uio.h>
#include <utility>

namespace tabulon {

namespace {

// A buffer left unfilled: only the bytes a read puts there are ever used, and
// zeroing blocks would cost more than reading them.
std::unique_ptr<std::uint8_t[]> Uninitialised(std::size_t size) {
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);  // NOLINT(modernize-make-unique)
}

// An open file, read with preadv.
class FileBytes final : public ByteSource {
public:
    explicit FileBytes(FileDescriptor file) : file_(std::move(file)) {}
    std::int64_t ReadAt(std::span<const iovec> parts, std::int64_t offset) override {
        if (!file_.IsOpen()) {
            errno = EBADF;
            return -1;
        }
        return ::preadv(file_.Get(), parts.data(), static_cast<int>(parts.size()), static_cast<off_t>(offset));
    }

private:
    FileDescriptor file_;
};

}  // namespace

DiskData& DiskData::operator=(DiskData&& other) noexcept {
    if (this == &other) return *this;
    fileLength_ = std::exchange(other.fileLength_, 0);
    inMemory_ = std::exchange(other.inMemory_, true);
    memory_ = std::move(other.memory_);
    kept_ = std::exchange(other.kept_, 0);
    source_ = std::move(other.source_);
    blocks_ = std::move(other.blocks_);
    uses_ = std::exchange(other.uses_, 0);
    // The buffers moved along with their owners, so the window still points into them.
    window_ = std::exchange(other.window_, nullptr);
    windowStart_ = std::exchange(other.windowStart_, 0);
    windowLength_ = std::exchange(other.windowLength_, 0);
    name_ = std::move(other.name_);
    siblings_ = std::move(other.siblings_);
    other.memory_.clear();
    other.blocks_ = {};
    return *this;
}

DiskData DiskData::FromBytes(std::span<const std::uint8_t> bytes) {
    DiskData data;
    const auto length = std::min<std::size_t>(bytes.size(), std::numeric_limits<std::int32_t>::max());
    data.memory_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    data.fileLength_ = static_cast<std::int32_t>(length);
    data.ShowWindow(data.memory_.data(), 0, length);
    return data;
}

void DiskData::ShowWindow(const std::uint8_t* bytes, std::int64_t start, std::uint64_t length) {
    window_ = bytes;
    windowStart_ = start;
    windowLength_ = length;
}

DiskData DiskData::FromFile(FileDescriptor file, std::int32_t fileLength, std::vector<std::uint8_t> first) {
    return FromSource(std::make_unique<FileBytes>(std::move(file)), fileLength, std::move(first));
}

DiskData DiskData::FromSource(std::unique_ptr<ByteSource> source, std::int32_t fileLength,
                              std::vector<std::uint8_t> first) {
    DiskData data;
    data.inMemory_ = false;
    data.source_ = std::move(source);
    data.fileLength_ = std::max<std::int32_t>(fileLength, 0);
    if (!first.empty() && std::cmp_equal(first.size(), std::min<std::int64_t>(data.fileLength_, kBlockSize))) {
        data.kept_ = static_cast<std::int64_t>(first.size());
        data.memory_ = std::move(first);
    }
    return data;
}

std::uint8_t DiskData::AtSlow(std::int64_t index) {
    if (index < 0 || index > fileLength_) throw AnalysisStopped(AnalysisStopped::Reason::ReadOutsideImage);
    if (index == fileLength_) return 0;  // the spare byte
    if (inMemory_) return memory_[static_cast<std::size_t>(index)];
    if (index < kept_) {
        ShowWindow(memory_.data(), 0, static_cast<std::uint64_t>(kept_));
        return memory_[static_cast<std::size_t>(index)];
    }

    const std::int64_t number = index / kBlockSize;
    return Load(number).Bytes[static_cast<std::size_t>(index - number * kBlockSize)];
}

std::span<const std::uint8_t> DiskData::Run(std::int64_t index, std::int64_t count) {
    if (index < 0 || index >= fileLength_ || count <= 0) return {};
    AtSlow(index);  // shows index's block (or the image in memory) as the window
    const auto offset = static_cast<std::uint64_t>(index - windowStart_);
    const auto length = std::min<std::uint64_t>(windowLength_ - offset, static_cast<std::uint64_t>(count));
    return {window_ + offset, static_cast<std::size_t>(length)};
}

void DiskData::CopyTo(std::int64_t index, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t at = index + static_cast<std::int64_t>(done);
        const auto offset = static_cast<std::uint64_t>(at - windowStart_);
        if (offset < windowLength_) {  // all that the window holds at once
            const auto count =
                static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, windowLength_ - offset));
            std::memcpy(out.data() + done, window_ + offset, count);
            done += count;
        } else {  // one byte the slow way, which shows its block as the window
            out[done] = AtSlow(at);
            ++done;
        }
    }
}

void DiskData::ReadFirstBlock() {
    if (fileLength_ > 0 && !inMemory_ && kept_ == 0) Load(0);
}

void DiskData::ReadEveryBlock(std::int64_t keep) {
    if (inMemory_) return;
    if (!source_) Fail(AnalysisStopped::Reason::ReadError);
    std::vector<std::uint8_t> kept(static_cast<std::size_t>(std::clamp<std::int64_t>(keep, 0, fileLength_)));
    constexpr std::size_t kChunk = 16 * kBlockSize;
    const auto chunk = Uninitialised(kChunk);
    for (std::int64_t at = 0; at < fileLength_;) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, fileLength_ - at));
        const iovec part{chunk.get(), wanted};  // one read call for every read the analysis makes
        const std::int64_t got = source_->ReadAt({&part, 1}, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(AnalysisStopped::Reason::ReadError);
        if (got == 0) Fail(AnalysisStopped::Reason::ImageChanged);
        if (std::cmp_less(at, kept.size())) {
            const auto count = std::min(static_cast<std::size_t>(got), kept.size() - static_cast<std::size_t>(at));
            std::memcpy(kept.data() + at, chunk.get(), count);
        }
        at += got;
    }
    memory_ = std::move(kept);
    kept_ = static_cast<std::int64_t>(memory_.size());
}

void DiskData::Fail(AnalysisStopped::Reason reason) {
    source_.reset();
    ShowWindow(nullptr, 0, 0);
    throw AnalysisStopped(reason);
}

const DiskData::Block& DiskData::Use(std::size_t slot) {
    Block& block = blocks_[slot];
    block.LastUse = ++uses_;
    ShowWindow(block.Bytes.get(), block.Number * kBlockSize, block.Length);
    return block;
}

std::size_t DiskData::Find(std::int64_t number) const {
    for (std::size_t i = 0; i < kCachedBlocks; ++i) {
        if (blocks_[i].Number == number) return i;
    }
    return kCachedBlocks;
}

const DiskData::Block& DiskData::Load(std::int64_t number) {
    if (const std::size_t cached = Find(number); cached < kCachedBlocks) return Use(cached);
    if (!source_) Fail(AnalysisStopped::Reason::ReadError);

    // A walk through the image (the block before is here) reads the next few
    // blocks with the same call; a jump reads one.
    const std::int64_t lastBlock = (std::int64_t{fileLength_} - 1) / kBlockSize;
    std::int64_t count = 1;
    if (number > 0 && Find(number - 1) < kCachedBlocks) {
        while (count < kReadAheadBlocks && number + count <= lastBlock && Find(number + count) == kCachedBlocks)
            ++count;
    }

    // The least recently used slots take the new blocks.
    std::array<std::size_t, kReadAheadBlocks> slots{};
    std::array<iovec, kReadAheadBlocks> parts{};
    std::size_t wanted = 0;
    ShowWindow(nullptr, 0, 0);
    for (std::int64_t n = 0; n < count; ++n) {
        std::size_t slot = kCachedBlocks;
        for (std::size_t i = 0; i < kCachedBlocks; ++i) {
            const bool taken = std::find(slots.begin(), slots.begin() + n, i) != slots.begin() + n;
            if (!taken && (slot == kCachedBlocks || blocks_[i].LastUse < blocks_[slot].LastUse)) slot = i;
        }
        Block& block = blocks_[slot];
        block.Number = -1;
        if (!block.Bytes) block.Bytes = Uninitialised(kBlockSize);
        // Exactly the bytes the length promised: a file that has grown since shows
        // nothing new, and one that has shrunk is a changed image, never zeros.
        block.Length =
            static_cast<std::uint64_t>(std::min<std::int64_t>(kBlockSize, fileLength_ - (number + n) * kBlockSize));
        slots[static_cast<std::size_t>(n)] = slot;
        parts[static_cast<std::size_t>(n)] = {block.Bytes.get(), static_cast<std::size_t>(block.Length)};
        wanted += static_cast<std::size_t>(block.Length);
    }

    // Only the block asked for must come whole: a failure or an early end in the
    // blocks read ahead just leaves them out of the cache.
    std::size_t done = 0;
    std::size_t first = 0;  // the first part not yet full
    while (done < wanted) {
        const std::int64_t got =
            source_->ReadAt(std::span(parts).subspan(first, static_cast<std::size_t>(count) - first),
                            number * kBlockSize + static_cast<std::int64_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 && first > 0) break;
        if (got < 0) Fail(AnalysisStopped::Reason::ReadError);
        if (got == 0) Fail(AnalysisStopped::Reason::ImageChanged);
        done += static_cast<std::size_t>(got);
        for (auto rest = static_cast<std::size_t>(got); rest > 0;) {  // move past what was filled
            const std::size_t step = std::min(rest, parts[first].iov_len);
            parts[first].iov_base = static_cast<std::uint8_t*>(parts[first].iov_base) + step;
            parts[first].iov_len -= step;
            rest -= step;
            if (parts[first].iov_len == 0) ++first;
        }
    }
    for (std::size_t n = 0; n < first; ++n) {  // the blocks that came whole
        blocks_[slots[n]].Number = number + static_cast<std::int64_t>(n);
        blocks_[slots[n]].LastUse = ++uses_;
    }
    return Use(slots[0]);
}

std::optional<DiskData> DiskData::OpenSibling(const std::string& name) {
    if (!siblings_) return std::nullopt;
    auto sibling = siblings_->Open(name);
    if (sibling) sibling->SetSiblings(name, siblings_);
    return sibling;
}

std::optional<DiskData> FilesInMemory::Open(const std::string& name) {
    const auto file = files_.find(name);
    if (file == files_.end()) return std::nullopt;
    return DiskData::FromBytes(file->second);
}

}  // namespace tabulon
