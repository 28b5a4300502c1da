#include "ReportCommand.h"

#include "AnalyseNames.h"
#include "AnalysedAhead.h"
#include "DiskView.h"
#include "JsonView.h"
#include "OutputBuffer.h"
#include "ShownName.h"
#include "TextView.h"
#include "TrackView.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <sstream>

namespace tabulon::cli {

namespace {

constexpr std::string_view kProgram = "tabulon-report";

// One message on err, written at once so that it stays one line among others.
void Say(std::ostream& err, std::string_view name, std::string_view message) {
    std::ostringstream line;
    line << kProgram << ": " << name << ": " << message << '\n';
    err << line.str();
}

// Writes one image's JSON line or report; false once standard output has failed.
bool WriteResult(const ImageResult& result, const ReportOptions& options, bool flushEach, bool& printedReport,
                 std::ostream& out, std::ostream& err) {
    errno = 0;
    if (options.Brief) {
        WriteBrief(result, options, out);
        if (options.Files) WriteFiles(result, out);
        if (options.Tracks) WriteTracks(result, out);
    } else if (options.Json) {
        out << JsonLine(result, options) << '\n';
    } else if (result.Run.Loaded) {
        if (printedReport) out << '\n';
        WriteReport(result, options, out);
        printedReport = true;
    }
    if (flushEach || !out.good()) return CheckOutput(out, err);
    return true;
}

// One image after another: says what is found of each, writes its output as it
// is done and keeps the worst status.
class Runner {
public:
    Runner(const ReportOptions& options, bool flushEach, std::ostream& out, std::ostream& err)
        : options_(options), flushEach_(flushEach), out_(out), err_(err) {}

    void Add(ImageResult& result) {
        for (const Finding& finding : result.Findings) Say(err_, result.Shown, finding.Text);
        worst_ = std::max(worst_, result.Status());
        if (!writing_) return;
        try {
            writing_ = WriteResult(result, options_, flushEach_, printedReport_, out_, err_);
        } catch (...) {
            const char* const reason = CurrentFailure();
            Say(err_, result.Shown, reason);
            AddFailure(result, reason);
            worst_ = std::max(worst_, result.Status());
        }
        if (!writing_) worst_ = std::max<int>(worst_, kExitWriteError);
    }

    // A finding with no image to show for it.
    void Refuse(std::string_view name, std::string_view reason) {
        Say(err_, name, reason);
        worst_ = std::max(worst_, InfoOf(Outcome::Unreadable).Status);
    }

    int Finish() {
        if (writing_ && !CheckOutput(out_, err_)) worst_ = std::max<int>(worst_, kExitWriteError);
        return worst_;
    }

private:
    const ReportOptions& options_;
    bool flushEach_;
    std::ostream& out_;
    std::ostream& err_;
    int worst_ = kExitDriveReport;
    bool printedReport_ = false;
    bool writing_ = true;  // until standard output fails; the images are still analysed after
};

}  // namespace

bool CheckOutput(std::ostream& out, std::ostream& err) {
    if (out.flush()) return true;
    const auto* const buffer = dynamic_cast<const OutputBuffer*>(out.rdbuf());
    const int error = buffer != nullptr && buffer->Error() != 0 ? buffer->Error() : errno;
    err << kProgram << ": write error";
    if (error != 0) err << ": " << std::strerror(error);
    err << '\n';
    return false;
}

bool ColorWanted(std::string_view mode, bool terminal, const char* noColor, const char* term) {
    if (mode != "auto") return mode == "always";
    const bool noColorSet = noColor != nullptr && *noColor != '\0';
    const bool dumb = term != nullptr && std::string_view(term) == "dumb";
    return terminal && !noColorSet && !dumb;
}

int RunReports(const std::vector<std::string>& images, const ReportOptions& options, const RunOptions& run,
               std::ostream& out, std::ostream& err) {
    Runner runner(options, run.FlushEach, out, err);
    std::vector<std::optional<ImageResult>> named(images.size());
    for (std::size_t n = 0; n < images.size(); ++n) {
        try {
            NameImage(named[n].emplace(), images[n]);
        } catch (const std::bad_alloc&) {  // not even the names: nothing more can be said of this image
            named[n].reset();
        }
    }
    const auto add = [&runner](ImageResult& result) { runner.Add(result); };
    // Helpers analyse the names ahead where there are cores for them; the output is the same.
    std::optional<AnalysedAhead> ahead;
    if (const unsigned helpers = AnalysedAhead::HelpersFor(images, options, run.Jobs); helpers > 0)
        ahead.emplace(named, options, helpers);
    for (std::size_t n = 0; n < images.size(); ++n) {
        if (!named[n]) {
            runner.Refuse(ShownName(images[n]), "not enough memory");
            if (ahead) ahead->Take(n, add);
        } else if (ahead) {
            ahead->Take(n, add);
        } else {
            AnalyseEach(*named[n], options, add);
        }
    }
    return runner.Finish();
}

}  // namespace tabulon::cli
