#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "common/Status.h"

// Framed for its call and return lines, but it needs no system.
extern "C" QMX_API VX_STATUS VX_GetDLLVersion(unsigned int* version) {
    return qmx::runFramed(
        "VX_GetDLLVersion", qmx::noArguments,
        [&] {
            if (version) *version = qmx::kLibraryVersion;
            return VX_STATUS{VX_OK};
        },
        [](qmx::LogValues& values, VX_STATUS) { values.hex(qmx::kLibraryVersion); });
}
