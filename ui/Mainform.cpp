#include "Mainform.h"

#include "DriveReport.h"
#include "ReportCanvas.h"
#include "TerminationWatcher.h"
#include "WindowCloseWatcher.h"
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

#include <cmath>
#include <utility>

// The icon lives in this library's resources; a static library must load them by name.
static void InitTabulonResources() { Q_INIT_RESOURCE(resources); }

namespace tabulon {

namespace {

constexpr int kTwipsPerPixel = ReportCanvas::kTwipsPerPixel;

QRect TwipsToPixels(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

}  // namespace

Mainform::Mainform(std::unique_ptr<MainformServices> services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), endProgram_([] { QCoreApplication::exit(0); }) {
    CreateForm();
    CreateCanvas();
    CreateExitButton();
    CreateMenu();
    WatchCloseRequests();
    Form_Load();
}

Mainform::~Mainform() = default;

void Mainform::CreateForm() {
    InitTabulonResources();
    setObjectName(QStringLiteral("Mainform"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/tabulon.png")));
    // The window is as large as its drawing area and menu bar, and no larger.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void Mainform::CreateCanvas() {
    canvas_ = new ReportCanvas(this);
    setCentralWidget(canvas_);
}

void Mainform::CreateExitButton() {
    command1_ = new QPushButton(QStringLiteral("Exit"), canvas_);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(TwipsToPixels(4080, 6600, 1215, 375));
    // The only control that takes the keyboard focus, so Space presses it.
    command1_->setFocusPolicy(Qt::StrongFocus);
    command1_->setFocus();
    connect(command1_, &QPushButton::clicked, this, &Mainform::Command1_Click);
}

void Mainform::CreateMenu() {
    mnuFile_ = menuBar()->addMenu(QStringLiteral("    &File"));
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    // One array of entries, told apart by their index; there is no entry 2.
    const std::pair<int, QAction*> entries[] = {
        {1, mnuFile_->addAction(QStringLiteral("&Open..."))},
        {3, mnuFile_->addSeparator()},
        {4, mnuFile_->addAction(QStringLiteral("E&xit"))},
    };
    for (const auto& [index, action] : entries) {
        action->setObjectName(QStringLiteral("mnuFileItem"));
        action->setData(index);
        connect(action, &QAction::triggered, this, [this, index = index] { mnuFileItem_Click(index); });
    }
}

void Mainform::WatchCloseRequests() {
    auto* termination = new TerminationWatcher(this);
    connect(termination, &TerminationWatcher::TerminationRequested, this,
            [this] { CloseRequested(kCloseByTaskManager); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { sessionEnding_ = true; });
    // Qt drops a window manager's close request while the Open dialog blocks
    // this window; the watcher still sees it, and the command acts on it when it ends.
    auto* windowClose = new WindowCloseWatcher(this);
    connect(windowClose, &WindowCloseWatcher::CloseRequested, this, [this] {
        if (commandRunning_) CloseRequested(sessionEnding_ ? kCloseBySessionEnd : kCloseByUser);
    });
}

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
    const QPointF cornerTwips = CenteredPosition(QSizeF(screenSize) * kTwipsPerPixel, QSizeF(outer) * kTwipsPerPixel);
    // move() places the outer frame's top-left corner.
    move(QPoint(static_cast<int>(std::lround(cornerTwips.x() / kTwipsPerPixel)),
                static_cast<int>(std::lround(cornerTwips.y() / kTwipsPerPixel))));
}

void Mainform::CenterOnceFramed() {
    // A window manager adds its frame and title bar only after the window is
    // shown; the first time the outer size includes them, centre again on it.
    if (centredWithFrame_ || !isVisible()) return;
    if (frameGeometry().size() == geometry().size()) return;
    centredWithFrame_ = true;
    CenterOnScreen();
}

bool Mainform::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show) {
        CenterOnceFramed();
    }
    return handled;
}

void Mainform::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        command1_->setFocus();
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
    commandRunning_ = true;
    // The command's trap: any failure ends it here, quietly, leaving the window as it is.
    try {
        const std::optional<QString> chosen = services_->ChooseImageFile(this, QString::fromLatin1(kDialogFilter));
        if (chosen) {
            Filename = QFile::encodeName(*chosen).toStdString();
            OpenFile(Filename);
            ShowDriveSpecs();
        }
    } catch (...) {
    }
    commandRunning_ = false;
    ActOnHeldClose();
}

void Mainform::OpenFile(const std::string& filename) {
    if (!imageFile_.Open(filename).Opened()) {
        services_->Warn(this, QString::fromLatin1(kOpenErrorText), QString::fromLatin1(kOpenErrorTitle));
        imageFile_.CloseAll();
    }
}

// The one call into the analysis: it loads the open image, locates and decodes
// the system sector, and the report is drawn on the canvas from what it found.
void Mainform::ShowDriveSpecs() {
    // The window reads the whole image before anything is drawn, and the scans
    // use only what that read gave: a file that cannot be read to its end leaves
    // the earlier report as it was.
    AnalyseOptions options;
    options.Locate = LocateMode::Scan;
    options.ReadWholeFirst = true;
    const Analysis analysis = Analyse(imageFile_, options);
    DrawDriveReport(*canvas_, analysis, Filename);
}

void Mainform::EndProgram() {
    imageFile_.CloseAll();
    endProgram_();
}

std::int16_t Mainform::UnloadModeFor(bool spontaneous, bool sessionEnding) {
    if (sessionEnding) return kCloseBySessionEnd;
    return spontaneous ? kCloseByUser : kCloseByProgram;
}

void Mainform::closeEvent(QCloseEvent* event) {
    if (closeGoesAhead_) {
        event->accept();
        return;
    }
    const std::int16_t mode = UnloadModeFor(event->spontaneous(), sessionEnding_);
    if (commandRunning_) {
        // Not refused, only held: the window stays until the command has ended.
        event->ignore();
        CloseRequested(mode);
        return;
    }
    event->accept();  // a close is never refused
    CloseRequested(mode);
}

void Mainform::CloseRequested(std::int16_t UnloadMode) {
    if (commandRunning_) {
        if (!heldClose_) heldClose_ = UnloadMode;
        return;
    }
    DoUnLoadPreCheck(UnloadMode);
}

void Mainform::ActOnHeldClose() {
    if (!heldClose_) return;
    const std::int16_t mode = *std::exchange(heldClose_, std::nullopt);
    DoUnLoadPreCheck(mode);
    // DoUnLoadPreCheck let it pass: the close now goes ahead as the platform's would.
    if (isVisible()) {
        closeGoesAhead_ = true;
        close();
        closeGoesAhead_ = false;
    }
}

void Mainform::DoUnLoadPreCheck(const std::int16_t& UnloadMode) {
    if (UnloadMode == kCloseByUser || UnloadMode == kCloseByTaskManager) {
        close();  // inside a close already, Qt lets this pass
        EndProgram();
    }
}

}  // namespace tabulon
