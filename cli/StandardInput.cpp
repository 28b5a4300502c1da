#include "StandardInput.h"

#include "ShownName.h"

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

// A new file with no name in folder, readable and writable by this process only:
// an O_TMPFILE where the file system has it, otherwise a named file removed at
// once. On failure errno says why.
FileDescriptor UnnamedTemporaryFile(const std::string& folder) {
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

}  // namespace

OpenResult SpoolInto(ImageFile& file, const ReadSome& read, std::int64_t maxLength,
                     const std::vector<std::string>& folders) {
    FileDescriptor copy;
    std::string folder;
    std::string refusals;  // "/x (No such file or directory) or /tmp (Permission denied)"
    for (const std::string& candidate : folders) {
        copy = UnnamedTemporaryFile(candidate);
        if (copy.IsOpen()) {
            folder = candidate;
            break;
        }
        const std::string reason = std::strerror(errno);
        refusals += (refusals.empty() ? "" : " or ") + ShownName(candidate) + " (" + reason + ")";
    }
    if (!copy.IsOpen()) return {OpenFailure::CannotOpen, "cannot make a temporary copy in " + refusals};
    std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
    std::int64_t total = 0;
    for (;;) {
        const std::int64_t got = read(buffer);
        if (got < 0) return Refuse(OpenFailure::CannotOpen, errno);
        if (got == 0) break;
        total += got;
        if (total > maxLength) return {OpenFailure::TooLarge, "File too large"};
        if (!WriteAll(copy.Get(), buffer.data(), static_cast<std::size_t>(got))) {
            const std::string reason = std::strerror(errno);
            return {OpenFailure::CannotOpen, "cannot write the temporary copy in " + ShownName(folder) + ": " + reason};
        }
    }
    return file.Adopt(std::move(copy));
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

}  // namespace tabulon::cli
