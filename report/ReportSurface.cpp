#include "ReportSurface.h"

namespace tabulon {

void ReportSurface::Cls() {
    ClearText();
    currentX_ = 0;
    currentY_ = 0;
}

void ReportSurface::Print(std::span<const std::string_view> pieces) {
    double x = currentX_;
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) x += DrawText(x, currentY_, foreColor_, piece);
    }
    LineEnded();
    currentX_ = 0;
    currentY_ += LineAdvance();
}

}  // namespace tabulon
