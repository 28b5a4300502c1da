#include "ImagePath.h"

#include "AnalysisStopped.h"
#include "ContainerList.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tabulon {

namespace {

constexpr int kMaxFolderEntries = 10000;  // looked at for a set of files

// The files of one folder, opened by name when asked for.
class FolderFiles final : public SiblingFiles {
public:
    explicit FolderFiles(std::string folder) : folder_(std::move(folder)) {}

    // No such file: nothing. A file that is there but cannot be read as an
    // image (a folder, a FIFO, no permission, a loop of links) stops the
    // analysis as a read error, rather than passing for a track not captured.
    std::optional<DiskData> Open(const std::string& name) override {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
        const std::string path = folder_ + "/" + name;
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
        ImageFile file;
        if (S_ISDIR(status.st_mode) || !file.Open(path).Opened()) {
            throw AnalysisStopped(AnalysisStopped::Reason::ReadError);
        }
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

// The names of the regular files this process may read in a folder, at most
// kMaxFolderEntries of them: an entry that is no such file is passed over, so
// that a set opens at its first file that can be read.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr) return names;
    const int at = ::dirfd(listing);
    for (int entries = 0; const dirent* entry = ::readdir(listing);) {
        if (++entries > kMaxFolderEntries) break;
        struct stat status {};
        if (::fstatat(at, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode) ||
            ::faccessat(at, entry->d_name, R_OK, 0) != 0) {
            continue;
        }
        names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    return names;
}

OpenResult OpenWithSiblings(const std::string& path, const std::string& folder, ImageFile& file) {
    OpenResult opened = file.Open(path);
    if (opened.Opened()) file.SetSiblings(std::make_shared<FolderFiles>(folder));
    return opened;
}

}  // namespace

OpenResult OpenImagePath(const std::string& path, ImageFile& file) {
    OpenResult opened = file.Open(path);
    if (opened.Failure == OpenFailure::IsDirectory) {
        if (const auto first = FirstOfSet(NamesIn(path))) return OpenWithSiblings(path + "/" + *first, path, file);
    } else if (opened.Opened()) {
        file.SetSiblings(std::make_shared<FolderFiles>(FolderOf(path)));
    }
    return opened;
}

}  // namespace tabulon
