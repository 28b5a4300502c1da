#include "TemporaryCopy.h"

#include "ShownName.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tabulon {

namespace {

// A new file with no name in folder, readable and writable by this process only:
// an O_TMPFILE where the file system has it, otherwise a named file removed at
// once. On failure errno says why.
FileDescriptor UnnamedTemporaryFile(const std::string& folder) {
    FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.IsOpen()) return file;
    std::string name = folder + "/tabulon-XXXXXX";
    file = FileDescriptor(::mkostemp(name.data(), O_CLOEXEC));
    if (file.IsOpen()) ::unlink(name.c_str());
    return file;
}

bool WriteAll(int fd, std::int64_t offset, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = ENOSPC;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

bool TemporaryCopy::Open() { return MoveOn(); }

bool TemporaryCopy::MoveOn() {
    FileDescriptor earlier = std::move(file_);
    while (next_ < folders_.size()) {
        const std::string& candidate = folders_[next_++];
        FileDescriptor file = UnnamedTemporaryFile(candidate);
        if (!file.IsOpen()) {
            refusals_ += (refusals_.empty() ? "" : " or ") + ShownName(candidate) + " (" + std::strerror(errno) + ")";
            continue;
        }
        // What the earlier folder holds, zeros left as holes.
        std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
        bool copied = true;
        for (std::int64_t at = 0; copied && at < end_;) {
            const ssize_t got = ::pread(earlier.Get(), buffer.data(), buffer.size(), at);
            if (got == 0) break;  // a hole to the end
            if (got < 0) {
                if (errno == EINTR) continue;
                error_ = std::string("cannot read the temporary copy back: ") + std::strerror(errno);
                return false;
            }
            const std::span<const std::uint8_t> part(buffer.data(), static_cast<std::size_t>(got));
            copied = AllZero(part) || WriteAll(file.Get(), at, part);
            at += got;
        }
        if (!copied) {
            refusals_ += (refusals_.empty() ? "" : " or ") + ShownName(candidate) + " (" + std::strerror(errno) + ")";
            continue;
        }
        file_ = std::move(file);
        folder_ = candidate;
        return true;
    }
    error_ = "cannot make a temporary copy in " + refusals_;
    return false;
}

bool TemporaryCopy::WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
    // Zeros are left as a hole: a blank disk, or a bomb of zeros, takes no room.
    while (!AllZero(bytes) && !WriteAll(file_.Get(), offset, bytes)) {
        refusals_ += (refusals_.empty() ? "" : " or ") + ShownName(folder_) + " (" + std::strerror(errno) + ")";
        if (!MoveOn()) return false;
    }
    end_ = std::max(end_, offset + static_cast<std::int64_t>(bytes.size()));
    return true;
}

bool TemporaryCopy::Extend(std::int64_t length) {
    while (::ftruncate(file_.Get(), std::max(length, end_)) != 0) {
        refusals_ += (refusals_.empty() ? "" : " or ") + ShownName(folder_) + " (" + std::strerror(errno) + ")";
        if (!MoveOn()) return false;
    }
    return true;
}

FileDescriptor TemporaryCopy::Finish(std::int64_t length) {
    if (!Extend(length)) return {};
    if (::lseek(file_.Get(), 0, SEEK_SET) != 0) {
        error_ = std::string("cannot read the temporary copy: ") + std::strerror(errno);
        return {};
    }
    return std::move(file_);
}

}  // namespace tabulon
