// File, Open... with Qt's own dialog, driven as a user would: it lists *.dsk in
// any case, opens the chosen image, and neither reads nor writes a settings file.
// HOME and XDG_CONFIG_HOME point at a folder of the test's own before Qt starts.
#include "ImageBuilder.h"
#include "Mainform.h"
#include "ReportCanvas.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>

#include <functional>

using namespace tabulon;

namespace {

// Everything in folder, hidden entries and subfolders included.
QStringList Contents(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) found << it.next();
    return found;
}

// The names the dialog's file view shows in its current folder (the list and
// the detail view show the same model).
QStringList Listed(QFileDialog& dialog) {
    QStringList names;
    const auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (!view) return names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        names << view->model()->index(row, 0, root).data().toString();
    }
    names.sort();
    return names;
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT
public:
    explicit DialogTest(QString home) : home_(std::move(home)) {}

private:
    QString home_;
    test::TempDir images_;

    // Triggers File, Open... and runs act on the dialog once it is up; false
    // when no dialog came up. act's own checks are the caller's to make after.
    bool OpenWith(Mainform& form, const std::function<void(QFileDialog&)>& act) {
        bool acted = false;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || acted) return;
            acted = true;
            poll.stop();
            act(*dialog);
        });
        poll.start();
        QTimer guard;  // a dialog left up would hang the test
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        guard.start(20000);
        for (QAction* action : form.findChildren<QAction*>("mnuFileItem")) {
            if (action->data().toInt() == 1) action->trigger();
        }
        return acted;
    }

private slots:
    void preparedSettingsAreNotRead() {
        // What Qt's dialog would restore from: a list view and a last folder elsewhere.
        const QString conf = home_ + "/QtProject.conf";
        const QByteArray prepared =
            "[FileDialog]\nviewMode=List\nlastVisited=file:///usr\nhistory=file:///usr\n"
            "qtVersion=" QT_VERSION_STR "\n";
        {
            QFile file(conf);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(prepared);
        }
        Mainform form;
        form.SetEndProgram([] {});
        QFileDialog::ViewMode mode = QFileDialog::List;
        QString folder;
        QVERIFY(OpenWith(form, [&](QFileDialog& dialog) {
            mode = dialog.viewMode();
            folder = dialog.directory().absolutePath();
            dialog.reject();
        }));
        QCOMPARE(mode, QFileDialog::Detail);
        QCOMPARE(folder, QCoreApplication::applicationDirPath());  // the current folder, not the stored one
        QVERIFY(form.findChild<ReportCanvas*>("ReportCanvas")->Lines().empty());
        QFile file(conf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), prepared);
        QCOMPARE(Contents(home_), QStringList{conf});
        QVERIFY(file.remove());
    }

    void listsDskInAnyCaseOpensAndStoresNothing() {
        const auto image = images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{}));
        for (const char* name : {"lower.dsk", "UPPER.DSK", "Mixed.Dsk"}) images_.Write(name, image);
        images_.Write("notes.txt", test::Bytes(10, 0));
        images_.Write("image.dsk.bak", test::Bytes(10, 0));
        const QString folder = QString::fromStdString(images_.path().string());

        Mainform form;
        form.SetEndProgram([] {});
        QStringList listed;
        bool typed = false;
        QVERIFY(OpenWith(form, [&](QFileDialog& dialog) {
            dialog.setDirectory(folder);  // the user goes to the images' folder
            // The listing fills in the background; what it shows then is checked below.
            static_cast<void>(QTest::qWaitFor([&] { return Listed(dialog).size() >= 3; }, 5000));
            listed = Listed(dialog);
            // The user types the name and presses Enter.
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr) return dialog.reject();
            name->setText(QStringLiteral("UPPER.DSK"));
            QTest::keyClick(name, Qt::Key_Return);
            typed = true;
        }));
        QCOMPARE(listed, (QStringList{"Mixed.Dsk", "UPPER.DSK", "lower.dsk"}));
        QVERIFY(typed);
        QCOMPARE(QString::fromStdString(form.Filename), folder + "/UPPER.DSK");
        const auto& lines = form.findChild<ReportCanvas*>("ReportCanvas")->Lines();
        QCOMPARE(lines.size(), test::kReportLines);
        QVERIFY(std::any_of(lines.begin(), lines.end(),
                            [](const auto& line) { return QString::fromStdString(line.Text).endsWith("UPPER.DSK"); }));
    }

    void cleanupTestCase() {
        // Every dialog is gone by now, and with it any chance to save its state.
        QCOMPARE(Contents(home_), QStringList{});
    }
};

int main(int argc, char** argv) {
    // An empty home and configuration folder, set before Qt reads either.
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    DialogTest test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "DialogTest.moc"
