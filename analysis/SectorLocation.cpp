#include "SectorLocation.h"

#include "AnalysisStopped.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace tabulon {

namespace {

constexpr std::array<std::uint8_t, 7> kDmkIdPattern{0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x02};
constexpr std::int32_t kDmkGiveUp = 5000;
constexpr std::int32_t kDmkIdToData = 41;  // size code, ID CRC, gap 2 (22), sync (12), A1 A1 A1 FB

constexpr std::int32_t kJvEntryLength = 3;
constexpr std::int32_t kJvDataStart = 8704;  // also the give-up position
constexpr std::int32_t kJvSectorLength = 256;

SectorLocation ScanFound(DiskData& data, const ImageFormat& format, std::int32_t base) {
    return {format, LocateMethod::Scan, base, SectorBytes(data, base), std::nullopt, std::nullopt, std::nullopt};
}

}  // namespace

std::uint8_t SectorBytes::At(std::int64_t offset) {
    if (image_ != nullptr) return image_->At(base_ + offset);
    if (detached_) throw AnalysisStopped(AnalysisStopped::Reason::ReadOutsideImage);
    const std::int64_t end = cutShort_ ? Length() - 1 : Length();  // the last byte there, the spare included
    if (offset < 0 || offset > end) throw AnalysisStopped(AnalysisStopped::Reason::SectorCutShort);
    return offset == Length() ? 0 : own_[static_cast<std::size_t>(offset)];
}

void SectorBytes::CopyTo(std::span<std::uint8_t> out) {
    if (image_ != nullptr) {
        image_->CopyTo(base_, out);
        return;
    }
    if (own_.size() >= out.size()) {
        std::copy_n(own_.begin(), out.size(), out.begin());
        return;
    }
    for (std::size_t n = 0; n < out.size(); ++n) out[n] = At(static_cast<std::int64_t>(n));
}

void SectorBytes::Detach() noexcept {
    if (image_ == nullptr) return;
    detachedLength_ = Length();
    image_ = nullptr;
    detached_ = true;
}

std::int64_t SectorBytes::Length() const noexcept {
    if (image_ != nullptr) return image_->FileLength() - base_;
    if (detached_) return detachedLength_;
    return static_cast<std::int64_t>(own_.size());
}

std::optional<std::int32_t> FindDmkSector(DiskData& data) {
    const std::int32_t fileLength = data.FileLength();
    std::int32_t t = 0;
    std::size_t i = 0;
    while (t < fileLength) {
        if (i == 0) {
            // Before the first A1 every byte is a mismatch that only moves t on, and
            // one at 5000 or later gives up: find that A1 at once (t <= 5000 here).
            const std::int32_t limit = std::min(fileLength, kDmkGiveUp + 1);
            const auto bytes = data.Run(t, limit - t);
            const void* const sync = std::memchr(bytes.data(), kDmkIdPattern[0], bytes.size());
            if (sync == nullptr) {
                t += static_cast<std::int32_t>(bytes.size());
                if (t > kDmkGiveUp || t >= fileLength) return std::nullopt;
                continue;
            }
            t += static_cast<std::int32_t>(static_cast<const std::uint8_t*>(sync) - bytes.data());
        }
        const bool equal = data.At(t) == kDmkIdPattern[i];
        ++t;  // the compared byte is consumed either way
        if (equal) {
            if (++i == kDmkIdPattern.size()) return t + kDmkIdToData;
        } else {
            if (t > kDmkGiveUp) return std::nullopt;
            i = 0;
        }
    }
    return std::nullopt;
}

std::optional<std::int32_t> FindJvSector(DiskData& data) {
    const std::int32_t fileLength = data.FileLength();
    // The entry at u matches when byte u is 0 and byte u + 1 is 2; the last entry
    // the scan can examine starts at 8706, and every non-matching entry before it
    // lets the scan go on. So the first match is the first 2 at a position p
    // (p = u + 1 <= 8707, p inside the file: the spare byte is 0) with u a
    // multiple of 3 and byte u 0. Those bytes lie together in the first block.
    constexpr std::int32_t kLastEntry = (kJvDataStart / kJvEntryLength + 1) * kJvEntryLength;  // 8706
    const std::int32_t reach = std::min(fileLength, kLastEntry + 2);
    const auto near = data.Run(0, reach);
    if (std::cmp_equal(near.size(), reach)) {
        const std::uint8_t* const first = near.data();
        const std::uint8_t* const end = first + near.size();
        for (const std::uint8_t* p = first + std::min(1, reach); p < end; ++p) {
            p = static_cast<const std::uint8_t*>(std::memchr(p, 2, static_cast<std::size_t>(end - p)));
            if (p == nullptr) break;
            const auto u = static_cast<std::int32_t>(p - first) - 1;
            if (u % kJvEntryLength == 0 && first[u] == 0) return kJvDataStart + kJvSectorLength * (u / kJvEntryLength);
        }
        return std::nullopt;
    }
    // Entry by entry, as the scan is defined (for bytes that do not lie together).
    std::int32_t k = 0;
    for (std::int32_t u = 0; u < fileLength; u += kJvEntryLength, ++k) {
        if (data.At(u) == 0 && data.At(u + 1) == 2) return kJvDataStart + kJvSectorLength * k;
        if (u > kJvDataStart) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<SectorLocation> LocateSystemSector(DiskData& data, const std::function<void()>& dmkGaveUp) {
    if (auto base = FindDmkSector(data)) return ScanFound(data, kDmkScanFormat, *base);
    if (dmkGaveUp) dmkGaveUp();
    if (auto base = FindJvSector(data)) return ScanFound(data, kJvScanFormat, *base);
    return std::nullopt;
}

}  // namespace tabulon
