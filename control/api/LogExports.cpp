#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "common/Log.h"
#include "common/LogSettings.h"

// The five log settings; none takes a call number or writes a call line.

extern "C" QMX_API VX_STATUS VX_SetLogHandler(VX_LogHandler handler) {
    return qmx::runUnframed([&] {
        qmx::logHandler = handler;
        return VX_STATUS{VX_OK};
    });
}

extern "C" QMX_API VX_STATUS VX_SetLogLevel(unsigned int level) {
    return qmx::runUnframed([&] {
        qmx::changeLogLevel(level);
        return VX_STATUS{VX_OK};
    });
}

extern "C" QMX_API VX_STATUS VX_SetLogFolder(const char* folder) {
    return qmx::runUnframed([&] {
        qmx::setLogFolder(folder ? folder : "");
        return VX_STATUS{VX_OK};
    });
}

extern "C" QMX_API VX_STATUS VX_SetLogProperty(unsigned int property, unsigned int value) {
    return qmx::runUnframed([&]() -> VX_STATUS {
        switch (property) {
        case 1000:
            qmx::fileLogging = value == 1;
            return VX_OK;
        case 1001:
            if (value < 3) qmx::oldLogPolicy = value;
            return VX_OK;
        default:
            return VX_INVALID_PROPERTY;
        }
    });
}

extern "C" QMX_API VX_STATUS VX_SetLogFilter(unsigned int filter) {
    return qmx::runUnframed([&] {
        qmx::logArguments = (filter & 0x2) != 0;
        return VX_STATUS{VX_OK};
    });
}
