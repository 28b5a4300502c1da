// tabulon: the window. It takes no arguments of its own and reads no settings.
#include "Mainform.h"
#include "TabulonVersion.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TABULON_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tabulon"));  // the icon on Wayland
    tabulon::Mainform form;
    form.show();
    return QApplication::exec();
}
