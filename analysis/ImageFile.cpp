#include "ImageFile.h"

#include "AnalysisStopped.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
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

OpenResult ImageFile::Open(const std::string& path) {
    CloseAll();
    if (path.empty()) return RefuseErrno(ENOENT);
    return OpenRegular(path);
}

OpenResult ImageFile::OpenRegular(const std::string& path) {
    // Look before opening, so that no device or FIFO is ever opened at all.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return RefuseErrno(errno);
    if (auto refused = CheckStatus(status); !refused.Opened()) return refused;

    // O_NONBLOCK: should the name have become a FIFO since the look, the open
    // still returns at once, and the second look in Adopt refuses it. Reads of a
    // regular file never block, so the flag can stay.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen()) return RefuseErrno(errno);
    OpenResult adopted = Adopt(std::move(file));
    if (adopted.Opened()) name_ = path.substr(path.find_last_of('/') + 1);  // npos + 1: all of it
    return adopted;
}

void ImageFile::SetSiblings(std::shared_ptr<SiblingFiles> siblings) { siblings_ = std::move(siblings); }

OpenResult ImageFile::Adopt(FileDescriptor file) {
    CloseAll();
    if (!file.IsOpen()) return RefuseErrno(EBADF);
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) return RefuseErrno(errno);
    if (auto refused = CheckStatus(status); !refused.Opened()) return refused;
    file_ = std::move(file);
    length_ = static_cast<std::int32_t>(status.st_size);
    return {};
}

std::int32_t ImageFile::Length() const {
    if (!file_.IsOpen()) throw AnalysisStopped(AnalysisStopped::Reason::NoOpenFile);
    return length_;
}

std::optional<std::span<const std::uint8_t>> ImageFile::Head(int& error) {
    if (!file_.IsOpen()) {
        error = EBADF;
        return std::nullopt;
    }
    if (!headRead_) {
        head_.resize(static_cast<std::size_t>(std::min<std::int64_t>(length_, DiskData::kBlockSize)));
        for (std::size_t done = 0; done < head_.size();) {
            const ssize_t got =
                ::pread(file_.Get(), head_.data() + done, head_.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = errno;
                head_.clear();
                return std::nullopt;
            }
            if (got == 0) {  // shorter than when it was opened: the load step tells
                head_.resize(done);
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        headRead_ = true;
    }
    return std::span<const std::uint8_t>(head_);
}

DiskData ImageFile::Load() {
    const std::int32_t length = Length();
    DiskData data = DiskData::FromFile(Release(), length, std::move(head_));
    data.SetSiblings(name_, siblings_);
    CloseAll();
    data.ReadFirstBlock();
    return data;
}

}  // namespace tabulon
