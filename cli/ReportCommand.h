#pragma once

#include "StructureLocator.h"

#include <ostream>
#include <string>
#include <vector>

namespace tabulon::cli {

struct ReportOptions {
    bool Json = false;
    bool Color = false;  // red lines in red (ANSI), decided by the caller
    LocateMode Locate = LocateMode::Auto;
    bool AllSlots = false;  // all ten PDRIVE slots after the report
    bool Geometry = false;  // the image's geometry and the check of slot 0 against it, after the report
    bool Brief = false;     // one line per image
};

// Exit statuses, ordered so that the worst of several images wins.
enum ExitStatus : int {
    kExitDriveReport = 0,
    kExitNotNewdos = 1,
    kExitNotFound = 2,
    kExitStopped = 3,
    kExitUnreadable = 4,
    kExitUsage = 64,
};

// Analyses each image in turn and writes its report (or JSON line) to out and
// its problems to err; returns the highest exit status of them.
int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err);

// The path made absolute against the current directory, without resolving links
// and without "." components.
std::string AbsolutePath(const std::string& path);

}  // namespace tabulon::cli
