// The untraced exports of the library: its texts.

#include "VeltraxCTL.h"
#include "event/EventText.h"
#include "log/Log.h"

extern "C" {

VX_CTL_API const char* VX_CTL_GetFullVersionString(void) { return vxctl::kLibraryVersion; }

VX_CTL_API const char* VX_CTL_GetResultInfo(VX_CTL_Result result) { return vxctl::resultText(result); }

VX_CTL_API const char* VX_CTL_GetEventInfo(const VX_CTL_Event* event) {
    if (!event) return "";
    return vxctl::eventInfo(*event);
}

}  // extern "C"
