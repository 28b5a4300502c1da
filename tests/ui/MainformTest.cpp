// The window as a user meets it, on Qt's offscreen platform: its look, the Open
// command with a scripted dialog and warning box, closing and ending. Controls
// are found by their object names, as a user finds them by their captions.
#include "ImageBuilder.h"
#include "Mainform.h"
#include "ReportCanvas.h"
#include "WindowFixture.h"
#include "TestSupport.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest/QtTest>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tabulon;

namespace {

using TextLines = std::vector<ReportCanvas::Line>;

// Whether this process holds a descriptor on the file at path.
bool HeldOpen(const std::filesystem::path& path) {
    std::error_code error;
    const auto target = std::filesystem::weakly_canonical(path, error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        if (std::filesystem::read_symlink(entry.path(), error) == target) return true;
    }
    return false;
}

}  // namespace

class MainformTest : public QObject, test::WindowFixture {
    Q_OBJECT

private:
    QString GoodImage() {
        return Write("good.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{})));
    }

    QPushButton* Command1() const { return form_->findChild<QPushButton*>("Command1"); }
    QMenu* MnuFile() const { return form_->findChild<QMenu*>("mnuFile"); }
    const TextLines& Lines() const { return Canvas()->Lines(); }
    QImage Grab() const { return Canvas()->grab().toImage(); }
    QColor LineColour() const { return Canvas()->palette().color(QPalette::WindowText); }

private slots:
    void init() { Make(); }
    void cleanup() { Reset(); }

    void titleControlsAndMenu() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Tabulon for Emulator .Dsk   (DMK or JV)  V.5    by  T.Orlwen"));
        QVERIFY(Canvas() && Command1() && MnuFile());
        QCOMPARE(Canvas()->size(), QSize(629, 474));
        QCOMPARE(Command1()->text(), QStringLiteral("Exit"));
        QCOMPARE(Command1()->geometry(), QRect(272, 440, 81, 25));
        QCOMPARE(MnuFile()->title(), QStringLiteral("    &File"));
        QCOMPARE(form_->menuBar()->actions(), QList<QAction*>{MnuFile()->menuAction()});
        QCOMPARE(form_->findChildren<QAction*>("mnuFileItem").size(), 3);
        QCOMPARE(MnuFileItem(1)->text(), QStringLiteral("&Open..."));
        QVERIFY(MnuFileItem(3)->isSeparator());
        QCOMPARE(MnuFileItem(4)->text(), QStringLiteral("E&xit"));
        QCOMPARE(MnuFile()->actions(), (QList<QAction*>{MnuFileItem(1), MnuFileItem(3), MnuFileItem(4)}));
        for (QAction* action : MnuFile()->actions()) QVERIFY(action->shortcut().isEmpty());
        QVERIFY(!form_->windowIcon().isNull());
        QVERIFY(form_->windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(Canvas()->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(Canvas()->font().pointSize(), 9);
        QCOMPARE(Canvas()->font().weight(), QFont::Bold);
    }

    void backgroundAndFrameLines() {
        const QImage shot = Grab();
        QCOMPARE(QColor(shot.pixel(300, 200)), QColor(192, 192, 255));
        QCOMPARE(QColor(shot.pixel(592, 200)), LineColour());         // Line5 at x = 8880 twips
        QCOMPARE(QColor(shot.pixel(8, 200)), LineColour());           // Line3 at x = 120
        QCOMPARE(QColor(shot.pixel(300, 8)), LineColour());           // Line2 at y = 120
        QCOMPARE(QColor(shot.pixel(300, 432)), LineColour());         // Line4 at y = 6480
        QCOMPARE(QColor(shot.pixel(300, 0)), LineColour());           // Line1 along the top
        QCOMPARE(QColor(shot.pixel(600, 0)), QColor(192, 192, 255));  // Line1 ends at x = 8880
        QCOMPARE(QColor(shot.pixel(300, 3)), QColor(192, 192, 255));  // half of Line1 lies above the area
    }

    void frameCornersAreClosed() {
        // A 2-pixel line at x covers x - 1 and x; each corner's 2 x 2 pixels,
        // the outer one included, are all line.
        const QImage shot = Grab();
        for (const QPoint corner : {QPoint(8, 8), QPoint(592, 8), QPoint(8, 432), QPoint(592, 432)}) {
            for (const QPoint offset : {QPoint(-1, -1), QPoint(0, -1), QPoint(-1, 0), QPoint(0, 0)}) {
                const QPoint pixel = corner + offset;
                QVERIFY2(QColor(shot.pixel(pixel)) == LineColour(),
                         qPrintable(QStringLiteral("corner pixel %1,%2").arg(pixel.x()).arg(pixel.y())));
            }
            // Just outside the corner, the background: the caps close the corner and no more.
            const QPoint outside = corner + QPoint(corner.x() < 300 ? -2 : 1, corner.y() < 200 ? -2 : 1);
            if (outside.y() > 3) QCOMPARE(QColor(shot.pixel(outside)), QColor(192, 192, 255));
        }
    }

    void exitHoldsTheFocusAndSpaceEndsTheProgram() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(QApplication::focusWidget(), Command1());
        QTest::keyClick(Command1(), Qt::Key_Space);
        QCOMPARE(ended_, 1);
    }

    void openDrawsEachOutcome_data() {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < test::OutcomeImages().size(); ++i) {
            QTest::newRow(test::OutcomeImages()[i].Name) << int(i);
        }
    }

