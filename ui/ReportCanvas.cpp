#include "ReportCanvas.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tabulon {

namespace {

QColor FromColorValue(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace

const std::array<ReportCanvas::FrameLine, 5>& ReportCanvas::FrameLines() {
    static const std::array<FrameLine, 5> lines = {{
        {"Line5", QLine(8880, 120, 8880, 6480), 2},
        {"Line4", QLine(8880, 6480, 120, 6480), 2},
        {"Line3", QLine(120, 6480, 120, 120), 2},
        {"Line2", QLine(120, 120, 8880, 120), 2},
        {"Line1", QLine(0, 0, 8880, 0), 4},
    }};
    return lines;
}

ReportCanvas::ReportCanvas(QWidget* parent) : QWidget(parent), font_(QStringLiteral("Courier New"), 9, QFont::Bold) {
    setObjectName(QStringLiteral("ReportCanvas"));
    font_.setStyleHint(QFont::TypeWriter);
    font_.setItalic(false);
    font_.setUnderline(false);
    font_.setStrikeOut(false);
    setFont(font_);
    setFixedSize(kWidthTwips / kTwipsPerPixel, kHeightTwips / kTwipsPerPixel);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ReportCanvas::paintEvent(QPaintEvent*) {
    // The painter works in logical pixels; Qt maps them to the backing store's
    // device pixels, so text and lines are drawn at the screen's density.
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    PaintReport(painter);
    PaintFrameLines(painter);
}

void ReportCanvas::PaintReport(QPainter& painter) const {
    painter.setFont(font_);
    const double ascentPixels = QFontMetricsF(font_, this).ascent();
    for (const Line& line : Lines()) {
        if (line.Text.empty()) continue;
        painter.setPen(FromColorValue(line.Color));
        painter.drawText(QPointF(TwipsToPixels(line.X), TwipsToPixels(line.Y) + ascentPixels),
                         QString::fromUtf8(line.Text.data(), static_cast<qsizetype>(line.Text.size())));
    }
}

void ReportCanvas::PaintFrameLines(QPainter& painter) const {
    // Square caps reach half the width past each end, so where two frame lines
    // meet, the outer corner pixels are drawn and the rectangle is closed.
    const QColor ink = palette().color(QPalette::WindowText);
    for (const FrameLine& line : FrameLines()) {
        painter.setPen(QPen(ink, line.WidthPixels, Qt::SolidLine, Qt::SquareCap));
        painter.drawLine(QPointF(TwipsToPixels(line.Twips.x1()), TwipsToPixels(line.Twips.y1())),
                         QPointF(TwipsToPixels(line.Twips.x2()), TwipsToPixels(line.Twips.y2())));
    }
}

double ReportCanvas::LineAdvance() const { return QFontMetricsF(font_, this).height() * kTwipsPerPixel; }

}  // namespace tabulon
