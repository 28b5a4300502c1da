#include "ImageReader.h"

namespace tabulon {

ImageReader ImageReader::Window(std::int64_t offset, std::int64_t length) const {
    if (offset < 0 || length < 0 || offset > Size()) throw StructureEnds();
    const std::int64_t start = FileOffset(offset);
    const std::int64_t end = length >= Size() - offset ? end_ : start + length * stride_;
    return {image_, start, end, stride_};
}

ImageReader ImageReader::Strided(std::int64_t stride) const {
    if (stride < 1) throw StructureEnds();
    return {image_, start_, end_, stride_ * stride};
}

std::int64_t ImageReader::Size() const noexcept {
    return end_ <= start_ ? 0 : (end_ - start_ + stride_ - 1) / stride_;
}

std::uint8_t ImageReader::U8(std::int64_t n) const {
    if (!Has(n)) throw StructureEnds();
    return image_->At(FileOffset(n));
}

std::vector<std::uint8_t> ImageReader::Bytes(std::int64_t n, std::int64_t count) const {
    if (!Has(n, count)) throw StructureEnds();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) bytes[static_cast<std::size_t>(i)] = image_->At(FileOffset(n + i));
    return bytes;
}

}  // namespace tabulon
