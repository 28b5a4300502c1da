#include "Mainform.h"

#include "DriveReport.h"
#include "TerminationWatcher.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

// The icon lives in this library's resources; a static library must load them by name.
static void InitTabulonResources() { Q_INIT_RESOURCE(resources); }

namespace tabulon {

namespace {

constexpr int kTwips = ReportCanvas::kTwipsPerPixel;

}  // namespace

Mainform::Mainform(std::unique_ptr<MainformServices> services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), endProgram_([] { QCoreApplication::exit(0); }) {
    InitTabulonResources();
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/tabulon.png")));

    canvas_ = new ReportCanvas(this);
    setCentralWidget(canvas_);

    command1_ = new QPushButton(QStringLiteral("Exit"), canvas_);
    command1_->setGeometry(4080 / kTwips, 6600 / kTwips, 1215 / kTwips, 375 / kTwips);
    command1_->setFocusPolicy(Qt::StrongFocus);
    connect(command1_, &QPushButton::clicked, this, &Mainform::Command1_Click);

    mnuFile_ = menuBar()->addMenu(QStringLiteral("    &File"));
    mnuFileItem_[1] = mnuFile_->addAction(QStringLiteral("&Open..."));
    mnuFileItem_[3] = mnuFile_->addSeparator();
    mnuFileItem_[4] = mnuFile_->addAction(QStringLiteral("E&xit"));
    for (const auto& [index, action] : mnuFileItem_) {
        connect(action, &QAction::triggered, this, [this, index = index] { mnuFileItem_Click(index); });
    }

    auto* watcher = new TerminationWatcher(this);
    connect(watcher, &TerminationWatcher::TerminationRequested, this, [this] {
        const std::int16_t taskManager = 3;
        DoUnLoadPreCheck(taskManager);
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { sessionEnding_ = true; });

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    command1_->setFocus();
    Form_Load();
}

Mainform::~Mainform() = default;

void Mainform::Form_Load() {
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    CenterOnScreen();
}

void Mainform::CenterOnScreen() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    layout()->activate();
    // The outer size: frame, title bar and menu bar included, as far as known yet.
    const QSize outer = isVisible() ? frameGeometry().size() : sizeHint().expandedTo(size());
    const QSize screenSize = screen->geometry().size();  // the whole screen, task bars included
    const QPointF corner = CenteredPosition(QSizeF(screenSize) * kTwips, QSizeF(outer) * kTwips);
    move(QPoint(static_cast<int>(std::lround(corner.x() / kTwips)), static_cast<int>(std::lround(corner.y() / kTwips))));
}

void Mainform::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        command1_->setFocus();
        // The window manager's frame is known only now; centre on the true outer size.
        CenterOnScreen();
    }
}

void Mainform::mnuFileItem_Click(int index) {
    switch (index) {
    case 1: OpenCommand(); break;
    case 4: EndProgram(); break;
    default: break;
    }
}

void Mainform::Command1_Click() { EndProgram(); }

void Mainform::OpenCommand() {
    // The command's trap: any failure ends it here, quietly, leaving the window as it is.
    try {
        const std::optional<QString> chosen = services_->ChooseImageFile(this, QString::fromLatin1(kDialogFilter));
        if (!chosen) return;  // cancelled: Filename stays as it was
        Filename = QFile::encodeName(*chosen).toStdString();
        OpenFile(Filename);
        ShowDriveSpecs();
    } catch (...) {
    }
}

void Mainform::OpenFile(const std::string& filename) {
    if (!imageFile_.Open(filename).Opened()) {
        services_->Warn(this, QString::fromLatin1(kOpenErrorText), QString::fromLatin1(kOpenErrorTitle));
        imageFile_.CloseAll();
    }
}

void Mainform::ShowDriveSpecs() {
    // The image is read while the report is written, and let go of once it is.
    struct CloseImage {
        DiskData& data;
        ~CloseImage() { data.Close(); }
    } closeImage{diskData_};
    AnalysisRecord record;
    tabulon::ShowDriveSpecs(*canvas_, imageFile_, Filename, diskData_, record);
}

void Mainform::EndProgram() {
    imageFile_.CloseAll();
    diskData_.Close();
    endProgram_();
}

std::int16_t Mainform::UnloadModeFor(bool spontaneous, bool sessionEnding) {
    if (sessionEnding) return 2;
    return spontaneous ? 0 : 1;
}

void Mainform::closeEvent(QCloseEvent* event) {
    event->accept();  // a close is never refused
    const std::int16_t mode = UnloadModeFor(event->spontaneous(), sessionEnding_);
    DoUnLoadPreCheck(mode);
}

void Mainform::DoUnLoadPreCheck(const std::int16_t& UnloadMode) {
    if (UnloadMode == 0 || UnloadMode == 3) {
        close();  // inside a close already, Qt lets this pass
        EndProgram();
    }
}

}  // namespace tabulon
