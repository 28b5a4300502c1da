#pragma once

#include "ImageResult.h"
#include "ReportOptions.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace tabulon {

// "Disk: LDOS 5.3 data disk, directory on cylinder 20 (side 0, sector 0, 10 sectors), 14 files",
// or why the disk could not be named.
std::string DiskLine(const ImageResult& result);

// What --disk adds after the report: the disk's line, and where a Newdos
// table was checked against the directory, whether it finds it (each slot's
// too with all slots).
void WriteDisk(const ImageResult& result, const ReportOptions& options, std::ostream& out);

// What --files adds: "Files:" and each file a line, or why there are none.
void WriteFiles(const ImageResult& result, std::ostream& out);

// The --brief field --disk adds: the DOS, "FORMAT data" for a data disk, or "-".
std::string BriefDisk(const ImageResult& result);

// The disk as JSON: null where it could not be read.
nlohmann::json DiskJson(const ImageResult& result, const ReportOptions& options);

}  // namespace tabulon
