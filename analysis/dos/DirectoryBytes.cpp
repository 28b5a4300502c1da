#include "DirectoryBytes.h"

#include <algorithm>

namespace tabulon {

namespace {

bool Printable(std::uint8_t byte) { return byte >= 0x20 && byte <= 0x7E; }

}  // namespace

std::string PrintableText(SectorSpan bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const std::uint8_t byte : bytes) text.push_back(Printable(byte) ? static_cast<char>(byte) : '?');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string FileName(SectorSpan name, SectorSpan extension, char separator) {
    std::string text = PrintableText(name);
    const std::string tail = PrintableText(extension);
    if (!tail.empty()) text += separator + tail;
    return text;
}

bool AllPrintable(SectorSpan bytes) { return std::all_of(bytes.begin(), bytes.end(), Printable); }

bool HoldsText(SectorSpan bytes, std::string_view text) {
    // ASCII letters only: a disk's text is no locale's.
    const auto upper = [](std::uint8_t byte) {
        return byte >= 'a' && byte <= 'z' ? static_cast<std::uint8_t>(byte - ('a' - 'A')) : byte;
    };
    const auto same = [&](std::uint8_t byte, char wanted) {
        return upper(byte) == upper(static_cast<std::uint8_t>(wanted));
    };
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end(), same) != bytes.end();
}

SectorSpan Part(SectorSpan bytes, std::size_t offset, std::size_t count) {
    if (offset >= bytes.size()) return {};
    return bytes.subspan(offset, std::min(count, bytes.size() - offset));
}

unsigned Le16(SectorSpan bytes, std::size_t offset) {
    if (offset + 1 >= bytes.size()) return 0;
    return bytes[offset] | (unsigned{bytes[offset + 1]} << 8);
}

std::string HexByte(std::uint8_t byte) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    return {'0', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
}

}  // namespace tabulon
