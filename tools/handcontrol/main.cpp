#include <QApplication>

#include "QMXHConfigurator.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The program has no options of its own: Qt has taken out its own, and
    // anything left ends the program at once.
    if (argc > 1) return 0;
    QMXHConfigurator window;
    window.show();
    return application.exec();
}
