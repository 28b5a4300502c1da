#include "AnalyseNames.h"

#include "ImageSources.h"
#include "ShownName.h"

#include <algorithm>

namespace tabulon {

namespace {

std::optional<Finding> CrcWarning(const Analysis& run) {
    const SectorLocation* const at = run.Location();
    if (at == nullptr || at->CrcOk()) return std::nullopt;
    const bool idBad = !at->IdCrcOk.value_or(true);
    const bool dataBad = !at->DataCrcOk.value_or(true);
    const char* field = idBad && dataBad ? "ID and data fields" : idBad ? "ID field" : "data field";
    return Finding{FindingKind::Warning,
                   std::string("warning: CRC error in the ") + field + " of track 0, side 0, sector 2"};
}

AnalyseOptions AnalysisAsked(const ReportOptions& options) {
    AnalyseOptions wanted;
    wanted.Locate = options.Locate;
    wanted.AllSlots = options.AllSlots;
    wanted.Geometry = options.Geometry || options.Json || options.Brief;  // JSON and --brief show the check
    wanted.Tracks = options.Tracks;
    wanted.Disk = options.Disk || options.Files || options.Json;  // JSON always names the disk
    return wanted;
}

// The result of one image a name yields: its analysis, or why there is none.
ImageResult ResultOf(const ImageResult& named, const YieldedImage& image, const ReportOptions& options) {
    ImageResult result = named;
    NameMember(result, image.Member());
    std::optional<Finding> refused = image.Refused();
    if (!refused) {
        ImageResult analysed = result;
        analysed.Run = Analyse(image.Source(), AnalysisAsked(options));
        analysed.Result = analysed.Run.Final();
        analysed.Findings = FindingsOf(analysed.Run);
        refused = image.Unpacked();  // what was read was not there: the image is refused instead
        if (!refused) return analysed;
    }
    result.Result = refused->Kind == FindingKind::NoImage ? Outcome::NotFound : Outcome::Unreadable;
    result.Findings.push_back(std::move(*refused));
    return result;
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

void NameMember(ImageResult& result, const std::string& member) {
    if (member.empty()) return;  // a compressed file's one image goes by the file's name
    result.Given += ":" + member;
    result.Member = member;
    result.Shown = ShownName(result.Path + ":" + member);
}

std::vector<Finding> FindingsOf(const Analysis& run) {
    std::vector<Finding> findings;
    if (auto warning = CrcWarning(run)) findings.push_back(std::move(*warning));
    if (run.Stop) findings.push_back({FindingKind::Stop, StopMessage(*run.Stop)});
    if (run.FileCheckFailed && run.Opened() != nullptr) {
        const std::string_view name = run.Opened()->Type().Format.Name;
        findings.push_back(
            {FindingKind::Warning, "warning: the " + std::string(name) + " checksum does not match the file"});
    }
    if (run.GeometryStop) findings.push_back({FindingKind::Stop, StopMessage(*run.GeometryStop)});
    if (run.Failure) findings.push_back({FindingKind::Failure, *run.Failure});
    return findings;
}

void AddFailure(ImageResult& result, const char* reason) {
    result.Findings.push_back({FindingKind::Failure, reason});
    result.Result = std::max(result.Result, result.Run.Loaded ? Outcome::Stopped : Outcome::Unreadable);
}

void AnalyseEach(const ImageResult& named, const ReportOptions& options, const EachResult& each) {
    try {
        SourceOptions wanted;
        wanted.AllMembers = options.AllMembers;
        ForEachImage(named.Given, wanted, [&](const YieldedImage& image) {
            ImageResult result = ResultOf(named, image, options);
            each(result);
        });
    } catch (...) {  // no memory: said of the name as given, after what it yielded so far
        ImageResult failed = named;
        AddFailure(failed, CurrentFailure());
        each(failed);
    }
}

}  // namespace tabulon
