#pragma once

#include "ImageResult.h"
#include "ReportOptions.h"

#include <nlohmann/json.hpp>

#include <string>

namespace tabulon {

// One image as the JSON object tabulon-report --json prints.
nlohmann::json ResultJson(const ImageResult& result, const ReportOptions& options);

// That object as one line of JSON Lines, without the line's end.
std::string JsonLine(const ImageResult& result, const ReportOptions& options);

}  // namespace tabulon
