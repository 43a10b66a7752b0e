#include <QApplication>

#include "QMXConfiguration.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int status = 0;
    {
        QMXConfiguration window;
        window.show();
        QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                         &QApplication::quit);
        status = application.exec();
    }
    return status;
}
