#pragma once

#include "FuzzCheck.h"

#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace tabulon::fuzz {

// The image as a real file, in memory: the analysis opens and loads it like any other.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
        : fd_(::memfd_create("image", MFD_CLOEXEC)), size_(static_cast<std::int64_t>(size)) {
        Check(fd_ >= 0, "memfd_create");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t wrote = ::write(fd_, data + done, size - done);
            Check(wrote > 0, "write");
            done += static_cast<std::size_t>(wrote);
        }
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
    std::int64_t Size() const { return size_; }

private:
    int fd_;
    std::int64_t size_;
};

}  // namespace tabulon::fuzz
