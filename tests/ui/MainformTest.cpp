// The window as a user meets it, on Qt's offscreen platform: its look, the Open
// command with a scripted dialog and warning box, closing and ending.
#include "ImageBuilder.h"
#include "Mainform.h"
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

// Plays the user's part in the dialog and the warning box.
class ScriptedServices : public MainformServices {
public:
    QStringList Answers;  // the files the dialog returns, in turn; an empty one cancels
    std::function<void()> BeforeReturning;       // runs as the dialog closes
    QStringList Filters;
    QStringList Warnings;

    std::optional<QString> ChooseImageFile(QWidget*, const QString& filter) override {
        Filters << filter;
        if (BeforeReturning) BeforeReturning();
        const QString answer = Answers.isEmpty() ? QString() : Answers.takeFirst();
        if (answer.isEmpty()) return std::nullopt;
        return answer;
    }
    void Warn(QWidget*, const QString& text, const QString& title) override { Warnings << title + "|" + text; }
};

// Rows of the text layer that hold ink, grouped into bands: one band per non-blank line.
int InkBands(const QImage& layer) {
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < layer.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < layer.width() && !ink; ++x) ink = qAlpha(layer.pixel(x, y)) != 0;
        if (ink && !inBand) ++bands;
        inBand = ink;
    }
    return bands;
}

int RedPixels(const QImage& layer) {
    int red = 0;
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) {
            const QRgb pixel = layer.pixel(x, y);
            if (qAlpha(pixel) > 200 && qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60) ++red;
        }
    }
    return red;
}

}  // namespace

class MainformTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Mainform> form_;
    ScriptedServices* services_ = nullptr;
    int ended_ = 0;
    std::unique_ptr<test::TempDir> dir_;

    QString Write(const QString& name, const test::Bytes& bytes) {
        return QString::fromStdString(dir_->Write(name.toStdString(), bytes).string());
    }
    void Open(const QString& answer) {
        services_->Answers << answer;
        form_->mnuFileItem().at(1)->trigger();
    }
    QImage Grab() { return form_->Canvas()->grab().toImage(); }

