#pragma once

#include "DiskData.h"
#include "ImageFile.h"
#include "MainformServices.h"
#include "ReportCanvas.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QPushButton;

namespace tabulon {

// The program's only window: File menu, Exit button, the framed drawing area on
// which each Open command draws its drive report.
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

    ReportCanvas* Canvas() const { return canvas_; }
    QPushButton* Command1() const { return command1_; }
    QMenu* mnuFile() const { return mnuFile_; }
    const std::map<int, QAction*>& mnuFileItem() const { return mnuFileItem_; }
    const DiskData& Disk() const { return diskData_; }
    bool ImageFileOpen() const { return imageFile_.IsOpen(); }

    // How the program ends (the Exit command, or a close that ends it); tests
    // put an observer here instead of leaving the event loop.
    void SetEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }

    // The close reason for a close request: 0 the user, 1 the program, 2 the session ending.
    static std::int16_t UnloadModeFor(bool spontaneous, bool sessionEnding);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void CenterOnScreen();
    void OpenCommand();
    void ShowDriveSpecs();
    void EndProgram();

    std::unique_ptr<MainformServices> services_;
    ReportCanvas* canvas_ = nullptr;
    QPushButton* command1_ = nullptr;
    QMenu* mnuFile_ = nullptr;
    std::map<int, QAction*> mnuFileItem_;
    ImageFile imageFile_;
    DiskData diskData_;
    std::function<void()> endProgram_;
    bool sessionEnding_ = false;
    bool shownOnce_ = false;
};

}  // namespace tabulon
