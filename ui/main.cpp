// tabulon: the window. It takes no arguments of its own and reads no settings.
#include "Mainform.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tabulon::Mainform form;
    form.show();
    return QApplication::exec();
}
