#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabulon {

// Colour values with red in the lowest byte, green in the second, blue in the third.
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kRed = 0x0000FF;

// Where a report is written, line by line: a text position in twips from the
// top-left corner, a text colour, and a line advance that belongs to the
// surface's font. The position rules and the lines written live here; a
// concrete surface supplies its line advance and shows the lines.
class ReportSurface {
public:
    // One printed line: where it started, in twips, its colour value and its text (UTF-8).
    struct Line {
        double X = 0;
        double Y = 0;
        std::uint32_t Color = kBlack;  // the text colour in force when the line was printed
        std::string Text;
        friend bool operator==(const Line&, const Line&) = default;
    };

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

    // The lines printed since the last Cls, blank ones included.
    const std::vector<Line>& Lines() const { return lines_; }
    int ClsCount() const { return clsCount_; }

protected:
    virtual double LineAdvance() const = 0;
    // Called whenever the lines change, for a surface that shows them.
    virtual void LinesChanged() {}

private:
    std::uint32_t foreColor_ = kBlack;
    double currentX_ = 0;
    double currentY_ = 0;
    std::vector<Line> lines_;
    int clsCount_ = 0;
};

}  // namespace tabulon
