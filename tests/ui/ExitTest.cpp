// The Exit button really ends the program's event loop, without a close request.
// In a process of its own: leaving the loop this way ends every later loop too.
#include "Mainform.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest/QtTest>

class ExitTest : public QObject {
    Q_OBJECT
private slots:
    void exitEndsTheEventLoop() {
        tabulon::Mainform form;
        form.show();
        QTimer::singleShot(0, &form,
                           [&form] { QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton); });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });  // a safety net, never reached
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(form.isVisible());  // no close request was made
    }
};

QTEST_MAIN(ExitTest)
#include "ExitTest.moc"
