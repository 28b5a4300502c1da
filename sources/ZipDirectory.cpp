#include "ZipDirectory.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace tabulon::archives {

namespace {

constexpr std::size_t kEndRecord = 22;
constexpr std::size_t kEntry = 46;
constexpr std::size_t kLocator = 20;
constexpr std::size_t kEnd64 = 56;
constexpr std::uint64_t kFar = 0xFFFFFFFF;  // zip64 holds the value

// count bytes from offset, all of them, or nothing; never more than the file
// holds (length), whatever a record says.
std::optional<std::string> ReadAt(int fd, std::uint64_t count, std::uint64_t offset, std::uint64_t length) {
    if (offset > length || count > length - offset || count > std::numeric_limits<std::size_t>::max()) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(count), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::uint64_t Le(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t n = width; n-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + n]);
    return value;
}

bool Has(std::string_view bytes, std::size_t at, std::string_view magic) {
    return at + magic.size() <= bytes.size() && bytes.substr(at, magic.size()) == magic;
}

// The central directory: where it ends (the end record, zip64's when there is
// one) and its size; taken back from its end, so that data in front of the zip
// (a self-extracting one) does not move it.
std::optional<std::string> Directory(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_size < static_cast<off_t>(kEndRecord)) return std::nullopt;
    const auto length = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t tailLength = std::min<std::uint64_t>(length, kEndRecord + 0xFFFF);
    const auto tail = ReadAt(fd, tailLength, length - tailLength, length);
    if (!tail) return std::nullopt;
    for (std::size_t at = tail->size() - kEndRecord + 1; at-- > 0;) {
        if (!Has(*tail, at, "PK\x05\x06") || at + kEndRecord + Le(*tail, at + 20, 2) != tail->size()) continue;
        std::uint64_t end = length - tailLength + at;
        std::uint64_t size = Le(*tail, at + 12, 4);
        if (at >= kLocator && Has(*tail, at - kLocator, "PK\x06\x07")) {
            end = Le(*tail, at - kLocator + 8, 8);
            const auto record = ReadAt(fd, kEnd64, end, length);
            if (!record || !Has(*record, 0, "PK\x06\x06")) return std::nullopt;
            size = Le(*record, 40, 8);
        }
        if (size > end) return std::nullopt;
        return ReadAt(fd, size, end - size, length);
    }
    return std::nullopt;
}

// Where an entry's local header lies, zip64's extra field read when it holds it.
std::uint64_t LocalHeader(std::string_view entry, std::size_t nameLength, std::size_t extraLength) {
    std::uint64_t offset = Le(entry, 42, 4);
    if (offset != kFar) return offset;
    std::string_view extra = entry.substr(kEntry + nameLength, extraLength);
    while (extra.size() >= 4) {
        const auto size = static_cast<std::size_t>(Le(extra, 2, 2));
        if (4 + size > extra.size()) break;
        if (Le(extra, 0, 2) == 1) {
            const std::size_t at = 4 + (Le(entry, 24, 4) == kFar ? 8U : 0U) + (Le(entry, 20, 4) == kFar ? 8U : 0U);
            return at + 8 <= 4 + size ? Le(extra, at, 8) : offset;
        }
        extra.remove_prefix(4 + size);
    }
    return offset;
}

}  // namespace

SharedNames SharedNames::Read(int fd) {
    SharedNames names;
    const auto directory = Directory(fd);
    if (!directory) return names;
    std::unordered_map<std::uint64_t, std::vector<std::string>> at;  // each local header's names
    const std::string_view all = *directory;
    for (std::size_t next = 0; Has(all, next, "PK\x01\x02") && next + kEntry <= all.size();) {
        const std::string_view entry = all.substr(next);
        const auto nameLength = static_cast<std::size_t>(Le(entry, 28, 2));
        const auto extraLength = static_cast<std::size_t>(Le(entry, 30, 2));
        const std::size_t whole = kEntry + nameLength + extraLength + static_cast<std::size_t>(Le(entry, 32, 2));
        if (whole > entry.size()) break;
        at[LocalHeader(entry, nameLength, extraLength)].emplace_back(entry.substr(kEntry, nameLength));
        next += whole;
    }
    for (auto& [offset, group] : at) {
        if (group.size() < 2) continue;
        for (const std::string& name : group) names.groupOf_.emplace(name, names.groups_.size());
        names.groups_.push_back(std::move(group));
    }
    return names;
}

std::vector<std::string> SharedNames::Take(const char* name) {
    const auto found = name != nullptr ? groupOf_.find(name) : groupOf_.end();
    if (found == groupOf_.end()) return {};
    std::vector<std::string> others = std::move(groups_[found->second]);
    groupOf_.erase(found);
    const auto listed = std::find(others.begin(), others.end(), name);
    if (listed != others.end()) others.erase(listed);  // the one the reader gave
    return others;
}

}  // namespace tabulon::archives
