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
    if (strcmp(VX_CTL_GetFullVersionString(), "1.1.44.63212") != 0) return -1;
    return (int)(result + VX_CTL_INVALID_PACKET + types[0] + types[1] + types[2]);
}
