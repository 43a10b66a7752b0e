/* Compiled as C99: the public header must need no C++. */
#include <string.h>

#include "VeltraxCTL.h"

int vxCtlHeaderC99Probe(void);

int vxCtlHeaderC99Probe(void) {
    VX_CTL_Result result = VX_CTL_OK;
    VX_CTL_PropertyKey key = 0x020F0016u;
    VX_CTL_RequestID id = 239;
    VX_CTL_TransmitHandle handle = 31;
    VX_CTL_DataType types[3];
    types[0] = VX_CTL_DT_INT32;
    types[1] = VX_CTL_DT_INT64;
    types[2] = VX_CTL_DT_STRING;
    (void)key;
    (void)id;
    (void)handle;
    VX_CTL_Result (*findDevices)(const char*, char*, size_t*) = VX_CTL_FindDevices;
    VX_CTL_Result (*writeArray)(VX_CTL_DeviceHandle, int8_t, VX_CTL_PropertyKey, const int64_t*, size_t,
                                VX_CTL_RequestID*, VX_CTL_TransmitHandle) = VX_CTL_RequestWritePropertyArray_i64;
    VX_CTL_Event event;
    memset(&event, 0, sizeof event);
    (void)findDevices;
    (void)writeArray;
    if (sizeof event != 32) return -3;
    if (strcmp(VX_CTL_GetFullVersionString(), "1.1.44.63212") != 0) return -1;
    if (strcmp(VX_CTL_GetResultInfo(VX_CTL_INVALID_DEVICE_HANDLE), "invalid device handle") != 0) return -2;
    return (int)(result + VX_CTL_INVALID_PACKET + types[0] + types[1] + types[2]);
}
