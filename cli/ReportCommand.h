#pragma once

#include "ReportOptions.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon::cli {

// Exit statuses beyond the outcomes' own (kOutcomes).
enum ExitStatus : int {
    kExitDriveReport = 0,
    kExitUsage = 64,
    kExitWriteError = 74,  // standard output failed or was closed (EX_IOERR)
};

// How a run writes and works.
struct RunOptions {
    bool FlushEach = false;  // write each image's output as soon as it is made (a terminal)
    unsigned Jobs = 0;       // images analysed at once: 0 one a core, 1 one after another
};

// Analyses each image and writes its report (or JSON line) to out and what is
// said of it to err, in the order of the names; returns the highest exit status
// of them. The name "-" is standard input. Nothing one image does stops the next
// from being analysed; once out fails, nothing more is written to it and the
// status is kExitWriteError. Unless FlushEach, out is flushed at the end.
int RunReports(const std::vector<std::string>& images, const ReportOptions& options, const RunOptions& run,
               std::ostream& out, std::ostream& err);

// Flushes out; on failure says so on err ("write error" and the system's reason)
// and returns false.
bool CheckOutput(std::ostream& out, std::ostream& err);

// Whether red lines are shown in red: "always", "never", or "auto", which is on a
// terminal unless NO_COLOR is set to a non-empty value or TERM is "dumb".
bool ColorWanted(std::string_view mode, bool terminal, const char* noColor, const char* term);

}  // namespace tabulon::cli
