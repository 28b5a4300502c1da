#include "ImageFile.h"

#include "AnalysisStopped.h"
#include "KryoFluxImage.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
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

constexpr int kMaxFolderEntries = 10000;  // looked at for a stream set

// The files of one folder, opened by name when asked for.
class FolderFiles final : public SiblingFiles {
public:
    explicit FolderFiles(std::string folder) : folder_(std::move(folder)) {}

    // No such file: nothing. A file that is there but cannot be read as an
    // image (a folder, a FIFO, no permission, a loop of links) stops the
    // analysis as a read error, rather than passing for a track not captured.
    std::optional<DiskData> Open(const std::string& name) const override {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
        const std::string path = folder_ + "/" + name;
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
        ImageFile file;
        if (S_ISDIR(status.st_mode) || !file.Open(path).Opened())
            throw AnalysisStopped(AnalysisStopped::Reason::ReadError);
        const std::int32_t length = file.Length();
        return DiskData::FromFile(file.Release(), length);
    }

private:
    std::string folder_;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The first track file of a KryoFlux stream set in the folder (the lowest
// track, side 0 first) that is a regular file this process may read, or
// nothing; an entry that is not passes to the next.
std::optional<std::string> FirstStreamIn(const std::string& folder) {
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr) return std::nullopt;
    std::optional<std::string> first;
    std::tuple<int, int, std::string> firstKey;
    int entries = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (++entries > kMaxFolderEntries) break;
        const std::string name = entry->d_name;
        const auto stream = ParseStreamName(name);
        struct stat status {};
        const int at = ::dirfd(listing);
        if (!stream || ::fstatat(at, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode) ||
            ::faccessat(at, entry->d_name, R_OK, 0) != 0) {
            continue;
        }
        std::tuple<int, int, std::string> key{stream->Cylinder, stream->Side, name};
        if (!first || key < firstKey) {
            first = name;
            firstKey = std::move(key);
        }
    }
    ::closedir(listing);
    return first;
}

}  // namespace

OpenResult ImageFile::Open(const std::string& path) {
    CloseAll();
    if (path.empty()) return RefuseErrno(ENOENT);

    // Look before opening, so that no device or FIFO is ever opened at all.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return RefuseErrno(errno);
    if (S_ISDIR(status.st_mode)) {
        const auto stream = FirstStreamIn(path);
        if (!stream) return CheckStatus(status);
        return OpenRegular(path + "/" + *stream);
    }
    return OpenRegular(path);
}

OpenResult ImageFile::OpenRegular(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return RefuseErrno(errno);
    if (auto refused = CheckStatus(status); !refused.Opened()) return refused;

    // O_NONBLOCK: should the name have become a FIFO since the look, the open
    // still returns at once, and the second look in Adopt refuses it. Reads of a
    // regular file never block, so the flag can stay.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen()) return RefuseErrno(errno);
    OpenResult adopted = Adopt(std::move(file));
    if (adopted.Opened()) {
        name_ = path.substr(path.find_last_of('/') + 1);  // npos + 1: all of it
        siblings_ = std::make_shared<FolderFiles>(FolderOf(path));
    }
    return adopted;
}

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

void LoadDiskData(ImageFile& file, DiskData& data) {
    const std::int32_t length = file.Length();
    data = DiskData::FromFile(file.Release(), length);
    data.SetSiblings(file.Name(), file.Siblings());
    data.ReadFirstBlock();
}

}  // namespace tabulon
