#pragma once

#include "Container.h"
#include "DiskData.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tabulon {

// Every container Tabulon reads, in the order an image is tried against them:
// the signed ones first (a signature is the strongest sign), then those known
// by their structure alone, the weakest last.
std::span<const ContainerType* const> ContainerTypes();

// The image opened as the first container that recognises it; nothing when none does.
std::unique_ptr<Container> OpenContainer(DiskData& image);

// Whether a name ends in one of the containers' extensions (any case).
bool HasImageExtension(std::string_view name);

// Of the names in one folder, the file that opens a set read as one image, if any.
std::optional<std::string> FirstOfSet(std::span<const std::string> names);

}  // namespace tabulon
