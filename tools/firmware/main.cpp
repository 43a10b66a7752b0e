#include <QApplication>

#include "QMXFirmwareUploadWizard.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int code = 0;
    {
        QMXFirmwareUploadWizard wizard;
        wizard.show();
        code = application.exec();
    }
    return code;
}
