#include "SectorLocation.h"

#include "AnalysisStopped.h"

#include <array>

namespace tabulon {

namespace {

constexpr std::array<std::uint8_t, 7> kDmkIdPattern{0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x02};
constexpr std::int32_t kDmkGiveUp = 5000;
constexpr std::int32_t kDmkIdToData = 41;  // size code, ID CRC, gap 2 (22), sync (12), A1 A1 A1 FB

constexpr std::int32_t kJvEntryLength = 3;
constexpr std::int32_t kJvDataStart = 8704;  // also the give-up position
constexpr std::int32_t kJvSectorLength = 256;

SectorLocation ScanFound(const DiskData& data, ImageFormat format, std::int32_t base) {
    return {format, LocateMethod::Scan, base, SectorBytes(data, base), std::nullopt, std::nullopt, std::nullopt};
}

}  // namespace

std::string_view FormatLabel(ImageFormat format) {
    switch (format) {
    case ImageFormat::Dmk: return "   DMK Format";
    case ImageFormat::Jv3: return "   JV  Format";
    case ImageFormat::Jv1: return "   JV1 Format";
    case ImageFormat::Hfe: return "   HFE Format";
    case ImageFormat::Imd: return "   IMD Format";
    case ImageFormat::Td0: return "   TD0 Format";
    }
    return {};
}

std::string_view FormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Dmk: return "DMK";
    case ImageFormat::Jv3: return "JV3";
    case ImageFormat::Jv1: return "JV1";
    case ImageFormat::Hfe: return "HFE";
    case ImageFormat::Imd: return "IMD";
    case ImageFormat::Td0: return "TD0";
    }
    return {};
}

std::uint8_t SectorBytes::At(std::int64_t offset) const {
    if (image_ != nullptr) return image_->At(base_ + offset);
    if (offset < 0 || offset > Length()) throw AnalysisStopped(AnalysisStopped::Reason::SectorCutShort);
    return offset == Length() ? 0 : own_[static_cast<std::size_t>(offset)];
}

std::int64_t SectorBytes::Length() const noexcept {
    if (image_ != nullptr) return image_->FileLength() - base_;
    return static_cast<std::int64_t>(own_.size());
}

std::optional<std::int32_t> FindDmkSector(const DiskData& data) {
    const std::int32_t fileLength = data.FileLength();
    std::int32_t t = 0;
    std::size_t i = 0;
    while (t < fileLength) {
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

std::optional<std::int32_t> FindJvSector(const DiskData& data) {
    const std::int32_t fileLength = data.FileLength();
    std::int32_t k = 0;
    for (std::int32_t u = 0; u < fileLength; u += kJvEntryLength, ++k) {
        // u + 1 may be the spare 0 byte at FileLength, which never matches 2.
        if (data.At(u) == 0 && data.At(u + 1) == 2) return kJvDataStart + kJvSectorLength * k;
        if (u > kJvDataStart) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<SectorLocation> LocateSystemSector(const DiskData& data, const std::function<void()>& dmkGaveUp) {
    if (auto base = FindDmkSector(data)) return ScanFound(data, ImageFormat::Dmk, *base);
    if (dmkGaveUp) dmkGaveUp();
    if (auto base = FindJvSector(data)) return ScanFound(data, ImageFormat::Jv3, *base);
    return std::nullopt;
}

}  // namespace tabulon
