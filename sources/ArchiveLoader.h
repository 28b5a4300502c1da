#pragma once

#include "ArchiveModule.h"

#include <string>

namespace tabulon {

// The archive reader's entry point, loaded at the first call: tabulon-archives.so
// beside the program (the build tree), else in the package's private library
// folder (TABULON_ARCHIVES_DIR, relative to the program's folder). Nothing when
// it cannot be loaded, error saying why.
tabulon_read_archive_fn LoadArchiveReader(std::string& error);

}  // namespace tabulon
