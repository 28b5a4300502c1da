#pragma once

#include "Finding.h"
#include "ImageSource.h"

#include <functional>
#include <optional>
#include <string>

namespace tabulon {

// The name that stands for standard input, and how messages and reports show it.
inline constexpr const char* kStandardInputName = "-";
inline constexpr const char* kStandardInputShown = "(standard input)";

// The longest image read: what a signed 32-bit length can count.
inline constexpr std::int64_t kMaxImageLength = 2147483647;

// The most an archive member (or a compressed file) may unpack to: past it, it
// is not read. Sector images are a few MiB at most and flux captures a few
// hundred (an analysis decodes at most 2^26 two-byte intervals, 128 MiB), so no
// image comes near; a few bytes of a compression bomb cannot fill the disk.
inline constexpr std::int64_t kMaxMemberLength = std::int64_t{256} << 20;

struct SourceOptions {
    bool AllMembers = false;  // every member of an archive, not only its disk images
};

// One image a name yields: the name itself, or one member of the archive it
// names. Either it has a source to analyse, or it was refused, with why. It is
// valid while it is handed over only.
class YieldedImage {
public:
    using Unpacking = std::function<std::optional<Finding>()>;

    YieldedImage(std::string member, Finding refused) : member_(std::move(member)), refused_(std::move(refused)) {}
    YieldedImage(std::string member, ImageSource& source, Unpacking unpacking = {})
        : member_(std::move(member)), source_(&source), unpacking_(std::move(unpacking)) {}

    // The member of the archive it is; empty for the name itself (and a
    // compressed file's one image, which goes by the file's name).
    const std::string& Member() const noexcept { return member_; }

    // Why there is nothing to analyse, if so.
    const std::optional<Finding>& Refused() const noexcept { return refused_; }

    // The image's bytes, when it was not refused.
    ImageSource& Source() const noexcept { return *source_; }

    // Once analysed: why the image could not be had as far as it was read (an
    // archive member damaged past its start), if it could not. What was read
    // then was not the image, and the image counts as refused instead.
    std::optional<Finding> Unpacked() const { return unpacking_ ? unpacking_() : std::nullopt; }

private:
    std::string member_;
    std::optional<Finding> refused_;
    ImageSource* source_ = nullptr;
    Unpacking unpacking_;
};

using VisitImage = std::function<void(const YieldedImage& image)>;

// Hands visit each image name yields, one after another: a file, a folder
// holding a set of files one container reads as one image (a KryoFlux stream
// set), "-" for standard input, and each member of an archive or compressed
// file (its disk images, or every member with AllMembers). A name that cannot
// be opened, an archive that cannot be read on, or one that holds no disk
// image, is one refused image of its own, named after the name itself.
// Anything visit throws ends the walk and is thrown on.
void ForEachImage(const std::string& name, const SourceOptions& options, const VisitImage& visit);

}  // namespace tabulon
