#include "ImageSources.h"

#include "ArchiveImages.h"
#include "ImagePath.h"
#include "StandardInput.h"

#include <cstring>
#include <span>
#include <string_view>

namespace tabulon {

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

OpenResult OpenImage(const std::string& name, ImageFile& file) {
    return name == kStandardInputName ? OpenStandardInput(file) : OpenImagePath(name, file);
}

// Each member of an archive (or a compressed file's one image) as an image of its
// own; an archive that fails as a whole, or holds no image, is one refused image.
void EachMember(int fd, Packing packing, const SourceOptions& options, const VisitImage& visit) {
    bool any = false;
    const auto failure =
        ForEachMember(fd, packing, options.AllMembers, kMaxMemberLength, [&](const YieldedImage& image) {
            any = true;
            visit(image);
        });
    if (failure) {
        visit({"",
               {FindingKind::Damage, (any ? "cannot read the archive on: " : "cannot read the archive: ") + *failure}});
    } else if (!any) {  // nothing found is no success: an empty archive, or one of other files only
        visit({"", {FindingKind::NoImage, "no disk image in the archive"}});
    }
}

}  // namespace

void ForEachImage(const std::string& name, const SourceOptions& options, const VisitImage& visit) {
    ImageFile file;
    const OpenResult opened = OpenImage(name, file);
    if (opened.Failure == OpenFailure::TooLarge && name != kStandardInputName) {
        // An archive may hold more than the longest image.
        Packing packing = Packing::Plain;
        if (const FileDescriptor large = OpenLargeArchive(name, packing); large.IsOpen()) {
            return EachMember(large.Get(), packing, options, visit);
        }
    }
    if (!opened.Opened()) return visit({"", {FindingKind::Refusal, opened.Reason}});
    int error = 0;
    const auto head = file.Head(error);
    // A read error is never taken for a plain image.
    if (!head) return visit({"", {FindingKind::Refusal, std::strerror(error)}});
    const auto packing = PackingOf(AsText(*head), file.Descriptor());
    if (const auto* const failed = std::get_if<Finding>(&packing)) return visit({"", *failed});
    if (const Packing found = std::get<Packing>(packing); found != Packing::Plain) {
        return EachMember(file.Descriptor(), found, options, visit);
    }
    visit({"", file});
}

}  // namespace tabulon
