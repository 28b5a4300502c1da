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

    // The other names the directory gives to the data the reader listed as name
    // (the local header's name, one of them), in the directory's order; handed out once.
    std::vector<std::string> Take(const char* name);

private:
    std::vector<std::vector<std::string>> groups_;  // the names of each local header listed more than once
    std::map<std::string, std::size_t> groupOf_;
};

}  // namespace tabulon::archives
