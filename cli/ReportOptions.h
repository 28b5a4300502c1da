#pragma once

#include "LocateSector.h"

namespace tabulon::cli {

struct ReportOptions {
    bool Json = false;
    bool Color = false;  // red lines in red (ANSI), decided by the caller
    LocateMode Locate = LocateMode::Auto;
    bool AllSlots = false;    // all ten PDRIVE slots after the report
    bool Geometry = false;    // the image's geometry and the check of slot 0 against it, after the report
    bool Tracks = false;      // every track and its sectors, after the report or the --brief line
    bool Brief = false;       // one line per image
    bool AllMembers = false;  // every member of an archive, not only its disk images
    bool FlushEach = true;    // each image's output as soon as it is made (a terminal); else one buffer
};

}  // namespace tabulon::cli
