#include "FirmwareUploaderResources.h"

#include <QtGlobal>

void initFirmwareUploaderResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(QMXFirmwareUploader);
        return true;
    }();
    (void)registered;
}
