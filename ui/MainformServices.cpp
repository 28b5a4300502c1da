#include "MainformServices.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace tabulon {

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
