// Textdesk: a serial and TCP text terminal for controller commands.
#include <QApplication>

#include "Terminal.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Terminal terminal;
    terminal.show();
    QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                     &QApplication::quit);
    return application.exec();
}
