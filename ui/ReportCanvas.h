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
// lines over them. It is the report surface of the window: it paints the lines
// the report printed in paintEvent, so they survive covering and minimising and
// come out at the screen's own pixel density.
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

    explicit ReportCanvas(QWidget* parent = nullptr);

    static double TwipsToPixels(double twips) { return twips / kTwipsPerPixel; }

protected:
    void paintEvent(QPaintEvent* event) override;

    double LineAdvance() const override;
    void LinesChanged() override { update(); }

private:
    void PaintReport(QPainter& painter) const;
    void PaintFrameLines(QPainter& painter) const;

    QFont font_;
};

}  // namespace tabulon
