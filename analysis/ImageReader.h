#pragma once

#include "DiskData.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace tabulon {

// Thrown by ImageReader when container code reads outside the bytes it was
// given: the image's structure is not what its header promised. The walker
// that catches it reports that it found nothing; it never stops the analysis.
class StructureEnds : public std::runtime_error {
public:
    StructureEnds() : std::runtime_error("read outside the image's structure") {}
};

// The header read, or nothing when the image ends before its structure does.
template <class Read>
auto UnlessStructureEnds(Read read) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const StructureEnds&) {
        return std::nullopt;
    }
}

// A bounds-checked view of part of an image for the container walkers, with
// named reads. Element n of a view is the file byte at Start + n * Stride, so a
// stride of 2 reads single-density bytes that the image stores twice. A view
// never reaches past the end of the file, whatever its length asked for.
class ImageReader {
public:
    explicit ImageReader(DiskData& image) : image_(&image), start_(0), end_(image.FileLength()), stride_(1) {}

    // The part from element offset on, at most length elements long.
    ImageReader Window(std::int64_t offset, std::int64_t length) const;
    // The same bytes, one element every stride of this view's elements.
    ImageReader Strided(std::int64_t stride) const;

    std::int64_t Size() const noexcept {
        if (end_ <= start_) return 0;
        return stride_ == 1 ? end_ - start_ : (end_ - start_ + stride_ - 1) / stride_;
    }
    bool Has(std::int64_t n, std::int64_t count = 1) const noexcept {
        return n >= 0 && count >= 0 && n + count <= Size();
    }
    // The file offset of element n.
    std::int64_t FileOffset(std::int64_t n) const noexcept { return start_ + n * stride_; }

    std::uint8_t U8(std::int64_t n) {
        if (!Has(n)) throw StructureEnds();
        return image_->At(FileOffset(n));
    }
    std::uint16_t Le16(std::int64_t n) { return static_cast<std::uint16_t>(U8(n) | (U8(n + 1) << 8)); }
    std::uint32_t Le32(std::int64_t n) { return Le16(n) | (std::uint32_t{Le16(n + 2)} << 16); }
    std::uint16_t Be16(std::int64_t n) { return static_cast<std::uint16_t>((U8(n) << 8) | U8(n + 1)); }
    std::vector<std::uint8_t> Bytes(std::int64_t n, std::int64_t count);
    // Whether the elements from n are these characters; false, not a throw, where the view ends first.
    bool StartsWith(std::int64_t n, std::string_view text);
    // Elements n on into out, all of them or none (throws first): for hot paths
    // that read into a buffer they keep.
    void CopyTo(std::int64_t n, std::span<std::uint8_t> out);

    // Elements n on as they lie together in memory, at most count of them, valid
    // until the next read: none where they are not there or not one byte apart.
    std::span<const std::uint8_t> Run(std::int64_t n, std::int64_t count) {
        if (stride_ != 1 || !Has(n)) return {};
        return image_->Run(FileOffset(n), std::min(count, Size() - n));
    }

private:
    ImageReader(DiskData* image, std::int64_t start, std::int64_t end, std::int64_t stride)
        : image_(image), start_(start), end_(end), stride_(stride) {}

    DiskData* image_;
    std::int64_t start_;  // file offset of element 0
    std::int64_t end_;    // file offset past the last byte this view may read
    std::int64_t stride_;
};

}  // namespace tabulon
