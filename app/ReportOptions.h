#pragma once

#include "LocateSector.h"

namespace tabulon {

// What is asked of each image: what the analysis reads and what the views show.
struct ReportOptions {
    bool Json = false;
    bool Color = false;  // red lines in red (ANSI), decided by the caller
    LocateMode Locate = LocateMode::Auto;
    bool AllSlots = false;    // all ten PDRIVE slots after the report
    bool Geometry = false;    // the image's geometry and the check of slot 0 against it, after the report
    bool Tracks = false;      // every track and its sectors, after the report or the --brief line
    bool Brief = false;       // one line per image
    bool AllMembers = false;  // every member of an archive, not only its disk images
    bool Disk = false;        // the disk's DOS and directory after the report (JSON always has them)
    bool Files = false;       // the files of the disk's directory, one a line
};

}  // namespace tabulon
