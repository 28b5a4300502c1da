// The window on a disk with a bad block at 16,384: ctest preloads the library
// (FailingReads.cpp) that fails reads of files named "unreadable..." there. The
// window reads the whole image before it clears anything, so the report drawn
// before stays as it was and no message box is shown, whether the analysis
// itself would have met the bad block (a JV sector at 751,616) or not (a DMK
// sector at 48 of a 1 MiB file, which the command line reports in full).
#include "DriveReport.h"
#include "ImageBuilder.h"
#include "Mainform.h"
#include "RecordingSurface.h"
#include "ReportCanvas.h"
#include "WindowFixture.h"
#include "TestSupport.h"

#include <QAction>
#include <QtTest/QtTest>

using namespace tabulon;

namespace {

QByteArray Bytes(const test::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

class ReadErrorTest : public QObject, test::WindowFixture {
    Q_OBJECT

private slots:
    void init() { Make(); }
    void cleanup() { Reset(); }

    void earlierReportStays_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("onDemandLines");  // what an analysis reading on demand draws
        const test::Bytes sector = images::MakeSystemSector(images::PdriveSlot{});
        QTest::newRow("JV entry early, its sector at 751,616")
            << Bytes(test::Raw().Fill(8706, 0xFF).Put({0, 2}).Resize(751872).bytes()) << 4;
        QTest::newRow("1 MiB DMK, the sector at 48")
            << Bytes(test::Raw().Put(test::kDmkPattern).Resize(48).Put(sector).Resize(1 << 20).bytes()) << 21;
    }

    void earlierReportStays() {
        QFETCH(QByteArray, image);
        QFETCH(int, onDemandLines);
        const auto path = dir_->Write("unreadable.dsk", test::Bytes(image.begin(), image.end()));

        // The library is there: reading on demand meets the bad block only where the sector lies past it.
        ImageFile file;
        QVERIFY(file.Open(path.string()).Opened());
        RecordingSurface onDemand;
        AnalyseOptions options;
        options.Locate = LocateMode::Scan;
        const Analysis analysis = Analyse(file, options);
        DrawDriveReport(onDemand, analysis, path.string());
        QCOMPARE(onDemand.Lines().size(), std::size_t(onDemandLines));
        QCOMPARE(analysis.Stop.has_value(), onDemandLines == 4);
        QVERIFY(file.Open(path.string()).Opened());
        options.ReadWholeFirst = true;
        QCOMPARE(Analyse(file, options).Stop, std::optional(AnalysisStopped::Reason::ReadError));

        Open(QString::fromStdString((test::SamplesDir() / "jv3-drive-report.dsk").string()));
        const auto before = Canvas()->Lines();
        const QImage shot = Canvas()->grab().toImage();
        QCOMPARE(before.size(), std::size_t{24});
        Open(QString::fromStdString(path.string()));
        QVERIFY(Canvas()->Lines() == before);
        QCOMPARE(Canvas()->grab().toImage(), shot);
        QVERIFY(services_->Warnings.isEmpty());
    }
};

QTEST_MAIN(ReadErrorTest)
#include "ReadErrorTest.moc"
