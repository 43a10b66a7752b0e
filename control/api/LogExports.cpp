#include "QMXControl.h"
#include "api/StatusCodes.h"
#include "api/Log.h"
#include "api/LogSettings.h"

// The five log settings; none takes a call number or writes a call line.

extern "C" QMX_API VX_STATUS VX_SetLogHandler(VX_LogHandler handler) {
    qmx::logHandler = handler;
    return qmx::kOk;
}

extern "C" QMX_API VX_STATUS VX_SetLogLevel(unsigned int level) {
    try {
        qmx::changeLogLevel(level);
    } catch (...) {
        return qmx::kInternalError;
    }
    return qmx::kOk;
}

extern "C" QMX_API VX_STATUS VX_SetLogFolder(const char* folder) {
    try {
        qmx::setLogFolder(folder ? folder : "");
    } catch (...) {
        return qmx::kInternalError;
    }
    return qmx::kOk;
}

extern "C" QMX_API VX_STATUS VX_SetLogProperty(unsigned int property, unsigned int value) {
    switch (property) {
    case 1000:
        qmx::fileLogging = value == 1;
        return qmx::kOk;
    case 1001:
        if (value < 3) qmx::oldLogPolicy = value;
        return qmx::kOk;
    default:
        return qmx::kInvalidProperty;
    }
}

extern "C" QMX_API VX_STATUS VX_SetLogFilter(unsigned int filter) {
    qmx::logArguments = (filter & 0x2) != 0;
    return qmx::kOk;
}
