// A library to preload (LD_PRELOAD) in tests: preadv on a file whose name
// contains "unreadable" behaves as a disk with a bad block at offset 16,384. A
// read that starts before it stops short there, one that starts there or later
// fails with EIO. Every other file reads as usual.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr off_t kBadFrom = 16 * 1024;
constexpr const char* kMarkedName = "unreadable";

using Preadv = ssize_t (*)(int, const iovec*, int, off_t);

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

Preadv Next(const char* name) { return reinterpret_cast<Preadv>(::dlsym(RTLD_NEXT, name)); }

}  // namespace

extern "C" ssize_t preadv(int fd, const iovec* parts, int count, off_t offset) {
    static const Preadv real = Next("preadv");
    return Read(real, fd, parts, count, offset);
}

extern "C" ssize_t preadv64(int fd, const iovec* parts, int count, off_t offset) {
    static const Preadv real = Next("preadv64");
    return Read(real, fd, parts, count, offset);
}
