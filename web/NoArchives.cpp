// The page reads no archives: the browser has no libarchive, and a user drops the
// images themselves (or the folder unpacked). Every file is taken as an image.
#include "ArchiveImages.h"

namespace tabulon::cli {

Packing PackingOf(std::string_view) { return Packing::Plain; }
std::optional<Packing> PackingOf(int, int&) { return Packing::Plain; }

std::optional<std::string> ForEachMember(int, Packing, bool, std::int64_t, const std::function<void(Member&)>&) {
    return "archives are not read here";
}

FileDescriptor OpenLargeArchive(const std::string&, Packing&) { return {}; }

}  // namespace tabulon::cli