private slots:
    void init() {
        auto services = std::make_unique<ScriptedServices>();
        services_ = services.get();
        form_ = std::make_unique<Mainform>(std::move(services));
        ended_ = 0;
        form_->SetEndProgram([this] { ++ended_; });
        dir_ = std::make_unique<test::TempDir>();
    }
    void cleanup() {
        form_.reset();
        dir_.reset();
    }

    void titleControlsAndMenu() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Tabulon for Emulator .Dsk   (DMK or JV)  V.5    by  T.Orlwen"));
        QCOMPARE(form_->Canvas()->size(), QSize(629, 474));
        QCOMPARE(form_->Command1()->text(), QStringLiteral("Exit"));
        QCOMPARE(form_->Command1()->geometry(), QRect(272, 440, 81, 25));
        QCOMPARE(form_->mnuFile()->title(), QStringLiteral("    &File"));
        const auto& items = form_->mnuFileItem();
        QCOMPARE(items.size(), std::size_t{3});
        QCOMPARE(items.at(1)->text(), QStringLiteral("&Open..."));
        QVERIFY(items.at(3)->isSeparator());
        QCOMPARE(items.at(4)->text(), QStringLiteral("E&xit"));
        for (const auto& [index, action] : items) QVERIFY(action->shortcut().isEmpty());
        QCOMPARE(form_->mnuFile()->actions().size(), 3);
        QVERIFY(!form_->windowIcon().isNull());
        QVERIFY(form_->windowIcon().availableSizes().contains(QSize(32, 32)));
        QCOMPARE(form_->Canvas()->ReportFont().family(), QStringLiteral("Courier New"));
        QCOMPARE(form_->Canvas()->ReportFont().pointSize(), 9);
        QCOMPARE(form_->Canvas()->ReportFont().weight(), QFont::Bold);
    }

    void backgroundAndFrameLines() {
        const QImage shot = Grab();
        QCOMPARE(QColor(shot.pixel(300, 200)), QColor(192, 192, 255));
        const QColor lineColour = form_->Canvas()->palette().color(QPalette::WindowText);
        QCOMPARE(QColor(shot.pixel(592, 200)), lineColour);  // Line5 at x = 8880 twips
        QCOMPARE(QColor(shot.pixel(8, 200)), lineColour);    // Line3 at x = 120
        QCOMPARE(QColor(shot.pixel(300, 8)), lineColour);    // Line2 at y = 120
        QCOMPARE(QColor(shot.pixel(300, 432)), lineColour);  // Line4 at y = 6480
        QCOMPARE(QColor(shot.pixel(300, 0)), lineColour);    // Line1 along the top
        QCOMPARE(QColor(shot.pixel(600, 0)), QColor(192, 192, 255));  // Line1 ends at x = 8880
    }

    void exitHoldsTheFocusAndSpaceEndsTheProgram() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(QApplication::focusWidget(), form_->Command1());
        QTest::keyClick(form_->Command1(), Qt::Key_Space);
        QCOMPARE(ended_, 1);
    }

    void openDrawsEachOutcome_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("textLines");
        QTest::addColumn<bool>("red");
        namespace img = images;
        const auto sector = img::MakeSystemSector(img::PdriveSlot{});
        const auto wrong = img::MakeSystemSector(img::PdriveSlot{}, 0x00);
        auto bytes = [](const test::Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())); };
        // Non-blank lines of each report: 21, 24, 11 and 13 lines in all.
        QTest::newRow("DMK") << bytes(img::BuildDmkImage({}, sector)) << 15 << false;
        QTest::newRow("JV3") << bytes(img::BuildJv3Image(img::StandardJv3Sectors(3, 10, false, sector))) << 16 << false;
        QTest::newRow("wrong marker") << bytes(img::BuildDmkImage({}, wrong)) << 6 << false;
        QTest::newRow("not found") << bytes(test::Bytes(6000, 0xE5)) << 7 << true;
    }

    void openDrawsEachOutcome() {
        QFETCH(QByteArray, image);
        QFETCH(int, textLines);
        QFETCH(bool, red);
        const QString path = Write("image.dsk", test::Bytes(image.begin(), image.end()));
        Open(path);
        QCOMPARE(services_->Filters, QStringList{"Dsk Files (*.dsk)|*.dsk|"});
        QVERIFY(services_->Warnings.isEmpty());
        QCOMPARE(QString::fromStdString(form_->Filename), path);
        QVERIFY(!form_->ImageFileOpen());
        QCOMPARE(InkBands(form_->Canvas()->TextLayer()), textLines);
        QCOMPARE(RedPixels(form_->Canvas()->TextLayer()) > 0, red);
    }

    void failedOpenWarnsOnceAndKeepsTheReport() {
        Open(Write("good.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{}))));
        const QImage before = Grab();
        const std::string goodName = form_->Filename;
        const QString missing = QString::fromStdString((dir_->path() / "missing.dsk").string());
        Open(missing);
        QCOMPARE(services_->Warnings,
                 QStringList{"Text Editor|Error encountered while trying to open file, please retry."});
        QCOMPARE(Grab(), before);
        QCOMPARE(QString::fromStdString(form_->Filename), missing);  // Filename holds the new name
        QVERIFY(!std::filesystem::exists(missing.toStdString()));
        QVERIFY(form_->Filename != goodName);
    }

    void directoryAndDeletedFileAreRefusedLikeAnyFailedOpen() {
        Open(QString::fromStdString(dir_->path().string()));
        const QString doomed = Write("doomed.dsk", test::Bytes(100, 0));
        services_->BeforeReturning = [&] { std::filesystem::remove(doomed.toStdString()); };
        Open(doomed);
        QCOMPARE(services_->Warnings.size(), 2);
        QCOMPARE(InkBands(form_->Canvas()->TextLayer()), 0);
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
        Open(Write("good.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{}))));
        const QImage before = Grab();
        Open(QString::fromStdString(path.string()));
        QCOMPARE(services_->Warnings.size(), 1);
        QCOMPARE(Grab(), before);
        QVERIFY(!form_->ImageFileOpen());
        QVERIFY(form_->Disk().FileLength() < 1000000);  // the 3 GiB file was never loaded
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
        QCOMPARE(InkBands(form_->Canvas()->TextLayer()), 7);  // a not-found report
    }

    void thousandAnalysesDoNotGrowMemory() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer keeps freed memory in quarantine; there LeakSanitizer checks for leaks instead");
#endif
        const QString image = Write("good.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{})));
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
    }

    void cancelChangesNothing() {
        Open(Write("good.dsk", test::Bytes(10, 0)));
        const QImage before = Grab();
        const std::string name = form_->Filename;
        Open(QString());  // cancel
        QCOMPARE(Grab(), before);
        QCOMPARE(form_->Filename, name);
        QVERIFY(services_->Warnings.isEmpty());
    }

    void secondAnalysisClearsTheFirstAndIsBlack() {
        Open(Write("nothing.dsk", test::Bytes(10, 0)));
        QVERIFY(RedPixels(form_->Canvas()->TextLayer()) > 0);
        Open(Write("wrong.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{}, 0))));
        QCOMPARE(RedPixels(form_->Canvas()->TextLayer()), 0);
        QCOMPARE(InkBands(form_->Canvas()->TextLayer()), 6);
    }

    void stoppedAnalysisLeavesWhatWasDrawn() {
        Open(Write("cut.dsk", test::Raw().Put(test::kDmkPattern).Resize(100).bytes()));
        QCOMPARE(InkBands(form_->Canvas()->TextLayer()), 5);  // searching line and heading block
        QVERIFY(services_->Warnings.isEmpty());
    }

    void frameLinesStayOverLongText() {
        const std::string longName(120, 'x');
        const QString path = Write(QString::fromStdString(longName + ".dsk"), test::Bytes(10, 0));
        Open(path);
        const QImage shot = Grab();
        const QColor lineColour = form_->Canvas()->palette().color(QPalette::WindowText);
        int crossings = 0;
        for (int y = 10; y < 430; ++y) {
            QCOMPARE(QColor(shot.pixel(592, y)), lineColour);
            if (qAlpha(form_->Canvas()->TextLayer().pixel(592, y)) != 0) ++crossings;
        }
        QVERIFY2(crossings > 0, "the file name line should run under Line5");
    }

    void menuIndicesAndExitButton() {
        form_->mnuFileItem_Click(2);
        form_->mnuFileItem_Click(3);
        form_->mnuFileItem_Click(7);
        QCOMPARE(ended_, 0);
        QVERIFY(services_->Filters.isEmpty());
        form_->mnuFileItem().at(4)->trigger();
        QCOMPARE(ended_, 1);
        QTest::mouseClick(form_->Command1(), Qt::LeftButton);
        QCOMPARE(ended_, 2);
    }

    void unloadModes() {
        QCOMPARE(Mainform::UnloadModeFor(true, false), std::int16_t{0});
        QCOMPARE(Mainform::UnloadModeFor(false, false), std::int16_t{1});
        QCOMPARE(Mainform::UnloadModeFor(true, true), std::int16_t{2});
        QCOMPARE(Mainform::UnloadModeFor(false, true), std::int16_t{2});
    }

    void doUnLoadPreCheckTable() {
        for (std::int16_t mode = 0; mode <= 5; ++mode) {
            form_->show();
            ended_ = 0;
            form_->DoUnLoadPreCheck(mode);
            const bool ends = mode == 0 || mode == 3;
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
