#include "ContainerList.h"

#include "DmkImage.h"
#include "HfeImage.h"
#include "ImdImage.h"
#include "Jv1Image.h"
#include "Jv3Image.h"
#include "KryoFluxImage.h"
#include "ScpImage.h"
#include "Td0Image.h"

#include <array>
#include <cctype>

namespace tabulon {

namespace {

// HFE, IMD, TD0 and SCP by their signatures; KryoFlux by a stream that opens
// with a known out-of-band block; DMK by a sane header whose tracks fit the file;
// JV3 by a sector table whose data lie inside the file; JV1 by a whole number of
// ten-sector tracks.
constexpr std::array<const ContainerType*, 8> kTypes{&kHfeContainer, &kImdContainer,      &kTd0Container,
                                                     &kScpContainer, &kKryoFluxContainer, &kDmkContainer,
                                                     &kJv3Container, &kJv1Container};

bool EndsWithNoCase(std::string_view name, std::string_view end) {
    if (name.size() < end.size()) return false;
    name.remove_prefix(name.size() - end.size());
    for (std::size_t n = 0; n < end.size(); ++n) {
        if (std::tolower(static_cast<unsigned char>(name[n])) != end[n]) return false;
    }
    return true;
}

}  // namespace

std::span<const ContainerType* const> ContainerTypes() { return kTypes; }

std::unique_ptr<Container> OpenContainer(DiskData& image) {
    for (const ContainerType* type : kTypes) {
        if (auto opened = type->Open(image)) return opened;
    }
    return nullptr;
}

bool HasImageExtension(std::string_view name) {
    for (const ContainerType* type : kTypes) {
        for (const std::string_view extension : type->Extensions) {
            if (EndsWithNoCase(name, extension)) return true;
        }
    }
    return false;
}

std::optional<std::string> FirstOfSet(std::span<const std::string> names) {
    for (const ContainerType* type : kTypes) {
        if (type->FirstOfSet == nullptr) continue;
        if (const auto first = type->FirstOfSet(names)) return std::string(*first);
    }
    return std::nullopt;
}

}  // namespace tabulon
