#pragma once

#include "FileDescriptor.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tabulon {

// An unnamed temporary file being filled: in the first of folders that takes
// one, moved on to the next folder (with what it holds so far) as soon as a
// write fails, so that a full or read-only TMPDIR falls back on /tmp. Zeros,
// written or left between writes, take no room.
class TemporaryCopy {
public:
    explicit TemporaryCopy(std::vector<std::string> folders) : folders_(std::move(folders)) {}

    // Makes the file; on failure Error() names every folder tried.
    bool Open();

    // Writes bytes at offset; false once no folder can take them.
    bool WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes);

    // Makes the file at least length bytes long and as long as what was
    // written (holes read as zeros); false once no folder can take it.
    bool Extend(std::int64_t length);

    // Extends the file so, and hands it over, read from its start.
    FileDescriptor Finish(std::int64_t length);

    // While it is being filled: the file as it is now (another one once a
    // folder fails), and where what was written ends.
    int Descriptor() const noexcept { return file_.Get(); }
    std::int64_t End() const noexcept { return end_; }

    const std::string& Error() const noexcept { return error_; }

private:
    bool MoveOn();  // to the next folder, with the bytes written so far

    std::vector<std::string> folders_;
    std::size_t next_ = 0;  // the next folder to try
    FileDescriptor file_;
    std::string folder_;
    std::int64_t end_ = 0;  // past the last byte written
    std::string error_;
    std::string refusals_;  // "/x (No space left on device) or /tmp (Permission denied)"
};

}  // namespace tabulon
