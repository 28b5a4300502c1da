#include "DiskData.h"

#include "AnalysisStopped.h"

#include <algorithm>
#include <limits>

namespace tabulon {

std::span<std::uint8_t> DiskData::Reset(std::int32_t fileLength) {
    if (fileLength < 0) fileLength = 0;
    // A fresh vector, so no byte (and no capacity) of a longer earlier image survives.
    std::vector<std::uint8_t>(static_cast<std::size_t>(fileLength) + 1, 0).swap(bytes_);
    fileLength_ = fileLength;
    return {bytes_.data(), static_cast<std::size_t>(fileLength)};
}

DiskData DiskData::FromBytes(std::span<const std::uint8_t> bytes) {
    DiskData data;
    const auto length = static_cast<std::int32_t>(
        std::min<std::size_t>(bytes.size(), std::numeric_limits<std::int32_t>::max()));
    auto target = data.Reset(length);
    std::copy_n(bytes.begin(), target.size(), target.begin());
    return data;
}

std::uint8_t DiskData::At(std::int64_t index) const {
    if (index < 0 || index > fileLength_ || bytes_.empty()) {
        throw AnalysisStopped(AnalysisStopped::Reason::ReadOutsideImage);
    }
    return bytes_[static_cast<std::size_t>(index)];
}

std::span<const std::uint8_t> DiskData::Bytes() const noexcept {
    return {bytes_.data(), static_cast<std::size_t>(fileLength_)};
}

}  // namespace tabulon
