#include "DiskData.h"

#include "AnalysisStopped.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

namespace tabulon {

DiskData& DiskData::operator=(DiskData&& other) noexcept {
    if (this == &other) return *this;
    fileLength_ = std::exchange(other.fileLength_, 0);
    inMemory_ = std::exchange(other.inMemory_, true);
    memory_ = std::move(other.memory_);
    file_ = std::move(other.file_);
    blocks_ = std::move(other.blocks_);
    uses_ = std::exchange(other.uses_, 0);
    // The buffers moved along with their owners, so the window still points into them.
    window_ = std::exchange(other.window_, nullptr);
    windowStart_ = std::exchange(other.windowStart_, 0);
    windowLength_ = std::exchange(other.windowLength_, 0);
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

void DiskData::ShowWindow(const std::uint8_t* bytes, std::int64_t start, std::uint64_t length) const {
    window_ = bytes;
    windowStart_ = start;
    windowLength_ = length;
}

DiskData DiskData::FromFile(FileDescriptor file, std::int32_t fileLength) {
    DiskData data;
    data.inMemory_ = false;
    data.file_ = std::move(file);
    data.fileLength_ = std::max<std::int32_t>(fileLength, 0);
    return data;
}

std::uint8_t DiskData::AtSlow(std::int64_t index) const {
    if (index < 0 || index > fileLength_) throw AnalysisStopped(AnalysisStopped::Reason::ReadOutsideImage);
    if (index == fileLength_) return 0;  // the spare byte
    if (inMemory_) return memory_[static_cast<std::size_t>(index)];

    const std::int64_t number = index / kBlockSize;
    return Load(number).Bytes[static_cast<std::size_t>(index - number * kBlockSize)];
}

void DiskData::ReadAhead() const {
    if (fileLength_ > 0 && !inMemory_) Load(0);
}

void DiskData::Fail(AnalysisStopped::Reason reason) const {
    file_.Close();
    ShowWindow(nullptr, 0, 0);
    throw AnalysisStopped(reason);
}

const DiskData::Block& DiskData::Use(std::size_t slot) const {
    Block& block = blocks_[slot];
    block.LastUse = ++uses_;
    ShowWindow(block.Bytes.get(), block.Number * kBlockSize, block.Length);
    return block;
}

const DiskData::Block& DiskData::Load(std::int64_t number) const {
    std::size_t slot = 0;  // the block to read into: the least recently used
    for (std::size_t i = 0; i < kCachedBlocks; ++i) {
        if (blocks_[i].Number == number) return Use(i);
        if (blocks_[i].LastUse < blocks_[slot].LastUse) slot = i;
    }
    Block* victim = &blocks_[slot];
    if (!file_.IsOpen()) Fail(AnalysisStopped::Reason::ReadError);

    // Exactly the bytes the length promised: a file that has grown since shows
    // nothing new, and one that has shrunk is a changed image, never zeros.
    const std::int64_t start = number * kBlockSize;
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, fileLength_ - start));
    victim->Number = -1;
    victim->Length = 0;
    ShowWindow(nullptr, 0, 0);
    if (!victim->Bytes) victim->Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t got = ::pread(file_.Get(), victim->Bytes.get() + done, wanted - done,
                                    static_cast<off_t>(start + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(AnalysisStopped::Reason::ReadError);
        if (got == 0) Fail(AnalysisStopped::Reason::ImageChanged);
        done += static_cast<std::size_t>(got);
    }
    victim->Number = number;
    victim->Length = wanted;
    return Use(slot);
}

}  // namespace tabulon
