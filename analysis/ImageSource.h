#pragma once

#include "DiskData.h"

namespace tabulon {

// Where an image's bytes come from: a file opened by name, standard input's
// copy, an archive member's copy, a stream set's folder, a browser's files.
class ImageSource {
public:
    virtual ~ImageSource() = default;

    // The load step: the image's bytes, read on demand from here on, with the
    // files beside it reachable by name. The source gives the image up to the
    // bytes, which close it when they go. Throws AnalysisStopped when there is
    // no image to load or its first bytes cannot be read.
    virtual DiskData Load() = 0;
};

}  // namespace tabulon