    void openDrawsEachOutcome() {
        QFETCH(int, index);
        const test::OutcomeImage& c = test::OutcomeImages()[static_cast<std::size_t>(index)];
        const QString path = Write("image.dsk", c.Image);
        Open(path);
        QCOMPARE(services_->Filters, QStringList{"Dsk Files (*.dsk)|*.dsk|"});
        QVERIFY(services_->Warnings.isEmpty());
        QCOMPARE(QString::fromStdString(form_->Filename), path);
        QVERIFY(!HeldOpen(path.toStdString()));
        QCOMPARE(Lines().size(), test::ReportLines(c.Result, c.SwitchLines));
        // The first line 100 twips in and 200 down; every later one at the left edge, a line lower.
        QCOMPARE(Lines().front().X, 100.0);
        QCOMPARE(Lines().front().Y, 200.0);
        for (std::size_t i = 1; i < Lines().size(); ++i) {
            QCOMPARE(Lines()[i].X, 0.0);
            QVERIFY(Lines()[i].Y > Lines()[i - 1].Y);
        }
        const auto named = std::count_if(Lines().begin(), Lines().end(), [&](const auto& line) {
            return QString::fromStdString(line.Text).endsWith(path);
        });
        QCOMPARE(named, 1);
        for (std::size_t i = 0; i < Lines().size(); ++i) {
            const bool red = c.Result == Outcome::NotFound && i + 1 == Lines().size();
            QCOMPARE(Lines()[i].Color, red ? kRed : kBlack);
        }
    }

    void textIsDrawnWhereAndHowItIsKept() {
        // The pixels agree with the kept lines: black ink in the first line's
        // band from x = 100 twips on, red ink only in the not-found line's band.
        Open(Write("nothing.dsk", test::Bytes(10, 0)));
        const QImage shot = Grab();
        const double advance = Lines()[1].Y - Lines()[0].Y;
        auto inkIn = [&](double topTwips, auto isInk) {
            int count = 0, left = shot.width();
            const int top = int(topTwips / ReportCanvas::kTwipsPerPixel);
            const int bottom = int((topTwips + advance) / ReportCanvas::kTwipsPerPixel);
            for (int y = std::max(top, 10); y < bottom && y < 430; ++y) {
                for (int x = 10; x < 590; ++x) {
                    if (isInk(QColor(shot.pixel(x, y)))) {
                        ++count;
                        left = std::min(left, x);
                    }
                }
            }
            return std::pair{count, left};
        };
        auto black = [](const QColor& c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; };
        auto red = [](const QColor& c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; };
        const auto [firstInk, firstLeft] = inkIn(Lines()[0].Y, black);
        QVERIFY(firstInk > 20);
        QVERIFY(firstLeft >= 100 / ReportCanvas::kTwipsPerPixel);
        QCOMPARE(inkIn(Lines()[0].Y, red).first, 0);
        QVERIFY(inkIn(Lines().back().Y, red).first > 20);
    }

