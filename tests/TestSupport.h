#pragma once

#include "Analysis.h"
#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabulon::test {

using Bytes = std::vector<std::uint8_t>;

// Raw image bytes built piece by piece: Raw().Fill(5000, 0).Put({0xA1, ...}).
class Raw {
public:
    Raw& Fill(std::size_t count, std::uint8_t value) {
        bytes_.insert(bytes_.end(), count, value);
        return *this;
    }
    Raw& Put(std::initializer_list<std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes);
        return *this;
    }
    Raw& Put(std::span<const std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Overwrites bytes at an offset, growing the image with zeros when needed.
    Raw& At(std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
        if (bytes_.size() < offset + bytes.size()) bytes_.resize(offset + bytes.size(), 0);
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
        return *this;
    }
    Raw& Resize(std::size_t size, std::uint8_t value = 0) {
        bytes_.resize(size, value);
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }
    DiskData Data() const { return DiskData::FromBytes(bytes_); }

private:
    Bytes bytes_;
};

inline constexpr std::initializer_list<std::uint8_t> kDmkPattern = {0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x02};

// The image opened as the first container that takes it: its system sector
// found, or its tracks listed; nothing when no container takes it.
std::optional<SectorLocation> FindSystemSector(DiskData& image);
TrackList ListTracks(DiskData& image, TrackDetail detail = TrackDetail::IdsOnly);
inline std::optional<SectorLocation> FindSystemSector(DiskData&& image) { return FindSystemSector(image); }

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path Write(const std::string& name, std::span<const std::uint8_t> bytes) const;

private:
    std::filesystem::path path_;
};

// Folders the build tells the tests about.
std::filesystem::path SamplesDir();
std::filesystem::path SharedDir();      // ../shared beside the project; empty when it is not there
std::filesystem::path RealImagesDir();  // empty when the shared images are not there

// The lines a finished report leaves, blank ones included: 21 for a drive
// report, 11 not Newdos, 10 not found, each 3 more after the DMK scan's switch lines.
constexpr std::size_t ReportLines(Outcome outcome, bool switchLines = false) {
    const std::size_t lines = outcome == Outcome::DriveReport ? 21 : outcome == Outcome::NotNewdos ? 11 : 10;
    return switchLines ? lines + 3 : lines;
}
constexpr std::size_t kReportLines = ReportLines(Outcome::DriveReport);
constexpr std::size_t kNotFoundLines = ReportLines(Outcome::NotFound, true);  // scans: always after the switch lines

// One image of each outcome the byte scans give, for every layer that draws a report.
struct OutcomeImage {
    const char* Name;
    std::vector<std::uint8_t> Image;
    Outcome Result;
    bool SwitchLines;  // found by the JV scan, or not found
};
const std::vector<OutcomeImage>& OutcomeImages();

}  // namespace tabulon::test

// Declares dir as the shared real images' folder, or skips the test when it is not there.
#define TABULON_REAL_IMAGES(dir)                                        \
    const std::filesystem::path dir = ::tabulon::test::RealImagesDir(); \
    if (dir.empty()) GTEST_SKIP() << "the shared real images are not here"

namespace tabulon::test {

Bytes ReadWholeFile(const std::filesystem::path& path);

}  // namespace tabulon::test
