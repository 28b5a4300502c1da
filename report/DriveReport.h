#pragma once

#include "Analysis.h"
#include "ReportSurface.h"

#include <string_view>

namespace tabulon {

// Draws one analysis on surface as the window shows it, the image named
// filename: the searching line, the switch lines when the DMK scan gave up, the
// heading block, then the not-found line, the not-a-Newdos-disk line or the
// summary, drive line and legend. An analysis that stopped part way is drawn as
// far as it got; one whose load step failed, or that could not read its image,
// leaves the surface as it was but for the text colour.
void DrawDriveReport(ReportSurface& surface, const Analysis& analysis, std::string_view filename);

}  // namespace tabulon
