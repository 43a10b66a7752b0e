// The chip-id library of the double: answers from the driver double's state.
#include "ftdi/FtdiApi.h"

extern "C" {
#define VXFTDI_DECLARE(name, params) __attribute__((visibility("default"))) FtdiStatus name params;
VX_FTDI_CHIPID_FUNCTIONS(VXFTDI_DECLARE)
#undef VXFTDI_DECLARE

FtdiStatus VXFTDI_ChipIdNumDevices(uint32_t* count);
FtdiStatus VXFTDI_ChipIdFromHandle(FtdiHandle handle, uint32_t* chipId);

FtdiStatus FTID_GetNumDevices(uint32_t* count) { return VXFTDI_ChipIdNumDevices(count); }

FtdiStatus FTID_GetChipIDFromHandle(FtdiHandle handle, uint32_t* chipId) {
    return VXFTDI_ChipIdFromHandle(handle, chipId);
}
}
