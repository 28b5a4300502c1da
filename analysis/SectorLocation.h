#pragma once

#include "DiskData.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tabulon {

// How a format is named: its short name for scripts ("DMK", "JV3", ...) and the
// label the report prints ("   DMK Format", "   JV  Format", ...).
struct ImageFormat {
    std::string_view Name;
    std::string_view Label;
    friend bool operator==(const ImageFormat&, const ImageFormat&) = default;
};

// What the byte scans report: the DMK scan's finds as DMK, the JV scan's as JV3.
inline constexpr ImageFormat kDmkScanFormat{"DMK", "   DMK Format"};
inline constexpr ImageFormat kJvScanFormat{"JV3", "   JV  Format"};

// A sector as its ID field names it.
struct SectorPosition {
    int Cylinder = 0;
    int Side = 0;
    int Sector = 0;
    friend bool operator==(const SectorPosition&, const SectorPosition&) = default;
};

// Where NEWDOS/80 keeps its PDRIVE table: track 0, side 0, sector 2.
inline constexpr SectorPosition kSystemSector{0, 0, 2};

// How the sector was found: the fixed byte scans, or the container's own structure.
enum class LocateMethod { Scan, Structure };

// The bytes the PDRIVE slot is decoded from: the image itself, read in place
// from Base (the byte scans, which hand Base on unchecked), or the sector's own
// bytes taken out of its container, from Base 0. The byte after the last one
// is a spare 0, and reads past it stop the analysis; but a sector's own bytes
// that its track cut short (they end early only there) have no spare byte.
class SectorBytes {
public:
    SectorBytes(DiskData& image, std::int64_t base) : image_(&image), base_(base) {}
    explicit SectorBytes(std::vector<std::uint8_t> own, bool cutShort = false)
        : own_(std::move(own)), cutShort_(cutShort) {}

    // The byte at Base + offset.
    std::uint8_t At(std::int64_t offset);
    // The bytes from Base on into out, each as At would give it (and throwing where At would).
    void CopyTo(std::span<std::uint8_t> out);
    std::int64_t Base() const noexcept { return base_; }
    // Bytes available from Base, the spare byte excluded.
    std::int64_t Length() const noexcept;

    // Lets go of the image read in place, once its analysis is over: Base and
    // Length stay, and every read stops.
    void Detach() noexcept;

private:
    DiskData* image_ = nullptr;  // the image, while its analysis runs
    bool detached_ = false;
    std::int64_t detachedLength_ = 0;
    std::int64_t base_ = 0;
    std::vector<std::uint8_t> own_;
    bool cutShort_ = false;
};

// Where the data of track 0, side 0, sector 2 was found, and how.
struct SectorLocation {
    ImageFormat Format = kDmkScanFormat;
    LocateMethod Method = LocateMethod::Scan;
    std::int64_t FileOffset = 0;  // the sector's first data byte in the file (scans: Base, unchecked)
    SectorBytes Sector;
    std::optional<std::int64_t> SectorSize;  // as the container records it; nothing for the scans
    std::optional<bool> IdCrcOk;             // where the container keeps CRCs
    std::optional<bool> DataCrcOk;

    std::string_view FormatLabel() const { return Format.Label; }
    bool CrcOk() const { return IdCrcOk.value_or(true) && DataCrcOk.value_or(true); }
};

// Looks for the MFM ID field A1 A1 A1 FE 00 00 02 from offset 0, never moving
// back on a mismatch, and gives up on a mismatch past offset 5000 or at the end
// of the image. Found: Base = the byte after the sector number + 41.
std::optional<std::int32_t> FindDmkSector(DiskData& data);

// Reads the start of the image as JV3 header entries of three bytes and takes
// the first entry of track 0, sector 2; gives up on a non-matching entry past
// offset 8704 or at the end of the image. Found: Base = 8704 + 256 per entry passed.
std::optional<std::int32_t> FindJvSector(DiskData& data);

// The DMK scan, then the JV scan when the DMK scan gave up; dmkGaveUp, when
// given, is called between the two (the report writes its switch lines there).
std::optional<SectorLocation> LocateSystemSector(DiskData& data, const std::function<void()>& dmkGaveUp = {});

}  // namespace tabulon
