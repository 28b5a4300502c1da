#include "ReportCommand.h"

#include "ArchiveImages.h"
#include "ImagePath.h"
#include "JsonView.h"
#include "OutputBuffer.h"
#include "ShownName.h"
#include "StandardInput.h"
#include "TextView.h"
#include "TrackView.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
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

void Say(std::ostream& err, const ImageResult& result, std::string_view message) { Say(err, result.Shown, message); }

void WarnAboutCrc(const ImageResult& result, std::ostream& err) {
    const SectorLocation* const at = result.Run.Location();
    if (at == nullptr || at->CrcOk()) return;
    const bool idBad = !at->IdCrcOk.value_or(true);
    const bool dataBad = !at->DataCrcOk.value_or(true);
    const char* field = idBad && dataBad ? "ID and data fields" : idBad ? "ID field" : "data field";
    Say(err, result, std::string("warning: CRC error in the ") + field + " of track 0, side 0, sector 2");
}

// Any failure but a stopped analysis: the image counts as stopped once loaded,
// as unreadable before.
void Fail(ImageResult& result, const char* reason, std::ostream& err) {
    Say(err, result, reason);
    result.Result = std::max(result.Result, result.Run.Loaded ? Outcome::Stopped : Outcome::Unreadable);
}

// What the analysis found that the user must hear of, in the order it found it.
void SayFindings(const ImageResult& result, std::ostream& err) {
    const Analysis& run = result.Run;
    WarnAboutCrc(result, err);
    if (run.Stop) Say(err, result, StopMessage(*run.Stop));
    if (run.FileCheckFailed && run.Opened() != nullptr) {
        const std::string_view name = run.Opened()->Type().Format.Name;
        Say(err, result, "warning: the " + std::string(name) + " checksum does not match the file");
    }
    if (run.GeometryStop) Say(err, result, StopMessage(*run.GeometryStop));
    if (run.Failure) Say(err, result, *run.Failure);
}

// Writes one image's JSON line or report; false once standard output has failed.
bool WriteResult(const ImageResult& result, const ReportOptions& options, bool& printedReport, std::ostream& out,
                 std::ostream& err) {
    errno = 0;
    if (options.Brief) {
        WriteBrief(result, options, out);
        if (options.Tracks) WriteTracks(result, out);
    } else if (options.Json) {
        out << JsonLine(result, options) << '\n';
    } else if (result.Run.Loaded) {
        if (printedReport) out << '\n';
        WriteReport(result, options, out);
        printedReport = true;
    }
    if (options.FlushEach || !out.good()) return CheckOutput(out, err);
    return true;
}

}  // namespace

void NameImage(ImageResult& result, const std::string& image) {
    result.Given = image;
    if (image == kStandardInputName) {
        result.Path = kStandardInputName;
        result.Shown = kStandardInputShown;
    } else {
        result.Path = AbsolutePath(image);
        result.Shown = ShownName(result.Path);
    }
}

void AnalyseOpened(ImageResult& result, ImageSource& source, const ReportOptions& options, std::ostream& err) {
    AnalyseOptions wanted;
    wanted.Locate = options.Locate;
    wanted.AllSlots = options.AllSlots;
    wanted.Geometry = options.Geometry || options.Json || options.Brief;  // JSON and --brief show the check
    wanted.Tracks = options.Tracks;
    result.Run = Analyse(source, wanted);
    result.Result = result.Run.Final();
    SayFindings(result, err);
}

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

OpenResult OpenImage(const std::string& name, ImageFile& file) {
    return name == kStandardInputName ? OpenStandardInput(file) : OpenImagePath(name, file);
}

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

void NameMember(ImageResult& result, const std::string& member) {
    if (member.empty()) return;  // a compressed file's one image goes by the file's name
    result.Given += ":" + member;
    result.Member = member;
    result.Shown = ShownName(result.Path + ":" + member);
}

namespace {

// One image after another: writes each one's output as it is done and keeps the worst status.
class Runner {
public:
    Runner(const ReportOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}

    void Add(ImageResult& result) {
        worst_ = std::max(worst_, result.Status());
        if (!writing_) return;
        try {
            writing_ = WriteResult(result, options_, printedReport_, out_, err_);
        } catch (...) {
            Fail(result, CurrentFailure(), err_);
            worst_ = std::max(worst_, result.Status());
        }
        if (!writing_) worst_ = std::max<int>(worst_, kExitWriteError);
    }

