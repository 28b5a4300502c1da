#include "ShownName.h"

#include <string_view>

#include <filesystem>

#include <algorithm>

#include <array>
#include <sstream>

namespace tabulon {

namespace {

// The well-formed UTF-8 character at the start of text: its length in bytes
// (0 when the bytes there are not one) and its code point.
struct Utf8Char {
    std::size_t Length = 0;
    char32_t Point = 0;
};

Utf8Char FirstChar(std::string_view text) {
    const auto byte = [&text](std::size_t n) { return static_cast<unsigned char>(text[n]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) return {1, lead};
    std::size_t length = 0;
    char32_t point = 0;
    char32_t least = 0;  // the smallest value that needs this length: shorter forms are overlong
    if ((lead & 0xE0u) == 0xC0u) {
        length = 2;
        point = lead & 0x1Fu;
        least = 0x80;
    } else if ((lead & 0xF0u) == 0xE0u) {
        length = 3;
        point = lead & 0x0Fu;
        least = 0x800;
    } else if ((lead & 0xF8u) == 0xF0u) {
        length = 4;
        point = lead & 0x07u;
        least = 0x10000;
    } else {
        return {};
    }
    if (text.size() < length) return {};
    for (std::size_t n = 1; n < length; ++n) {
        if ((byte(n) & 0xC0u) != 0x80u) return {};
        point = (point << 6) | (byte(n) & 0x3Fu);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {};
    return {length, point};
}

bool IsControl(char32_t point) { return point < 0x20 || (point >= 0x7F && point <= 0x9F); }

// Whether the name shows as it is.
bool ShowsAsItIs(std::string_view name) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
    for (std::size_t n = 0; n < name.size();) {
        const Utf8Char next = FirstChar(name.substr(n));
        if (next.Length == 0 || IsControl(next.Point)) return false;
        n += next.Length;
    }
    return true;
}

// One byte inside $'...': the C escapes a shell knows by letter, otherwise three octal digits.
void WriteEscaped(std::ostream& out, unsigned char byte) {
    constexpr std::string_view kLetters = "abtnvfr";  // bytes 7 to 13
    if (byte >= 7 && byte <= 13) {
        out << '\\' << kLetters[byte - 7u];
        return;
    }
    const std::array<char, 4> octal = {'\\', static_cast<char>('0' + (byte >> 6)),
                                       static_cast<char>('0' + ((byte >> 3) & 7u)),
                                       static_cast<char>('0' + (byte & 7u))};
    out.write(octal.data(), octal.size());
}

}  // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t n = 0; n < text.size();) {
        const std::size_t length = FirstChar(text.substr(n)).Length;
        if (length == 0) return false;
        n += length;
    }
    return true;
}

void WriteShownName(std::ostream& out, std::string_view name) {
    if (ShowsAsItIs(name)) {
        out << name;
        return;
    }
    if (name.empty()) {
        out << "''";
        return;
    }
    // Runs of plain characters in '...', control characters and stray bytes in
    // $'...', and a single quote as \' between them.
    enum class Run { None, Quoted, Escaped } run = Run::None;
    const auto enter = [&out, &run](Run next) {
        if (run == next) return;
        if (run != Run::None) out << '\'';
        if (next == Run::Quoted) out << '\'';
        if (next == Run::Escaped) out << "$'";
        run = next;
    };
    for (std::size_t n = 0; n < name.size();) {
        const Utf8Char next = FirstChar(name.substr(n));
        const std::size_t length = next.Length == 0 ? 1 : next.Length;
        if (next.Length == 0 || IsControl(next.Point)) {
            enter(Run::Escaped);
            for (std::size_t k = 0; k < length; ++k) WriteEscaped(out, static_cast<unsigned char>(name[n + k]));
        } else if (name[n] == '\'') {
            enter(Run::None);
            out << "\\'";
        } else {
            enter(Run::Quoted);
            out << name.substr(n, length);
        }
        n += length;
    }
    enter(Run::None);
}

std::string ShownName(std::string_view name) {
    if (ShowsAsItIs(name)) return std::string(name);
    std::ostringstream out;
    WriteShownName(out, name);
    return out.str();
}

std::string HexBytes(std::string_view text) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0Fu];
    }
    return hex;
}

std::string AbsolutePath(const std::string& path) {
    // The program never changes its working directory: ask for it once, not once an image.
    static const std::string workingDirectory = [] {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        return error ? std::string() : current.string();
    }();
    const bool absolute = !path.empty() && path.front() == '/';
    if (path.empty() || (!absolute && workingDirectory.empty())) return path;  // no name, or none (deleted)
    const std::string whole = absolute ? path : workingDirectory + "/" + path;
    // One slash between names; "." components dropped but a last one, which still
    // matters ("x.dsk/." is not "x.dsk"); a final slash kept.
    std::string cleaned;
    for (std::size_t at = 0; at < whole.size();) {
        const std::size_t end = std::min(whole.find('/', at), whole.size());
        const std::string_view part = std::string_view(whole).substr(at, end - at);
        const bool last = end == whole.size();
        if (!part.empty() && (part != "." || last)) cleaned.append("/").append(part);
        at = end + 1;
    }
    if (whole.back() == '/') cleaned += '/';
    return cleaned;
}

}  // namespace tabulon
