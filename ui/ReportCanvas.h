#pragma once

#include "ReportSurface.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLine>
#include <QWidget>

#include <array>

namespace tabulon {

// One of the window's frame lines: its end points in twips and its width in pixels.
struct FrameLine {
    QLine Twips;
    int WidthPixels;
};

// The window's drawing area: a fixed 9435 x 7110 twips (629 x 474 pixels) in
// its background colour, the report text on a persistent layer (so it survives
// covering, minimising and restoring), and the five frame lines drawn over the
// text. It is the report surface of the window.
class ReportCanvas : public QWidget, public ReportSurface {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kWidthTwips = 9435;
    static constexpr int kHeightTwips = 7110;
    static inline const QColor kBackground{192, 192, 255};

    // Line5 to Line1, in the order the window lists them.
    static const std::array<FrameLine, 5>& FrameLines();

    explicit ReportCanvas(QWidget* parent = nullptr);

    const QFont& ReportFont() const { return font_; }
    const QImage& TextLayer() const { return text_; }

    static int ToPixels(double twips);

protected:
    void paintEvent(QPaintEvent* event) override;

    void ClearText() override;
    double DrawText(double x, double y, std::uint32_t color, std::string_view text) override;
    double LineAdvance() const override;

private:
    QFont font_;
    QImage text_;
};

}  // namespace tabulon
