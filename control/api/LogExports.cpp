#include "QMXControl.h"
#include "common/Log.h"
#include "common/LogSettings.h"

// The five log settings; none takes a call number or writes a call line.

extern "C" QMX_API VX_STATUS VX_SetLogHandler(VX_LogHandler handler) {
    qmx::logHandler = handler;
    return 0;
}

extern "C" QMX_API VX_STATUS VX_SetLogLevel(unsigned int level) {
    try {
        qmx::changeLogLevel(level);
    } catch (...) {
        return 12;
    }
    return 0;
}

extern "C" QMX_API VX_STATUS VX_SetLogFolder(const char* folder) {
    try {
        qmx::setLogFolder(folder ? folder : "");
    } catch (...) {
        return 12;
    }
    return 0;
}

extern "C" QMX_API VX_STATUS VX_SetLogProperty(unsigned int property, unsigned int value) {
    switch (property) {
    case 1000:
        qmx::fileLogging = value == 1;
        return 0;
    case 1001:
        if (value < 3) qmx::oldLogPolicy = value;
        return 0;
    default:
        return 156;
    }
}

extern "C" QMX_API VX_STATUS VX_SetLogFilter(unsigned int filter) {
    qmx::logArguments = (filter & 0x2) != 0;
    return 0;
}
