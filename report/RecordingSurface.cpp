#include "RecordingSurface.h"

namespace tabulon {

void RecordingSurface::ClearText() {
    lines_.clear();
    ++clsCount_;
}

double RecordingSurface::DrawText(double x, double y, std::uint32_t color, std::string_view text) {
    if (!lineStarted_) {
        current_ = Line{x, y, color, {}};
        lineStarted_ = true;
    }
    current_.Text += text;
    return kCharWidth * static_cast<double>(text.size());
}

void RecordingSurface::LineEnded() {
    if (!lineStarted_) current_ = Line{CurrentX(), CurrentY(), ForeColor(), {}};
    lines_.push_back(std::move(current_));
    current_ = {};
    lineStarted_ = false;
}

}  // namespace tabulon
