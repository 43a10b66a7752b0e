/* Compiled as C99: the public header must need no C++. */
#include "VeltraxIO.h"

int vxHeaderC99Probe(void);

static void onReceive(void* userContext, const void* data, size_t length) {
    (void)userContext;
    (void)data;
    (void)length;
}

static void onError(void* userContext, int code) {
    (void)userContext;
    (void)code;
}

static void onEvent(void* userData, int eventKind, const VX_IO_Event* event) {
    (void)userData;
    (void)eventKind;
    (void)event;
}

int vxHeaderC99Probe(void) {
    VX_IO_ReceiveCallback receive = onReceive;
    VX_IO_ErrorCallback error = onError;
    VX_IO_EventCallback event = onEvent;
    VX_IO_Handle handle = 0;
    int major = 0, minor = 0, update = 0;
    (void)receive;
    (void)error;
    (void)event;
    (void)handle;
    if (VX_IO_GetVersion(&major, &minor, &update) != VX_IO_OK) return -1;
    return major * 10000 + minor * 100 + update;
}
