#pragma once

#include "ImageFile.h"
#include "ImageResult.h"
#include "ReportOptions.h"
#include "ShownName.h"

#include <functional>
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

// Analyses each image in turn and writes its report (or JSON line) to out and
// its problems to err; returns the highest exit status of them. The name "-" is
// standard input. Nothing one image does stops the next from being analysed;
// once out fails, nothing more is written to it and the status is kExitWriteError.
int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err);

// Names result after the image as given: Given, Path and Shown.
void NameImage(ImageResult& result, const std::string& image);

// Names result, named after an archive, after one of its members: "ARCHIVE:MEMBER"
// in the text, the archive as Path and the member apart (none for a compressed
// file's one image, which goes by the file's name).
void NameMember(ImageResult& result, const std::string& member);

// Receives one image's result and what was said of it (lines for standard error).
using EachImage = std::function<void(ImageResult& result, const std::string& messages)>;

// Opens the image named (Given: a file, a folder holding a set of files, "-"
// for standard input) and analyses it; an archive or compressed file gives each
// member as an image of its own, and one record of its own when it fails as a
// whole or holds no image. each receives every result in turn. Never throws.
void AnalyseEach(const ImageResult& named, const ReportOptions& options, const EachImage& each);

// The longest image read: what a signed 32-bit length can count.
inline constexpr std::int64_t kMaxImageLength = 2147483647;

// Analyses the image source gives and reads what the options ask for beyond
// the report; what goes wrong is the image's outcome, said on err.
void AnalyseOpened(ImageResult& result, ImageSource& source, const ReportOptions& options, std::ostream& err);

// Flushes out; on failure says so on err ("write error" and the system's reason)
// and returns false.
bool CheckOutput(std::ostream& out, std::ostream& err);

// Whether red lines are shown in red: "always", "never", or "auto", which is on a
// terminal unless NO_COLOR is set to a non-empty value or TERM is "dumb".
bool ColorWanted(std::string_view mode, bool terminal, const char* noColor, const char* term);

}  // namespace tabulon::cli
