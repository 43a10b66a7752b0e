/*
 * VeltraxIO: device I/O for controller systems on USB, network and serial
 * interfaces. Plain C interface; every function returns a VX_IO_Result.
 */
#ifndef VELTRAX_IO_H
#define VELTRAX_IO_H

#include <stddef.h>

#if defined(VX_IO_BUILD)
#define VX_IO_API __attribute__((visibility("default")))
#else
#define VX_IO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int VX_IO_Result;
typedef unsigned int VX_IO_Handle;

enum {
    VX_IO_OK = 0,
    VX_IO_NO_FREE_HANDLE = 1,
    VX_IO_INVALID_LOCATOR = 2,
    VX_IO_DEVICE_NOT_FOUND = 3,
    VX_IO_INVALID_OPTION = 4,
    VX_IO_OPEN_FAILED = 5,
    VX_IO_INVALID_HANDLE = 6,
    VX_IO_TIMEOUT = 7,
    VX_IO_READ_ERROR = 8,
    VX_IO_WRITE_ERROR = 9,
    VX_IO_NOT_SUPPORTED = 10,
    VX_IO_UNKNOWN_PROPERTY = 11,
    VX_IO_BUFFER_TOO_SMALL = 12,
    VX_IO_LIST_QUERY_FAILED = 13,
    VX_IO_DRIVER_NOT_AVAILABLE = 14,
    VX_IO_WRONG_EVENT_KIND = 15
};

/* Interface types of a locator; 9999 only for VX_IO_EnumerateDevices. */
enum {
    VX_IO_IFACE_UNKNOWN = 0,
    VX_IO_IFACE_USB = 1,
    VX_IO_IFACE_NETWORK = 2,
    VX_IO_IFACE_SERIAL = 3,
    VX_IO_IFACE_ALL = 9999
};

/* Event kinds handed to the event callback. */
enum {
    VX_IO_EVENT_ERROR = 0,
    VX_IO_EVENT_DEVICE_AVAILABLE = 1,
    VX_IO_EVENT_DEVICE_GONE = 2
};

/* Opaque; valid only during the event callback that receives it. */
typedef struct VX_IO_Event VX_IO_Event;

typedef void (*VX_IO_ReceiveCallback)(void* userContext, const void* data, size_t length);
typedef void (*VX_IO_ErrorCallback)(void* userContext, int code);
typedef void (*VX_IO_EventCallback)(void* userData, int eventKind, const VX_IO_Event* event);

/*
 * Text out-parameters: *length holds the capacity on entry and the text
 * length without its NUL on return; too small a capacity gives 12.
 */

VX_IO_API VX_IO_Result VX_IO_GetVersion(int* major, int* minor, int* update);
VX_IO_API VX_IO_Result VX_IO_GetLocatorInterfaceType(int* type, const char* locator);
VX_IO_API VX_IO_Result VX_IO_Open(VX_IO_Handle* handle, const char* locator, const char* options,
                                  void* userContext, VX_IO_ReceiveCallback receive,
                                  VX_IO_ErrorCallback error);
VX_IO_API VX_IO_Result VX_IO_Close(VX_IO_Handle handle, int wait);
VX_IO_API VX_IO_Result VX_IO_Send(VX_IO_Handle handle, const void* data, size_t length);
VX_IO_API VX_IO_Result VX_IO_GetProperty(VX_IO_Handle handle, const char* key, char* buffer,
                                         size_t* length);
VX_IO_API VX_IO_Result VX_IO_CanEnumerateDevices(int type, int* canEnumerate);
VX_IO_API VX_IO_Result VX_IO_EnumerateDevices(int type, const char* options, char* buffer,
                                              size_t* length);
VX_IO_API VX_IO_Result VX_IO_EnumerateInterfaces(const char* options, char* buffer,
                                                 size_t* length);
VX_IO_API VX_IO_Result VX_IO_SetGlobalOptions(const char* options);
VX_IO_API VX_IO_Result VX_IO_SetEventCallback(VX_IO_EventCallback callback, void* userData);
VX_IO_API VX_IO_Result VX_IO_GetErrorEventData(const VX_IO_Event* event, int* code,
                                               char* message, size_t* length);
VX_IO_API VX_IO_Result VX_IO_GetDiscoveryEventData(const VX_IO_Event* event,
                                                   const char* options, char* buffer,
                                                   size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VELTRAX_IO_H */
