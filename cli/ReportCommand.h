#pragma once

#include "StructureLocator.h"

#include <ostream>
#include <string>
#include <string_view>
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
    kExitWriteError = 74,  // standard output failed or was closed (EX_IOERR)
};

// Analyses each image in turn and writes its report (or JSON line) to out and
// its problems to err; returns the highest exit status of them. The name "-" is
// standard input. Nothing one image does stops the next from being analysed;
// once out fails, nothing more is written to it and the status is kExitWriteError.
int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err);

// The path made absolute against the current directory, for display only: links
// are not resolved and "." components are dropped, but a last one. The path as
// given when there is no current directory (deleted) or the name is empty.
std::string AbsolutePath(const std::string& path);

// Flushes out; on failure says so on err ("write error" and the system's reason)
// and returns false.
bool CheckOutput(std::ostream& out, std::ostream& err);

// Whether red lines are shown in red: "always", "never", or "auto", which is on a
// terminal unless NO_COLOR is set to anything or TERM is "dumb".
bool ColorWanted(std::string_view mode, bool terminal, const char* noColor, const char* term);

}  // namespace tabulon::cli
