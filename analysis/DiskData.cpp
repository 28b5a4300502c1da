#include "DiskData.h"

#include "AnalysisStopped.h"

#include <algorithm>
#include <cerrno>
#include <limits>

namespace tabulon {

DiskData DiskData::FromBytes(std::span<const std::uint8_t> bytes) {
    DiskData data;
    const auto length = std::min<std::size_t>(bytes.size(), std::numeric_limits<std::int32_t>::max());
    data.memory_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    data.fileLength_ = static_cast<std::int32_t>(length);
    return data;
}

DiskData DiskData::FromFile(FileDescriptor file, std::int32_t fileLength) {
    DiskData data;
    data.inMemory_ = false;
    data.file_ = std::move(file);
    data.fileLength_ = std::max<std::int32_t>(fileLength, 0);
    return data;
}

std::uint8_t DiskData::At(std::int64_t index) const {
    if (index < 0 || index > fileLength_) throw AnalysisStopped(AnalysisStopped::Reason::ReadOutsideImage);
    if (index == fileLength_) return 0;  // the spare byte
    if (inMemory_) return memory_[static_cast<std::size_t>(index)];

    const std::int64_t number = index / kBlockSize;
    const Block& block = (last_ < kCachedBlocks && blocks_[last_].Number == number) ? blocks_[last_] : Load(number);
    return block.Bytes[static_cast<std::size_t>(index - number * kBlockSize)];
}

void DiskData::ReadAhead() const {
    if (fileLength_ > 0 && !inMemory_) Load(0);
}

void DiskData::Fail(AnalysisStopped::Reason reason) const {
    file_.Close();
    throw AnalysisStopped(reason);
}

const DiskData::Block& DiskData::Use(std::size_t slot) const {
    blocks_[slot].LastUse = ++uses_;
    last_ = slot;
    return blocks_[slot];
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
    victim->Bytes.resize(wanted);
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t got = ::pread(file_.Get(), victim->Bytes.data() + done, wanted - done,
                                    static_cast<off_t>(start + static_cast<std::int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(AnalysisStopped::Reason::ReadError);
        if (got == 0) Fail(AnalysisStopped::Reason::ImageChanged);
        done += static_cast<std::size_t>(got);
    }
    victim->Number = number;
    return Use(slot);
}

}  // namespace tabulon
