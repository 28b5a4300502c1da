#include "ArchiveLoader.h"

#include <array>
#include <climits>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef TABULON_ARCHIVES_LINKED
// Linked in where nothing can be loaded (the web page): its entry point as it is.
extern "C" int tabulon_read_archive_v3(int fd, int compressed, const tabulon_member_calls* calls, char* error,
                                       size_t errorSize);

tabulon_read_archive_fn tabulon::LoadArchiveReader(std::string& error) {
    error.clear();
    return tabulon_read_archive_v3;
}
#else

namespace tabulon {

namespace {

// The folder of the running program, through /proc (the name it was started by may be relative or gone);
// empty when it cannot be known: never the current folder, whose files no one vouches for.
std::string ProgramFolder() {
    std::array<char, PATH_MAX> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return {};
    const std::string program(path.data(), static_cast<std::size_t>(length));
    return program.substr(0, program.rfind('/'));
}

struct Loaded {
    tabulon_read_archive_fn Entry = nullptr;
    std::string Error;
};

Loaded Load() {
    const std::string folder = ProgramFolder();
    Loaded loaded;
    if (folder.empty()) {
        loaded.Error = "the archive reader cannot be found: the program's own folder is unknown (no /proc)";
        return loaded;
    }
    std::string tried;
    for (const std::string& candidate :
         {folder + "/" TABULON_ARCHIVES_MODULE, folder + "/" TABULON_ARCHIVES_DIR "/" TABULON_ARCHIVES_MODULE}) {
        struct stat status {};
        if (::stat(candidate.c_str(), &status) != 0) {
            tried += (tried.empty() ? "" : " or ") + candidate;
            continue;
        }
        void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* why = ::dlerror();
            loaded.Error = "the archive reader cannot be loaded: " + std::string(why != nullptr ? why : candidate);
            return loaded;
        }
        // The module stays loaded to the program's end.
        loaded.Entry = reinterpret_cast<tabulon_read_archive_fn>(::dlsym(module, TABULON_ARCHIVES_ENTRY));
        if (loaded.Entry == nullptr) loaded.Error = "the archive reader in " + candidate + " is not this version's";
        return loaded;
    }
    loaded.Error = "the archive reader is not installed (no " + tried + ")";
    return loaded;
}

}  // namespace

tabulon_read_archive_fn LoadArchiveReader(std::string& error) {
    static const Loaded loaded = Load();
    error = loaded.Error;
    return loaded.Entry;
}

}  // namespace tabulon
#endif
