#pragma once

#include "ImageGeometry.h"
#include "SlotDecoding.h"
#include "TableCheck.h"

#include <optional>
#include <string>
#include <string_view>

namespace tabulon::cli {

std::string_view DensityWord(Density density);   // "single", "double"
std::string_view FieldName(CheckedField field);  // "cylinders", "sides", "density", "sectorsPerCylinder"

// "Image: 40 cylinders, 1 side, track 0 single density, data tracks double density, 18 sectors of 256
// bytes per track"
std::string GeometryLine(const std::optional<ImageGeometry>& geometry);

// "Check: slot 0 fits the image", or the differences, each with what the table
// says and what the image holds; or why there is nothing to check.
std::string CheckLine(const std::optional<ImageGeometry>& geometry, const std::optional<DriveSlot>& slot);

// The verdict of the one-line summary: "fits", "differs: cylinders 40 vs 80, ..." or "unchecked".
std::string BriefVerdict(const std::optional<ImageGeometry>& geometry, const std::optional<DriveSlot>& slot);

}  // namespace tabulon::cli
