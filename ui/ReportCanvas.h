#pragma once

#include "ReportSurface.h"

#include <QColor>
#include <QFont>
#include <QLine>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QPainter;

namespace tabulon {

// The window's drawing area: a fixed 9435 x 7110 twips (629 x 474 logical
// pixels) in its background colour, the report's lines, and the five frame
// lines over them. It is the report surface of the window: it keeps the lines
// the report printed and paints them in paintEvent, so they survive covering
// and minimising and come out at the screen's own pixel density.
class ReportCanvas : public QWidget, public ReportSurface {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;  // at 96 logical pixels per inch
    static constexpr int kWidthTwips = 9435;
    static constexpr int kHeightTwips = 7110;
    static inline const QColor kBackground{192, 192, 255};

    // One of the window's frame lines: its end points in twips and its width in pixels.
    struct FrameLine {
        const char* Name;
        QLine Twips;
        int WidthPixels;
    };
    // Line5 to Line1, in the order the window lists them.
    static const std::array<FrameLine, 5>& FrameLines();

    // One printed line: where it started, in twips, its colour value and its text.
    struct TextLine {
        double XTwips = 0;
        double YTwips = 0;
        std::uint32_t Color = kBlack;
        QString Text;
        bool operator==(const TextLine&) const = default;
    };

    explicit ReportCanvas(QWidget* parent = nullptr);

    // The lines printed since the last Cls, blank ones included.
    const std::vector<TextLine>& Lines() const { return lines_; }

    static double TwipsToPixels(double twips) { return twips / kTwipsPerPixel; }

protected:
    void paintEvent(QPaintEvent* event) override;

    void ClearText() override;
    double DrawText(double xTwips, double yTwips, std::uint32_t color, std::string_view text) override;
    double LineAdvance() const override;
    void LineEnded() override;

private:
    void PaintReport(QPainter& painter) const;
    void PaintFrameLines(QPainter& painter) const;

    QFont font_;
    std::vector<TextLine> lines_;
    TextLine current_;
    bool lineStarted_ = false;
};

}  // namespace tabulon
