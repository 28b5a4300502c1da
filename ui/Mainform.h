#pragma once

#include "ImageFile.h"
#include "MainformServices.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QMenu;
class QPushButton;

namespace tabulon {

class ReportCanvas;

// Why the window is asked to close: the UnloadMode that DoUnLoadPreCheck receives.
inline constexpr std::int16_t kCloseByUser = 0;         // close box, window menu or the close key
inline constexpr std::int16_t kCloseByProgram = 1;      // the program's own code
inline constexpr std::int16_t kCloseBySessionEnd = 2;   // shut-down or log-off
inline constexpr std::int16_t kCloseByTaskManager = 3;  // a task manager (SIGTERM here)
inline constexpr std::int16_t kCloseByParent = 4;       // a parent window closing
inline constexpr std::int16_t kCloseByOwner = 5;        // the owner window closing

// The program's only window: File menu, Exit button, and the framed drawing
// area on which each Open command draws its drive report. Its controls carry
// the object names Command1, mnuFile, mnuFileItem (the menu entries, each with
// its index as data) and ReportCanvas.
class Mainform : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Tabulon for Emulator .Dsk   (DMK or JV)  V.5    by  T.Orlwen";
    static constexpr const char* kDialogFilter = "Dsk Files (*.dsk)|*.dsk|";
    static constexpr const char* kOpenErrorText = "Error encountered while trying to open file, please retry.";
    static constexpr const char* kOpenErrorTitle = "Text Editor";

    explicit Mainform(std::unique_ptr<MainformServices> services = std::make_unique<QtMainformServices>(),
                      QWidget* parent = nullptr);
    ~Mainform() override;

    // The chosen image's full path, as the dialog gave it (in the file system's encoding).
    std::string Filename;

    void OpenFile(const std::string& filename);
    void DoUnLoadPreCheck(const std::int16_t& UnloadMode);

    // The menu's one handler: 1 opens, 4 exits, any other index does nothing.
    void mnuFileItem_Click(int index);
    void Command1_Click();

    // How the program ends (the Exit command, or a close that ends it); tests
    // put an observer here instead of leaving the event loop.
    void SetEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }

    // The UnloadMode of a close request: the user's, the program's, or the session's end.
    static std::int16_t UnloadModeFor(bool spontaneous, bool sessionEnding);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateForm();
    void CreateCanvas();
    void CreateExitButton();
    void CreateMenu();
    void WatchCloseRequests();
    void Form_Load();

    void CenterOnScreen();
    void CenterOnceFramed();

    void OpenCommand();
    void ShowDriveSpecs();
    void EndProgram();

    void CloseRequested(std::int16_t UnloadMode);
    void ActOnHeldClose();

    std::unique_ptr<MainformServices> services_;
    ReportCanvas* canvas_ = nullptr;
    QPushButton* command1_ = nullptr;
    QMenu* mnuFile_ = nullptr;
    ImageFile imageFile_;
    std::function<void()> endProgram_;

    bool sessionEnding_ = false;
    bool shownOnce_ = false;
    bool centredWithFrame_ = false;
    bool commandRunning_ = false;
    bool closeGoesAhead_ = false;
    std::optional<std::int16_t> heldClose_;  // a close request that came while a command ran
};

}  // namespace tabulon
