#include "StandardInput.h"

#include "TemporaryCopy.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tabulon {

namespace {

OpenResult Refuse(OpenFailure failure, int error) { return {failure, std::strerror(error)}; }

}  // namespace

OpenResult SpoolInto(ImageFile& file, const ReadSome& read, std::int64_t maxLength,
                     const std::vector<std::string>& folders) {
    TemporaryCopy copy(folders);
    if (!copy.Open()) return {OpenFailure::CannotOpen, copy.Error()};
    std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
    std::int64_t total = 0;
    for (;;) {
        const std::int64_t got = read(buffer);
        if (got < 0) return Refuse(OpenFailure::CannotOpen, errno);
        if (got == 0) break;
        if (total + got > maxLength) return {OpenFailure::TooLarge, "File too large"};
        if (!copy.WriteAt(total, std::span(buffer).first(static_cast<std::size_t>(got)))) {
            return {OpenFailure::CannotOpen, copy.Error()};
        }
        total += got;
    }
    FileDescriptor whole = copy.Finish(total);
    if (!whole.IsOpen()) return {OpenFailure::CannotOpen, copy.Error()};
    return file.Adopt(std::move(whole));
}

std::vector<std::string> TemporaryFolders(const char* tmpdir) {
    std::vector<std::string> folders;
    if (tmpdir != nullptr && *tmpdir != '\0' && std::string_view(tmpdir) != kFallbackTemporaryFolder) {
        folders.emplace_back(tmpdir);
    }
    folders.emplace_back(kFallbackTemporaryFolder);
    return folders;
}

OpenResult OpenStandardInput(ImageFile& file, int fd, std::int64_t maxLength, const std::vector<std::string>& folders) {
    file.CloseAll();
    struct stat status {};
    if (::fstat(fd, &status) != 0) return Refuse(OpenFailure::CannotOpen, errno);
    if (S_ISDIR(status.st_mode)) return {OpenFailure::IsDirectory, "Is a directory"};
    if (S_ISREG(status.st_mode) && ::lseek(fd, 0, SEEK_CUR) == 0) {
        if (status.st_size > maxLength) return {OpenFailure::TooLarge, "File too large"};
        // A copy of the descriptor, so that the slot can close it without closing standard input.
        FileDescriptor own(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
        if (!own.IsOpen()) return Refuse(OpenFailure::CannotOpen, errno);
        return file.Adopt(std::move(own));
    }
    const auto readFd = [fd](std::span<std::uint8_t> buffer) -> std::int64_t {
        for (;;) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got >= 0 || errno != EINTR) return got;
        }
    };
    return SpoolInto(file, readFd, maxLength, folders);
}

}  // namespace tabulon
