#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace tabulon {

// Colour values with red in the lowest byte, green in the second, blue in the third.
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kRed = 0x0000FF;

// Where a report is written, line by line: a text position in twips from the
// top-left corner, a text colour, and a line advance that belongs to the
// surface's font. The position rules live here; a concrete surface only draws.
class ReportSurface {
public:
    virtual ~ReportSurface() = default;

    // Erases all text drawn before and moves the text position to (0, 0).
    void Cls();

    void SetForeColor(std::uint32_t color) { foreColor_ = color; }
    std::uint32_t ForeColor() const { return foreColor_; }

    void SetCurrentX(double twips) { currentX_ = twips; }
    void SetCurrentY(double twips) { currentY_ = twips; }
    double CurrentX() const { return currentX_; }
    double CurrentY() const { return currentY_; }

    // Draws the pieces one after another from the text position, nothing
    // between them, then ends the line: x back to 0, y one line advance down.
    // With no piece it only ends the line.
    void Print(std::span<const std::string_view> pieces);
    void Print(std::initializer_list<std::string_view> pieces = {}) { Print(std::span(pieces.begin(), pieces.size())); }

protected:
    virtual void ClearText() = 0;
    // Draws text with its top-left corner at (x, y); returns its width in twips.
    virtual double DrawText(double x, double y, std::uint32_t color, std::string_view text) = 0;
    virtual double LineAdvance() const = 0;
    // Called once a Print has drawn all its pieces, before the position moves on.
    virtual void LineEnded() {}

private:
    std::uint32_t foreColor_ = kBlack;
    double currentX_ = 0;
    double currentY_ = 0;
};

}  // namespace tabulon