    void failedOpenWarnsOnceAndKeepsTheReport() {
        Open(GoodImage());
        const TextLines before = Lines();
        const QImage shot = Grab();
        const QString missing = QString::fromStdString((dir_->path() / "missing.dsk").string());
        Open(missing);
        QCOMPARE(services_->Warnings,
                 QStringList{"Text Editor|Error encountered while trying to open file, please retry."});
        QVERIFY(Lines() == before);
        QCOMPARE(Grab(), shot);
        QCOMPARE(QString::fromStdString(form_->Filename), missing);  // Filename holds the new name
    }

    void directoryAndDeletedFileAreRefusedLikeAnyFailedOpen() {
        Open(QString::fromStdString(dir_->path().string()));
        const QString doomed = Write("doomed.dsk", test::Bytes(100, 0));
        services_->BeforeReturning = [&] { std::filesystem::remove(doomed.toStdString()); };
        Open(doomed);
        QCOMPARE(services_->Warnings.size(), 2);
        QVERIFY(Lines().empty());
    }

    void refusedPathsWarnOnceAndKeepTheReport_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"fifo", "/dev/zero", "/dev/null", "dangling link", "link to folder", "sparse 3 GiB"}) {
            QTest::newRow(kind) << QString::fromLatin1(kind);
        }
    }

    void refusedPathsWarnOnceAndKeepTheReport() {
        QFETCH(QString, kind);
        namespace fs = std::filesystem;
        const fs::path base = dir_->path();
        fs::path path = base / "target.dsk";
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
        } else if (kind.startsWith('/')) {
            path = kind.toStdString();
        } else if (kind == "dangling link") {
            fs::create_symlink(base / "nowhere", path);
        } else if (kind == "link to folder") {
            fs::create_directory(base / "folder");
            fs::create_symlink(base / "folder", path);
        } else {
            std::ofstream(path).close();
            fs::resize_file(path, std::uintmax_t{3} << 30);
        }
        Open(GoodImage());
        const TextLines before = Lines();
        Open(QString::fromStdString(path.string()));
        QCOMPARE(services_->Warnings.size(), 1);
        QVERIFY(Lines() == before);
        if (!kind.startsWith('/')) QVERIFY(!HeldOpen(path));
    }

    void awkwardNamesAreDrawn_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("space") << QByteArray("with space.dsk");
        QTest::newRow("newline") << QByteArray("new\nline.dsk");
        QTest::newRow("non-ASCII") << QByteArray("d\xc3\xa9j\xc3\xa0.dsk");
        QTest::newRow("invalid UTF-8") << QByteArray("bad\xff\xfe.dsk");
        QTest::newRow("empty") << QByteArray("empty.dsk");
        QTest::newRow("one byte") << QByteArray("one.dsk");
    }

    void awkwardNamesAreDrawn() {
        QFETCH(QByteArray, name);
        const test::Bytes bytes = name == "empty.dsk" ? test::Bytes{} : test::Bytes(name == "one.dsk" ? 1 : 10, 0);
        const auto path = dir_->Write(name.toStdString(), bytes);
        // The dialog hands back names decoded as Qt's own does. Qt holds names as
        // Unicode text, so a name that is not valid UTF-8 cannot come back whole:
        // the open fails and the user sees the warning, nothing worse.
        Open(QFile::decodeName(QByteArray::fromStdString(path.string())));
        if (name.contains('\xff')) {
            QCOMPARE(services_->Warnings.size(), 1);
            return;
        }
        QVERIFY(services_->Warnings.isEmpty());
        QCOMPARE(form_->Filename, path.string());
        QCOMPARE(Lines().size(), test::kNotFoundLines);
        const QString shown = QString::fromStdString(path.string());
        QVERIFY(std::any_of(Lines().begin(), Lines().end(),
                            [&](const auto& line) { return QString::fromStdString(line.Text).endsWith(shown); }));
    }

    void thousandAnalysesDoNotGrowMemory() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer keeps freed memory in quarantine; there LeakSanitizer checks for leaks instead");
