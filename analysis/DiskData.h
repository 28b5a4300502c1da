#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tabulon {

// The whole image in memory: indices 0 to FileLength, where the element at
// FileLength is a spare byte that is always 0. Every read of image bytes goes
// through At(), which stops the analysis on an index outside that range.
class DiskData {
public:
    DiskData() = default;

    // Replaces the whole contents with fileLength + 1 zero bytes; returns the
    // first fileLength of them for the caller to fill from the file.
    std::span<std::uint8_t> Reset(std::int32_t fileLength);

    // Convenience for tests and tools: the given bytes followed by the spare 0.
    static DiskData FromBytes(std::span<const std::uint8_t> bytes);

    std::int32_t FileLength() const noexcept { return fileLength_; }

    // The byte at index, 0 <= index <= FileLength; throws AnalysisStopped otherwise.
    std::uint8_t At(std::int64_t index) const;

    // The loaded bytes, spare byte excluded, for read-only whole-image use.
    std::span<const std::uint8_t> Bytes() const noexcept;

private:
    std::vector<std::uint8_t> bytes_;  // FileLength + 1 elements once loaded
    std::int32_t fileLength_ = 0;
};

}  // namespace tabulon
