#pragma once

#include "ImageResult.h"
#include "ReportOptions.h"

#include <functional>
#include <string>
#include <vector>

namespace tabulon {

// Names result after the image as given: Given, Path (absolute where it can be
// made, "-" for standard input) and Shown.
void NameImage(ImageResult& result, const std::string& image);

// Names result, named after an archive, after one of its members: "ARCHIVE:MEMBER"
// in the text, the archive as Path and the member apart (none for a compressed
// file's one image, which goes by the file's name).
void NameMember(ImageResult& result, const std::string& member);

// Receives each image's result in turn.
using EachResult = std::function<void(ImageResult& result)>;

// Analyses each image the name result.Given yields (a file, a folder holding a
// set of files, "-" for standard input, each member of an archive) and hands
// each its result, named after named, with what is said of it as findings; an
// archive that fails as a whole, or holds no image, is one result of its own.
// Never throws but what each throws.
void AnalyseEach(const ImageResult& named, const ReportOptions& options, const EachResult& each);

// What an analysis found that the user must hear of, in the order it found it.
std::vector<Finding> FindingsOf(const Analysis& run);

// Any failure but a stopped analysis (no memory): said as a finding; the image
// counts as stopped once loaded, as unreadable before.
void AddFailure(ImageResult& result, const char* reason);

}  // namespace tabulon
