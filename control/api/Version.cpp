#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "common/Status.h"

// Framed for its call and return lines, but it needs no system.
extern "C" QMX_API VX_STATUS VX_GetDLLVersion(unsigned int* version) {
    const uint32_t number = qmx::nextCallNumber();
    qmx::writeCallLine(number, "VX_GetDLLVersion");
    if (version) *version = qmx::kLibraryVersion;
    qmx::writeReturnLine(number, 0, [](qmx::LogValues& values) { values.hex(qmx::kLibraryVersion); });
    return 0;
}
