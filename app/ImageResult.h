#pragma once

#include "Analysis.h"
#include "Finding.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon {

// Each outcome's name for scripts and its exit status; the statuses are ordered
// so that the worst of several images wins.
struct OutcomeInfo {
    std::string_view Name;
    int Status;
};
inline constexpr std::array<OutcomeInfo, 5> kOutcomes = {{
    {"report", 0},      // Outcome::DriveReport
    {"not-newdos", 1},  // Outcome::NotNewdos
    {"not-found", 2},   // Outcome::NotFound
    {"stopped", 3},     // Outcome::Stopped
    {"unreadable", 4},  // Outcome::Unreadable
}};
constexpr const OutcomeInfo& InfoOf(Outcome outcome) { return kOutcomes[static_cast<std::size_t>(outcome)]; }

// Everything learnt of one image, for the views: its names, the analysis, and
// what is said of it besides (findings, in the order they were made).
struct ImageResult {
    std::string Given;                  // the name as given, which is the name opened
    std::string Path;                   // for JSON: absolute when it can be made, "-" for standard input
    std::optional<std::string> Member;  // the member of the archive at Path, when the image is one
    std::string Shown;  // for messages and the report's file-name line, quoted where it must be (ShownName)

    Analysis Run;                          // what the analysis found, up to where it stopped
    Outcome Result = Outcome::Unreadable;  // the analysis' outcome, or unreadable when it could not be opened
    std::vector<Finding> Findings;         // warnings, stops, refusals, damage

    int Status() const { return InfoOf(Result).Status; }
};

}  // namespace tabulon
