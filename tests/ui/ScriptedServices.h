#pragma once

#include "MainformServices.h"

#include <QStringList>

#include <functional>

namespace tabulon::test {

// Plays the user's part in the Open dialog and the warning box.
class ScriptedServices : public MainformServices {
public:
    QStringList Answers;                    // the files the dialog returns, in turn; an empty one cancels
    std::function<void()> BeforeReturning;  // runs while the dialog is up
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

}  // namespace tabulon::test
