#pragma once

#include "ImageFile.h"

#include <string>

namespace tabulon {

// Opens the image a path names into file: a regular file, or a folder that
// holds a set of files one container reads as one image (a KryoFlux stream
// set), through the file that opens it. Either way the files beside the one
// opened stay reachable by name.
OpenResult OpenImagePath(const std::string& path, ImageFile& file);

}  // namespace tabulon
