#include "StandardInput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tabulon::cli {

namespace {

OpenResult Refuse(OpenFailure failure, int error) { return {failure, std::strerror(error)}; }

std::string TemporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

// A new file with no name, readable and writable by this process only: an
// O_TMPFILE where the file system has it, otherwise a named file removed at once.
FileDescriptor UnnamedTemporaryFile() {
    const std::string folder = TemporaryFolder();
    FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.IsOpen()) return file;
    std::string name = folder + "/tabulon-stdin-XXXXXX";
    file = FileDescriptor(::mkostemp(name.data(), O_CLOEXEC));
    if (file.IsOpen()) ::unlink(name.c_str());
    return file;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = ENOSPC;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies everything readable from fd into a temporary file, stopping as soon as
// there is more than maxLength bytes.
OpenResult Spool(ImageFile& file, int fd, std::int64_t maxLength) {
    FileDescriptor copy = UnnamedTemporaryFile();
    if (!copy.IsOpen()) return Refuse(OpenFailure::CannotOpen, errno);
    std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
    std::int64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Refuse(OpenFailure::CannotOpen, errno);
        if (got == 0) break;
        total += got;
        if (total > maxLength) return {OpenFailure::TooLarge, "File too large"};
        if (!WriteAll(copy.Get(), buffer.data(), static_cast<std::size_t>(got))) {
            return Refuse(OpenFailure::CannotOpen, errno);
        }
    }
    return file.Adopt(std::move(copy));
}

}  // namespace

OpenResult OpenStandardInput(ImageFile& file, int fd, std::int64_t maxLength) {
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
    return Spool(file, fd, maxLength);
}

}  // namespace tabulon::cli
