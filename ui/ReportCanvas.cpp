#include "ReportCanvas.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tabulon {

namespace {

QColor FromColorValue(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace

const std::array<FrameLine, 5>& ReportCanvas::FrameLines() {
    static const std::array<FrameLine, 5> lines = {{
        {QLine(8880, 120, 8880, 6480), 2},  // Line5
        {QLine(8880, 6480, 120, 6480), 2},  // Line4
        {QLine(120, 6480, 120, 120), 2},    // Line3
        {QLine(120, 120, 8880, 120), 2},    // Line2
        {QLine(0, 0, 8880, 0), 4},          // Line1
    }};
    return lines;
}

ReportCanvas::ReportCanvas(QWidget* parent)
    : QWidget(parent),
      font_("Courier New", 9, QFont::Bold),
      text_(kWidthTwips / kTwipsPerPixel, kHeightTwips / kTwipsPerPixel, QImage::Format_ARGB32_Premultiplied) {
    font_.setStyleHint(QFont::TypeWriter);
    font_.setItalic(false);
    font_.setUnderline(false);
    font_.setStrikeOut(false);
    setFont(font_);
    setFixedSize(text_.size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    text_.fill(Qt::transparent);
}

int ReportCanvas::ToPixels(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

void ReportCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.drawImage(0, 0, text_);
    for (const FrameLine& line : FrameLines()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), line.WidthPixels, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(ToPixels(line.Twips.x1()), ToPixels(line.Twips.y1()), ToPixels(line.Twips.x2()),
                         ToPixels(line.Twips.y2()));
    }
}

void ReportCanvas::ClearText() {
    text_.fill(Qt::transparent);
    update();
}

double ReportCanvas::DrawText(double x, double y, std::uint32_t color, std::string_view text) {
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetricsF metrics(font_);
    const double xPixels = x / kTwipsPerPixel;
    const double yPixels = y / kTwipsPerPixel;
    {
        QPainter painter(&text_);
        painter.setFont(font_);
        painter.setPen(FromColorValue(color));
        painter.drawText(QPointF(xPixels, yPixels + metrics.ascent()), string);
    }
    update();
    return metrics.horizontalAdvance(string) * kTwipsPerPixel;
}

double ReportCanvas::LineAdvance() const { return QFontMetricsF(font_).height() * kTwipsPerPixel; }

}  // namespace tabulon
