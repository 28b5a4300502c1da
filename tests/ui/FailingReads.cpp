// A library to preload (LD_PRELOAD) in tests: preadv and pread on a file whose name
// contains "unreadable" behave as a disk with a bad block at offset 16,384. A
// read that starts before it stops short there, one that starts there or later
// fails with EIO. On a file whose name contains "flaky" the first read of any
// kind fails with EIO and the others succeed (an error that comes and goes).
// Writes to a file in a folder named "full" fail with ENOSPC once it would pass
// 64 KiB (a full TMPDIR). Every other file reads and writes as usual.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr off_t kBadFrom = 16 * 1024;
constexpr const char* kMarkedName = "unreadable";

using Preadv = ssize_t (*)(int, const iovec*, int, off_t);
using Pread = ssize_t (*)(int, void*, std::size_t, off_t);
using Pwrite = ssize_t (*)(int, const void*, std::size_t, off_t);
using Write = ssize_t (*)(int, const void*, std::size_t);

constexpr const char* kFlakyName = "flaky";
constexpr const char* kFullFolder = "/full/";
constexpr off_t kFullAt = 64 * 1024;

// The path open on fd, or an empty string.
std::string PathOf(int fd) {
    std::array<char, 64> link{};
    std::snprintf(link.data(), link.size(), "/proc/self/fd/%d", fd);
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(link.data(), target.data(), target.size() - 1);
    return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length)) : std::string();
}

// Whether this read is the first one on a flaky file (which then fails).
bool FlakyFails(int fd) {
    static bool failed = false;
    const std::string path = PathOf(fd);
    if (failed || path.find(kFlakyName, path.rfind('/')) == std::string::npos) return false;
    failed = true;
    errno = EIO;
    return true;
}

// Whether a write of count bytes at offset to fd finds its folder full.
bool Full(int fd, off_t offset, std::size_t count) {
    if (PathOf(fd).find(kFullFolder) == std::string::npos) return false;
    if (offset < 0) offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset + static_cast<off_t>(count) <= kFullAt) return false;
    errno = ENOSPC;
    return true;
}

bool Marked(int fd) {
    std::array<char, 64> link{};
    std::snprintf(link.data(), link.size(), "/proc/self/fd/%d", fd);
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(link.data(), target.data(), target.size() - 1);
    if (length <= 0) return false;
    const char* const name = std::strrchr(target.data(), '/');
    return std::strstr(name != nullptr ? name : target.data(), kMarkedName) != nullptr;
}

ssize_t Read(Preadv real, int fd, const iovec* parts, int count, off_t offset) {
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (FlakyFails(fd)) return -1;
    if (!Marked(fd)) return real(fd, parts, count, offset);
    if (offset >= kBadFrom) {
        errno = EIO;
        return -1;
    }
    // Only the bytes before the bad block: the parts cut to that length.
    std::array<iovec, IOV_MAX> kept{};
    auto room = static_cast<std::size_t>(kBadFrom - offset);
    int used = 0;
    for (int n = 0; n < count && n < IOV_MAX && room > 0; ++n, ++used) {
        kept[static_cast<std::size_t>(n)] = {parts[n].iov_base, std::min(parts[n].iov_len, room)};
        room -= kept[static_cast<std::size_t>(n)].iov_len;
    }
    return real(fd, kept.data(), used, offset);
}

template <class Function = Preadv>
Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

ssize_t ReadAt(Pread real, int fd, void* bytes, std::size_t count, off_t offset) {
    if (FlakyFails(fd)) return -1;
    if (!Marked(fd)) return real(fd, bytes, count, offset);
    if (offset >= kBadFrom) {
        errno = EIO;
        return -1;
    }
    return real(fd, bytes, std::min(count, static_cast<std::size_t>(kBadFrom - offset)), offset);
}

ssize_t WriteAt(Pwrite real, int fd, const void* bytes, std::size_t count, off_t offset) {
    if (Full(fd, offset, count)) return -1;
    return real(fd, bytes, count, offset);
}

}  // namespace

extern "C" ssize_t preadv(int fd, const iovec* parts, int count, off_t offset) {
    static const Preadv real = Next("preadv");
    return Read(real, fd, parts, count, offset);
}

extern "C" ssize_t preadv64(int fd, const iovec* parts, int count, off_t offset) {
    static const Preadv real = Next("preadv64");
    return Read(real, fd, parts, count, offset);
}

extern "C" ssize_t pread(int fd, void* bytes, std::size_t count, off_t offset) {
    static const auto real = Next<Pread>("pread");
    return ReadAt(real, fd, bytes, count, offset);
}

extern "C" ssize_t pread64(int fd, void* bytes, std::size_t count, off_t offset) {
    static const auto real = Next<Pread>("pread64");
    return ReadAt(real, fd, bytes, count, offset);
}

extern "C" ssize_t pwrite(int fd, const void* bytes, std::size_t count, off_t offset) {
    static const auto real = Next<Pwrite>("pwrite");
    return WriteAt(real, fd, bytes, count, offset);
}

extern "C" ssize_t pwrite64(int fd, const void* bytes, std::size_t count, off_t offset) {
    static const auto real = Next<Pwrite>("pwrite64");
    return WriteAt(real, fd, bytes, count, offset);
}

extern "C" ssize_t write(int fd, const void* bytes, std::size_t count) {
    static const auto real = Next<Write>("write");
    if (Full(fd, -1, count)) return -1;
    return real(fd, bytes, count);
}
