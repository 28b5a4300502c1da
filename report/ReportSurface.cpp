#include "ReportSurface.h"

namespace tabulon {

void ReportSurface::Cls() {
    lines_.clear();
    ++clsCount_;
    currentX_ = 0;
    currentY_ = 0;
    LinesChanged();
}

void ReportSurface::Print(std::span<const std::string_view> pieces) {
    // The pieces of one line follow each other without a gap, so the line is
    // kept as one text from where it started.
    Line line{currentX_, currentY_, foreColor_, {}};
    for (const std::string_view piece : pieces) line.Text += piece;
    lines_.push_back(std::move(line));
    currentX_ = 0;
    currentY_ += LineAdvance();
    LinesChanged();
}

}  // namespace tabulon
