#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "common/Status.h"

// Pure helpers: no call number, no log line, no lock.

extern "C" QMX_API VX_STATUS VX_GetStatusInfo(VX_STATUS status, const char** text) {
    return qmx::runUnframed([&]() -> VX_STATUS {
        const char* found = nullptr;
        const bool known = qmx::lookupStatusText(status, &found);
        if (text) *text = found;
        return known ? VX_OK : VX_OTHER_ERROR;
    });
}

extern "C" QMX_API const char* VX_GetStatusText(VX_STATUS status) { return qmx::statusText(status); }

extern "C" QMX_API unsigned int VX_EPK(unsigned char component, unsigned char subComponent,
                                      unsigned short property) {
    return (static_cast<uint32_t>(component) << 24) | (static_cast<uint32_t>(subComponent) << 16) | property;
}

extern "C" QMX_API unsigned int VX_ESV(unsigned char high, unsigned char low) {
    return (static_cast<uint32_t>(high) << 8) | low;
}

extern "C" QMX_API void VX_DSV(unsigned int value, unsigned int* high, unsigned int* low) {
    if (high) *high = (value >> 8) & 0xFF;
    if (low) *low = value & 0xFF;
}

extern "C" QMX_API const char* VX_GetFullDLLVersionString(void) { return qmx::kLibraryVersionText; }