    // A finding with no image to show for it (an archive that cannot be read on, or holds no image).
    void Refuse(std::string_view name, std::string_view reason, Outcome outcome = Outcome::Unreadable) {
        Say(err_, name, reason);
        worst_ = std::max(worst_, InfoOf(outcome).Status);
    }

    int Finish() {
        if (writing_ && !CheckOutput(out_, err_)) worst_ = std::max<int>(worst_, kExitWriteError);
        return worst_;
    }

private:
    const ReportOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    int worst_ = kExitDriveReport;
    bool printedReport_ = false;
    bool writing_ = true;  // until standard output fails; the images are still analysed after
};

// Each member of an archive (or a compressed file's one image) as an image of its
// own; an archive that fails as a whole, or holds no image, is one record of its own.
void EachMember(const ImageResult& archive, int fd, Packing packing, const ReportOptions& options,
                const EachImage& each) {
    bool any = false;
    const auto failure = ForEachMember(fd, packing, options.AllMembers, kMaxImageLength, [&](Member& member) {
        any = true;
        ImageResult result = archive;
        NameMember(result, member.Name);
        std::ostringstream err;
        OpenResult refused = member.Opened;
        if (refused.Opened()) {
            ImageResult analysed = result;
            AnalyseOpened(analysed, *member.Source, options, err);
            refused = member.Unpacking();  // what was read was not there: the member is refused instead
            if (refused.Opened()) return each(analysed, err.str());
            err.str("");
        }
        Say(err, result, refused.Reason);
        result.Result = Outcome::Unreadable;
        each(result, err.str());
    });
    if (!failure && any) return;
    ImageResult whole = archive;
    std::ostringstream err;
    if (failure) {
        Say(err, whole, (any ? "cannot read the archive on: " : "cannot read the archive: ") + *failure);
        whole.Result = Outcome::Unreadable;
    } else {  // nothing found is no success: an empty archive, or one of other files only
        Say(err, whole, "no disk image in the archive");
        whole.Result = Outcome::NotFound;
    }
    each(whole, err.str());
}

}  // namespace

void AnalyseEach(const ImageResult& named, const ReportOptions& options, const EachImage& each) {
    ImageResult result = named;
    std::ostringstream err;
    try {
        ImageFile file;
        const OpenResult opened = OpenImage(result.Given, file);
        Packing packing = Packing::Plain;
        int error = 0;
        // An archive may hold more than the longest image.
        const FileDescriptor large = opened.Failure == OpenFailure::TooLarge && result.Given != kStandardInputName
                                         ? OpenLargeArchive(result.Given, packing)
                                         : FileDescriptor();
        if (large.IsOpen()) return EachMember(result, large.Get(), packing, options, each);
        const auto head = opened.Opened() ? file.Head(error) : std::nullopt;
        if (!opened.Opened()) {
            Say(err, result, opened.Reason);
            result.Result = Outcome::Unreadable;
        } else if (const auto found = head ? PackingOf(AsText(*head), file.Descriptor(), error) : std::nullopt;
                   !found) {
            Say(err, result, std::strerror(error));  // a read error is never taken for a plain image
            result.Result = Outcome::Unreadable;
        } else if (*found != Packing::Plain) {
            return EachMember(result, file.Descriptor(), *found, options, each);
        } else {
            AnalyseOpened(result, file, options, err);
        }
    } catch (...) {
        Fail(result, CurrentFailure(), err);
    }
    each(result, err.str());
}

int RunReports(const std::vector<std::string>& images, const ReportOptions& options, std::ostream& out,
               std::ostream& err) {
    Runner runner(options, out, err);
    for (const std::string& image : images) {
        ImageResult result;
        try {
            NameImage(result, image);
        } catch (const std::bad_alloc&) {  // not even the names: nothing more can be said of this image
            runner.Refuse(ShownName(image), "not enough memory");
            continue;
        }
        AnalyseEach(result, options, [&runner, &err](ImageResult& each, const std::string& messages) {
            err << messages;
            runner.Add(each);
        });
    }
    return runner.Finish();
}

}  // namespace tabulon::cli
