#include "ImagePath.h"

#include "ContainerList.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace tabulon {

namespace {

constexpr int kMaxFolderEntries = 10000;  // looked at for a set of files

// The files of one folder, opened by name when asked for.
class FolderFiles final : public SiblingFiles {
public:
    explicit FolderFiles(std::string folder) : folder_(std::move(folder)) {}

    std::optional<DiskData> Open(const std::string& name) const override {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
        ImageFile file;
        if (!file.Open(folder_ + "/" + name).Opened()) return std::nullopt;
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

// The names in a folder, at most kMaxFolderEntries of them.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = ::readdir(listing)) {
        if (names.size() >= kMaxFolderEntries) break;
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
    struct stat status {};
    if (!path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        if (const auto first = FirstOfSet(NamesIn(path))) return OpenWithSiblings(path + "/" + *first, path, file);
    }
    return OpenWithSiblings(path, FolderOf(path), file);
}

}  // namespace tabulon
