#include "MainformServices.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

namespace tabulon {

namespace {

// Qt's widget dialog restores its history, last folder, view mode and column
// widths from QtProject.conf (the user's, then the system's under /etc/xdg) and
// saves them there when it closes. The window keeps no settings, so both places
// point at /dev/null: no file can lie under it, so the reads find nothing and
// the writes fail quietly. The program has no other settings to lose.
void KeepDialogSettingsOffDisk() {
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::NativeFormat, scope, QStringLiteral("/dev/null"));
        QSettings::setPath(QSettings::IniFormat, scope, QStringLiteral("/dev/null"));
    }
}

}  // namespace

QString QtNameFilters(const QString& barSeparated) {
    const QStringList parts = barSeparated.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        if (description.isEmpty() && pattern.isEmpty()) continue;
        // Qt reads the patterns from the parentheses at the end of the description.
        const QString shown = QStringLiteral("(%1)").arg(pattern);
        filters << (description.endsWith(shown) ? description : description + QLatin1Char(' ') + shown);
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> QtMainformServices::ChooseImageFile(QWidget* parent, const QString& filter) {
    // Qt's own dialog matches the patterns in any mix of case; some native ones
    // on Linux would hide IMAGE.DSK.
    KeepDialogSettingsOffDisk();
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QtNameFilters(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void QtMainformServices::Warn(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

}  // namespace tabulon
