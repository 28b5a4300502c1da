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

std::vector<std::uint8_t> ImageReader::Bytes(std::int64_t n, std::int64_t count) {
    if (!Has(n, count)) throw StructureEnds();
    std::vector<std::uint8_t> bytes;
    bytes.resize(static_cast<std::size_t>(count));
    CopyTo(n, bytes);
    return bytes;
}

void ImageReader::CopyTo(std::int64_t n, std::span<std::uint8_t> out) {
    const auto count = static_cast<std::int64_t>(out.size());
    if (!Has(n, count)) throw StructureEnds();
    if (stride_ == 1) {
        image_->CopyTo(FileOffset(n), out);
        return;
    }
    std::int64_t offset = FileOffset(n);
    for (std::uint8_t& byte : out) {
        byte = image_->At(offset);
        offset += stride_;
    }
}

bool ImageReader::StartsWith(std::int64_t n, std::string_view text) {
    if (!Has(n, static_cast<std::int64_t>(text.size()))) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (U8(n + static_cast<std::int64_t>(k)) != static_cast<std::uint8_t>(text[k])) return false;
    }
    return true;
}

}  // namespace tabulon
