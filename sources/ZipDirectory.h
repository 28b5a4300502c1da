#pragma once
// Inside tabulon-archives.so: the names a zip's central directory gives to data
// an earlier entry already stands for (entries that share one local header).
// libarchive lists such data once, under the first name; unzip lists every name.

#include <map>
#include <string>
#include <vector>

namespace tabulon::archives {

class SharedNames {
public:
    // From the central directory of the zip open on fd; none when it cannot be
    // read (the archive reader then says why).
    static SharedNames Read(int fd);

    // The other names of the data the entry named name stands for, in the
    // directory's order; each name is handed out once.
    std::vector<std::string> Take(const char* name);

private:
    std::map<std::string, std::vector<std::string>> others_;
};

}  // namespace tabulon::archives
