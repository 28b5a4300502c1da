#pragma once

#include <string>

namespace tabulon::cli {

// The containers' short names in the words of the help and the documents, from
// the list of containers, in alphabetical order: "DMK, HFE, ... SCP and TD0".
std::string ContainerNames();

// Every extension a disk image goes by, from the same list: ".dmk .dsk ... .td0".
std::string ImageExtensions();

}  // namespace tabulon::cli
