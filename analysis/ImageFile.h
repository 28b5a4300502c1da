#pragma once

#include "DiskData.h"

#include <cstdint>
#include <span>
#include <string>

namespace tabulon {

// Why an image could not be opened.
enum class OpenFailure {
    None,
    CannotOpen,      // the system refused: no such file, permission denied, bad name...
    IsDirectory,
    NotRegularFile,  // FIFO, socket, device: reading one could block or never end
    TooLarge,        // longer than a signed 32-bit length can count
};

struct OpenResult {
    OpenFailure Failure = OpenFailure::None;
    std::string Reason;  // the system's wording, for messages; empty on success

    bool Opened() const noexcept { return Failure == OpenFailure::None; }
};

// The program's one open-file slot ("file 1"). It only ever reads, holds at most
// one image, and releases the descriptor when closed or destroyed.
class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Closes the slot if it is open.
    void CloseAll() noexcept;

    // Closes all, then opens path for reading. Only existing regular files of at
    // most 2,147,483,647 bytes are accepted; nothing is ever created or written.
    OpenResult Open(const std::string& path);

    bool IsOpen() const noexcept { return fd_ >= 0; }

    // The open file's length in bytes. Throws AnalysisStopped when nothing is
    // open, or when the file has grown past a 32-bit length since it was opened.
    std::int32_t Length() const;

    // Reads from the file's first byte into target until target is full or the
    // file ends; returns the count read. On an input/output error the file is
    // closed at once and AnalysisStopped is thrown.
    std::size_t ReadFromStart(std::span<std::uint8_t> target);

private:
    int fd_ = -1;
};

// The load step: DiskData becomes the open file's bytes plus the spare 0, and
// the file is closed. Throws AnalysisStopped when no file is open or on a read error.
void LoadDiskData(ImageFile& file, DiskData& data);

}  // namespace tabulon
