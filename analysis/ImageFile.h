#pragma once

#include "DiskData.h"
#include "FileDescriptor.h"
#include "ImageSource.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabulon {

// Why an image could not be opened.
enum class OpenFailure {
    None,
    CannotOpen,  // the system refused: no such file, permission denied, bad name...
    IsDirectory,
    NotRegularFile,  // FIFO, socket, device: reading one could block or never end
    TooLarge,        // longer than a signed 32-bit length can count
};

struct OpenResult {
    OpenFailure Failure = OpenFailure::None;
    std::string Reason;  // the system's wording, for messages; empty on success

    bool Opened() const noexcept { return Failure == OpenFailure::None; }
};

// The program's one open-file slot ("file 1"): an image opened by name. It only
// ever reads, holds at most one image, and releases the descriptor when closed
// or destroyed.
class ImageFile final : public ImageSource {
public:
    // Closes the slot if it is open.
    void CloseAll() noexcept {
        file_.Close();
        head_.clear();
        headRead_ = false;
        name_.clear();
        siblings_.reset();
    }

    // Closes all, then opens path for reading. Only existing regular files of at
    // most 2,147,483,647 bytes are accepted; nothing is ever created or written.
    OpenResult Open(const std::string& path);

    // Closes all, then takes over a descriptor opened elsewhere (standard input,
    // or the temporary file it was copied into), under the same rules as Open.
    OpenResult Adopt(FileDescriptor file);

    bool IsOpen() const noexcept { return file_.IsOpen(); }
    int Descriptor() const noexcept { return file_.Get(); }  // -1 when closed

    // The open file's length in bytes, as it was when it was opened. Throws
    // AnalysisStopped when nothing is open.
    std::int32_t Length() const;

    // Hands the open file over, leaving the slot closed.
    FileDescriptor Release() noexcept { return std::move(file_); }

    // The open file's first bytes (a block at most), read once and kept for the
    // load step, so that looking at them costs no second read. Nothing when they
    // cannot be read, error saying why.
    std::optional<std::span<const std::uint8_t>> Head(int& error);

    // The load step: the open file's bytes plus the spare 0, read on demand; the
    // slot is closed. The first block is read at once, so an unreadable file
    // stops here. Throws AnalysisStopped when no file is open or on a read error.
    DiskData Load() override;

    // The files beside the open one, reachable by name from its bytes (none unless set).
    void SetSiblings(std::shared_ptr<SiblingFiles> siblings);

    // The open file's own name and the files beside it (none for an adopted descriptor).
    const std::string& Name() const noexcept { return name_; }
    const std::shared_ptr<SiblingFiles>& Siblings() const noexcept { return siblings_; }

private:
    OpenResult OpenRegular(const std::string& path);

    FileDescriptor file_;
    std::int32_t length_ = 0;
    std::vector<std::uint8_t> head_;
    bool headRead_ = false;
    std::string name_;
    std::shared_ptr<SiblingFiles> siblings_;
};

}  // namespace tabulon
