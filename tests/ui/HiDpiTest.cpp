// The window at a scale factor above 1 (QT_SCALE_FACTOR, set by ctest): the
// same logical geometry as at 1x, and the report's text and lines drawn at the
// screen's device pixels rather than drawn at 1x and stretched.
#include "ImageBuilder.h"
#include "Mainform.h"
#include "ReportCanvas.h"
#include "WindowFixture.h"
#include "TestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QtTest/QtTest>

#include <cmath>

using namespace tabulon;

class HiDpiTest : public QObject, test::WindowFixture {
    Q_OBJECT

private slots:
    void init() {
        Make();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        // A report with black and red lines: an image in which nothing is found.
        Open(Write("nothing.dsk", test::Bytes(10, 0)));
        QCOMPARE(Canvas()->Lines().size(), test::kNotFoundLines);
    }
    void cleanup() { Reset(); }

    void logicalGeometryAsAtOneX() {
        const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        QVERIFY2(scale > 1, "run with QT_SCALE_FACTOR above 1");
        QCOMPARE(form_->devicePixelRatioF(), scale);
        QCOMPARE(Canvas()->size(), QSize(629, 474));
        QCOMPARE(form_->findChild<QPushButton*>("Command1")->geometry(), QRect(272, 440, 81, 25));
        QCOMPARE(Canvas()->Lines().front().X, 100.0);
        QCOMPARE(Canvas()->Lines().front().Y, 200.0);

        const QPixmap shot = Canvas()->grab();
        QCOMPARE(shot.devicePixelRatio(), scale);
        QCOMPARE(shot.size(), QSize(int(std::lround(629 * scale)), int(std::lround(474 * scale))));
        // Device pixels under logical points: the background, each frame line, the closed corners.
        const QImage image = shot.toImage();
        auto at = [&](double x, double y) {
            return QColor(image.pixel(int(std::floor(x * scale)), int(std::floor(y * scale))));
        };
        const QColor ink = Canvas()->palette().color(QPalette::WindowText);
        QCOMPARE(at(300, 200), QColor(192, 192, 255));
        QCOMPARE(at(8, 200), ink);
        QCOMPARE(at(592, 200), ink);
        QCOMPARE(at(300, 8), ink);
        QCOMPARE(at(300, 432), ink);
        QCOMPARE(at(7.5, 7.5), ink);
        QCOMPARE(at(592.5, 432.5), ink);
    }

    void textIsDrawnAtDevicePixels() {
        // Stretching a 1x picture by 2 repeats every pixel in a 2 x 2 block;
        // text drawn at the device's own pixels has edges inside the blocks.
        const QImage image = Canvas()->grab().toImage();
        if (image.width() != 2 * 629) QSKIP("the block test needs a scale factor of exactly 2");
        const double advance = Canvas()->Lines()[1].Y - Canvas()->Lines()[0].Y;
        int splitBlocks = 0;
        for (const auto& line : Canvas()->Lines()) {
            const int top = int(line.Y / ReportCanvas::kTwipsPerPixel) * 2;
            const int bottom = int((line.Y + advance) / ReportCanvas::kTwipsPerPixel) * 2;
            for (int y = std::max(top, 20) & ~1; y + 1 < std::min(bottom, 860); y += 2) {
                for (int x = 20; x + 1 < 1180; x += 2) {
                    const QRgb p = image.pixel(x, y);
                    splitBlocks +=
                        p != image.pixel(x + 1, y) || p != image.pixel(x, y + 1) || p != image.pixel(x + 1, y + 1);
                }
            }
        }
        QVERIFY2(splitBlocks > 100, qPrintable(QString::number(splitBlocks)));
    }
};

QTEST_MAIN(HiDpiTest)
#include "HiDpiTest.moc"