#endif
        const QString image = GoodImage();
        auto residentKiB = [] {
            std::ifstream statm("/proc/self/statm");
            long size = 0, resident = 0;
            statm >> size >> resident;
            return resident * (::sysconf(_SC_PAGESIZE) / 1024);
        };
        for (int i = 0; i < 100; ++i) Open(image);
        const long warm = residentKiB();
        for (int i = 0; i < 1000; ++i) Open(image);
        const long after = residentKiB();
        qInfo("resident memory: %ld KiB after 100 analyses, %ld KiB after 1,100", warm, after);
        QVERIFY2(after - warm < 2048, "memory grew over 1,000 analyses");
        QVERIFY(services_->Warnings.isEmpty());
        QCOMPARE(Lines().size(), test::kReportLines);
    }

    void cancelChangesNothing() {
        Open(Write("good.dsk", test::Bytes(10, 0)));
        const TextLines before = Lines();
        const std::string name = form_->Filename;
        Open(QString());  // cancel
        QVERIFY(Lines() == before);
        QCOMPARE(form_->Filename, name);
        QVERIFY(services_->Warnings.isEmpty());
    }

    void secondAnalysisClearsTheFirstAndIsBlack() {
        Open(Write("nothing.dsk", test::Bytes(10, 0)));
        QCOMPARE(Lines().back().Color, kRed);
        Open(Write("wrong.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{}, 0))));
        QCOMPARE(Lines().size(), test::ReportLines(Outcome::NotNewdos));
        QVERIFY(std::all_of(Lines().begin(), Lines().end(), [](const auto& line) { return line.Color == kBlack; }));
        QVERIFY(std::none_of(Lines().begin(), Lines().end(), [](const auto& line) {
            return QString::fromStdString(line.Text).endsWith("nothing.dsk");
        }));
    }

    void stoppedAnalysisLeavesWhatWasDrawn() {
        // The sector is found but the marker lies past the end: the searching
        // line and the heading block stay, nothing after them.
        const QString path = Write("cut.dsk", test::Raw().Put(test::kDmkPattern).Resize(100).bytes());
        Open(path);
        QCOMPARE(Lines().size(), std::size_t{9});
        QVERIFY(Lines().back().Text.empty());
        QVERIFY(services_->Warnings.isEmpty());
        QVERIFY(!HeldOpen(path.toStdString()));
    }

    void frameLinesStayOverLongText() {
        const QString path = Write(QString(120, 'x') + ".dsk", test::Bytes(10, 0));
        Open(path);
        const QImage shot = Grab();
        for (int y = 10; y < 430; ++y) QCOMPARE(QColor(shot.pixel(592, y)), LineColour());
        // The file name line runs on under Line5 and out to the edge of the area.
        const auto named = std::find_if(Lines().begin(), Lines().end(), [&](const auto& line) {
            return QString::fromStdString(line.Text).endsWith(path);
        });
        QVERIFY(named != Lines().end());
        const int top = int(named->Y / ReportCanvas::kTwipsPerPixel);
        int ink = 0;
        for (int y = top; y < top + 12; ++y) {
            for (int x = 600; x < shot.width(); ++x) ink += QColor(shot.pixel(x, y)) != QColor(192, 192, 255);
        }
        QVERIFY2(ink > 0, "the file name line should run past Line5");
    }

    void menuIndicesAndExitButton() {
        form_->mnuFileItem_Click(2);
        MnuFileItem(3)->trigger();
        form_->mnuFileItem_Click(7);
        QCOMPARE(ended_, 0);
        QVERIFY(services_->Filters.isEmpty());
        MnuFileItem(4)->trigger();
        QCOMPARE(ended_, 1);
        QTest::mouseClick(Command1(), Qt::LeftButton);
        QCOMPARE(ended_, 2);
    }

    void unloadModes() {
        QCOMPARE(Mainform::UnloadModeFor(true, false), kCloseByUser);
        QCOMPARE(Mainform::UnloadModeFor(false, false), kCloseByProgram);
        QCOMPARE(Mainform::UnloadModeFor(true, true), kCloseBySessionEnd);
        QCOMPARE(Mainform::UnloadModeFor(false, true), kCloseBySessionEnd);
    }

    void doUnLoadPreCheckTable() {
        for (const std::int16_t mode :
             {kCloseByUser, kCloseByProgram, kCloseBySessionEnd, kCloseByTaskManager, kCloseByParent, kCloseByOwner}) {
            form_->show();
            ended_ = 0;
            form_->DoUnLoadPreCheck(mode);
            const bool ends = mode == kCloseByUser || mode == kCloseByTaskManager;
            QCOMPARE(ended_, ends ? 1 : 0);
            QCOMPARE(form_->isVisible(), !ends);
        }
    }

    void programCloseGoesAheadWithoutEnding() {
        form_->show();
        QVERIFY(form_->close());  // the program's own close: mode 1
        QCOMPARE(ended_, 0);
        QVERIFY(!form_->isVisible());
    }

    void sigtermClosesThroughDoUnLoadPreCheck() {
        form_->show();
        ::raise(SIGTERM);
        QTRY_COMPARE(ended_, 1);
        QVERIFY(!form_->isVisible());
    }

    void closeDuringTheDialogIsActedOnWhenTheCommandEnds_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("ends");
        QTest::newRow("task manager") << "SIGTERM" << true;
        QTest::newRow("program") << "program" << false;
    }

    // A close box request cannot be made on the offscreen platform (Qt marks
    // every close made there as the program's); scripts/screenshots makes one
    // under a window manager while the real dialog is up.
    void closeDuringTheDialogIsActedOnWhenTheCommandEnds() {
        QFETCH(QString, request);
        QFETCH(bool, ends);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        bool visibleInDialog = false;
        int endedInDialog = -1;
        services_->BeforeReturning = [&] {
            if (request == "SIGTERM") ::raise(SIGTERM);
            if (request == "program") form_->close();
            QTest::qWait(50);  // the dialog's own event loop runs meanwhile
            visibleInDialog = form_->isVisible();
            endedInDialog = ended_;
        };
        Open(GoodImage());
        QVERIFY(visibleInDialog);
        QCOMPARE(endedInDialog, 0);
        QCOMPARE(Lines().size(), test::kReportLines);  // the command ran to its end first
        QCOMPARE(ended_, ends ? 1 : 0);
        QVERIFY(!form_->isVisible());
    }

    void dialogFilterForQt() {
        QCOMPARE(QtNameFilters("Dsk Files (*.dsk)|*.dsk|"), QStringLiteral("Dsk Files (*.dsk)"));
        QCOMPARE(QtNameFilters("Images|*.dsk|All (*)|*|"), QStringLiteral("Images (*.dsk);;All (*)"));
    }

    void centring() {
        // 1280 x 1024 pixels, a window of 637 x 503: halves taken first, fractions kept.
        QCOMPARE(CenteredPosition(QSizeF(19200, 15360), QSizeF(9555, 7545)), QPointF(4822.5, 3907.5));
        // A window larger than the screen reaches past its edges.
        QCOMPARE(CenteredPosition(QSizeF(9600, 7200), QSizeF(12000, 9000)), QPointF(-1200, -900));
        // On the real (offscreen) screen: as far from the left edge as from the right.
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        const QRect screen = form_->screen()->geometry();
        const QRect frame = form_->frameGeometry();
        QVERIFY(std::abs((frame.left() - screen.left()) - (screen.right() - frame.right())) <= 1);
        QVERIFY(std::abs((frame.top() - screen.top()) - (screen.bottom() - frame.bottom())) <= 1);
    }

    void startUpMakesTheProgramFolderCurrent() {
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
    }
};

QTEST_MAIN(MainformTest)
#include "MainformTest.moc"
