#pragma once
// The window with the user's part scripted, made anew for each test function:
// a test class derives from it and calls Make() in init() and Reset() in cleanup().

#include "Mainform.h"
#include "ReportCanvas.h"
#include "ScriptedServices.h"
#include "TestSupport.h"

#include <QAction>
#include <QString>

#include <memory>

namespace tabulon::test {

class WindowFixture {
protected:
    std::unique_ptr<Mainform> form_;
    ScriptedServices* services_ = nullptr;
    int ended_ = 0;  // how often the window asked to end the program
    std::unique_ptr<TempDir> dir_;

    void Make() {
        auto services = std::make_unique<ScriptedServices>();
        services_ = services.get();
        form_ = std::make_unique<Mainform>(std::move(services));
        ended_ = 0;
        form_->SetEndProgram([this] { ++ended_; });
        dir_ = std::make_unique<TempDir>();
    }
    void Reset() {
        form_.reset();
        dir_.reset();
    }

    ReportCanvas* Canvas() const { return form_->findChild<ReportCanvas*>("ReportCanvas"); }
    QAction* MnuFileItem(int index) const {
        for (QAction* action : form_->findChildren<QAction*>("mnuFileItem")) {
            if (action->data().toInt() == index) return action;
        }
        return nullptr;
    }
    // File, Open... with answer chosen in the dialog (an empty one cancels).
    void Open(const QString& answer) {
        services_->Answers << answer;
        MnuFileItem(1)->trigger();
    }
    QString Write(const QString& name, const Bytes& bytes) const {
        return QString::fromStdString(dir_->Write(name.toStdString(), bytes).string());
    }
};

}  // namespace tabulon::test
