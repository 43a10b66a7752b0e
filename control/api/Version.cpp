#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/Status.h"

// Framed for its call and return lines, but it needs no system.
extern "C" QMX_API VX_STATUS VX_GetDLLVersion(unsigned int* version) {
    const uint32_t number = qmx::nextCallNumber();
    qmx::writeCallLine(number, "VX_GetDLLVersion");
    if (version) *version = qmx::kLibraryVersion;
    qmx::writeReturnLine(number, qmx::kOk, [](qmx::LogValues& values) { values.hex(qmx::kLibraryVersion); });
    return qmx::kOk;
}
