// The C interface of the library.

#include "VeltraxCTL.h"
#include "log/Log.h"

extern "C" {

VX_CTL_API const char* VX_CTL_GetFullVersionString(void) { return vxctl::kLibraryVersion; }

}  // extern "C"
