#pragma once

#include "ImageResult.h"
#include "ReportOptions.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon {

std::string_view DensityWord(Density density);   // "single", "double"
std::string_view FieldName(CheckedField field);  // "cylinders", "sides", "density", "sectorsPerCylinder"

// "3 5 17-85": the numbers in order, a run of three or more as its ends.
std::string NumberRuns(const std::vector<int>& numbers);

// "Image: 40 cylinders, 1 side, track 0 single density, data tracks double density, 18 sectors of 256
// bytes per track", with the missing cylinders ("(missing: 3 17-39)") and, for a file cut short,
// "; the image is cut: the header declares 40 cylinders, the file holds 17"; or why it is unknown.
std::string GeometryLine(const ImageResult& result);

// "Check: slot 0 fits the image", or the differences, each with what the table
// says and what the image holds; or why there is nothing to check.
std::string CheckLine(const ImageResult& result);

// The verdict of the one-line summary: "fits", "differs: cylinders 40 vs 80, ..." or "unchecked".
std::string BriefVerdict(const ImageResult& result);

// The report as the window draws it, then the slots and the geometry when asked for.
void WriteReport(const ImageResult& result, const ReportOptions& options, std::ostream& out);

// The --brief line's fields after the name: the outcome, the container, how it
// was searched, and for a report the eight values and the check.
std::string BriefFields(const ImageResult& result);

// One line: the name as given, the outcome, the container, how it was searched,
// and for a report the eight values and the check, two spaces between fields.
void WriteBrief(const ImageResult& result, const ReportOptions& options, std::ostream& out);

}  // namespace tabulon
