#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace tabulon {

// The window's modal conversations with the user: the file-open dialog
// (CMDialog1) and the warning box. Tests put their own in place, so that no
// modal loop waits for a human.
class MainformServices {
public:
    virtual ~MainformServices() = default;

    // Shows the open dialog with a filter of "description|pattern|" pairs; the
    // chosen file's full path, or nothing when the user cancelled.
    virtual std::optional<QString> ChooseImageFile(QWidget* parent, const QString& filter) = 0;

    // A modal box with the warning icon and one OK button.
    virtual void Warn(QWidget* parent, const QString& text, const QString& title) = 0;
};

// The real dialog and box, from Qt.
class QtMainformServices : public MainformServices {
public:
    std::optional<QString> ChooseImageFile(QWidget* parent, const QString& filter) override;
    void Warn(QWidget* parent, const QString& text, const QString& title) override;
};

// "Dsk Files (*.dsk)|*.dsk|" -> "Dsk Files (*.dsk)": description and pattern
// pairs separated by bars, in the form Qt's dialog takes (";;" between types).
QString QtNameFilters(const QString& barSeparated);

}  // namespace tabulon
