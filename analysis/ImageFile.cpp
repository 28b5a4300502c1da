#include "ImageFile.h"

#include "AnalysisStopped.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {

namespace {

constexpr auto kMaxLength = std::numeric_limits<std::int32_t>::max();

OpenResult Refuse(OpenFailure failure, const char* reason) { return {failure, reason}; }

OpenResult RefuseErrno(int error) {
    if (error == EISDIR) return Refuse(OpenFailure::IsDirectory, std::strerror(error));
    if (error == EFBIG || error == EOVERFLOW) return Refuse(OpenFailure::TooLarge, "File too large");
    return Refuse(OpenFailure::CannotOpen, std::strerror(error));
}

// What the file's status says against using it as an image; None when it is fine.
OpenResult CheckStatus(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return Refuse(OpenFailure::IsDirectory, "Is a directory");
    if (!S_ISREG(status.st_mode)) return Refuse(OpenFailure::NotRegularFile, "Not a regular file");
    if (status.st_size > kMaxLength) return Refuse(OpenFailure::TooLarge, "File too large");
    return {};
}

}  // namespace

ImageFile::~ImageFile() { CloseAll(); }

void ImageFile::CloseAll() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

OpenResult ImageFile::Open(const std::string& path) {
    CloseAll();
    if (path.empty()) return RefuseErrno(ENOENT);

    // Look before opening, so that no device or FIFO is ever opened at all.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return RefuseErrno(errno);
    if (auto refused = CheckStatus(status); !refused.Opened()) return refused;

    // O_NONBLOCK: should the name have become a FIFO since the look, the open
    // still returns at once, and the second look below refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return RefuseErrno(errno);
    fd_ = fd;
    if (::fstat(fd_, &status) != 0) {
        const int error = errno;
        CloseAll();
        return RefuseErrno(error);
    }
    if (auto refused = CheckStatus(status); !refused.Opened()) {
        CloseAll();
        return refused;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return {};
}

std::int32_t ImageFile::Length() const {
    if (fd_ < 0) throw AnalysisStopped(AnalysisStopped::Reason::NoOpenFile);
    struct stat status {};
    if (::fstat(fd_, &status) != 0 || status.st_size > kMaxLength || status.st_size < 0) {
        throw AnalysisStopped(AnalysisStopped::Reason::ReadError);
    }
    return static_cast<std::int32_t>(status.st_size);
}

std::size_t ImageFile::ReadFromStart(std::span<std::uint8_t> target) {
    if (fd_ < 0) throw AnalysisStopped(AnalysisStopped::Reason::NoOpenFile);
    std::size_t done = 0;
    while (done < target.size()) {
        const ssize_t got = ::pread(fd_, target.data() + done, target.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            CloseAll();
            throw AnalysisStopped(AnalysisStopped::Reason::ReadError);
        }
        if (got == 0) break;  // end of file: the rest stays 0
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void LoadDiskData(ImageFile& file, DiskData& data) {
    const std::int32_t length = file.Length();
    // Only the file's own bytes are read, so the spare element stays 0 even if
    // the file grew since its length was taken.
    file.ReadFromStart(data.Reset(length));
    file.CloseAll();
}

}  // namespace tabulon
