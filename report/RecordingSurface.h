#pragma once

#include "ReportSurface.h"

#include <string>
#include <vector>

namespace tabulon {

// A report surface that keeps what is on it as text: the lines since the last
// Cls, each with where it started and its colour. It serves the tests and the
// command line, which prints these lines. Every character is one fixed width.
class RecordingSurface : public ReportSurface {
public:
    struct Line {
        double X = 0;
        double Y = 0;
        std::uint32_t Color = kBlack;  // the text colour in force when the line was printed
        std::string Text;
    };

    static constexpr double kCharWidth = 105;    // twips
    static constexpr double kLineAdvance = 210;  // twips

    const std::vector<Line>& Lines() const { return lines_; }
    int ClsCount() const { return clsCount_; }

protected:
    void ClearText() override;
    double DrawText(double x, double y, std::uint32_t color, std::string_view text) override;
    double LineAdvance() const override { return kLineAdvance; }
    void LineEnded() override;

private:
    std::vector<Line> lines_;
    Line current_;
    bool lineStarted_ = false;
    int clsCount_ = 0;
};

}  // namespace tabulon
