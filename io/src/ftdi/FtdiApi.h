#pragma once

// The binary interface of the FTDI driver library and its chip-id companion,
// as this transport uses them. The driver double in sim/ftdi implements the
// same declarations, so both sides are written against this one header.

#include <pthread.h>

#include <cstdint>

using FtdiStatus = uint32_t;
using FtdiHandle = void*;

constexpr FtdiStatus kFtdiOk = 0;
constexpr FtdiStatus kFtdiIoError = 4;
constexpr FtdiStatus kFtdiInvalidBaudRate = 7;

// One entry of the driver's device list.
struct FtdiDeviceInfoNode {
    uint32_t flags;  // kFtdiFlagOpened, kFtdiFlagHighSpeed
    uint32_t type;   // kFtdiTypeUnknown, kFtdiTypeDualHighSpeed, ...
    uint32_t id;     // vendor id << 16 | product id
    uint32_t locationId;
    char serialNumber[16];
    char description[64];
    FtdiHandle handle;
};

constexpr uint32_t kFtdiFlagOpened = 0x1;
constexpr uint32_t kFtdiFlagHighSpeed = 0x2;
constexpr uint32_t kFtdiTypeUnknown = 3;
constexpr uint32_t kFtdiTypeDualHighSpeed = 6;

// The record handed to FT_SetEventNotification. Whoever waits on it
// initialises it; the driver, holding no lock of its own, locks `mutex`, sets
// `signalled` and broadcasts `condition` when characters arrive. A waiter
// checks its stop flag and the queued byte count under `mutex` before it
// waits, so no wake-up is lost.
struct FtdiEventRecord {
    pthread_cond_t condition;
    pthread_mutex_t mutex;
    int signalled;
};

constexpr uint32_t kFtdiOpenBySerialNumber = 1;
constexpr uint32_t kFtdiPurgeRx = 1;
constexpr uint32_t kFtdiPurgeTx = 2;
constexpr uint32_t kFtdiEventRxChar = 1;
constexpr uint32_t kFtdiBits8 = 8;
constexpr uint32_t kFtdiStopBits1 = 0;
constexpr uint32_t kFtdiParityNone = 0;
constexpr uint32_t kFtdiFlowNone = 0x0000;
constexpr uint32_t kFtdiFlowRtsCts = 0x0100;
constexpr uint32_t kFtdiFlowDtrDsr = 0x0200;
constexpr uint32_t kFtdiBitModeReset = 0x00;
constexpr uint32_t kFtdiBitModeSyncFifo = 0x40;

// name, parameter list; every function returns an FtdiStatus.
#define VX_FTDI_DRIVER_FUNCTIONS(X)                                                               \
    X(FT_CreateDeviceInfoList, (uint32_t * count))                                                \
    X(FT_GetDeviceInfoList, (FtdiDeviceInfoNode * list, uint32_t * count))                        \
    X(FT_Open, (int index, FtdiHandle* handle))                                                   \
    X(FT_OpenEx, (void* argument, uint32_t flags, FtdiHandle* handle))                            \
    X(FT_Close, (FtdiHandle handle))                                                              \
    X(FT_GetStatus, (FtdiHandle handle, uint32_t * rxBytes, uint32_t * txBytes,                   \
                     uint32_t * eventStatus))                                                     \
    X(FT_Read, (FtdiHandle handle, void* buffer, uint32_t toRead, uint32_t* read))                \
    X(FT_Write, (FtdiHandle handle, const void* buffer, uint32_t toWrite, uint32_t* written))     \
    X(FT_Purge, (FtdiHandle handle, uint32_t mask))                                               \
    X(FT_SetBaudRate, (FtdiHandle handle, uint32_t baudRate))                                     \
    X(FT_SetDataCharacteristics,                                                                  \
      (FtdiHandle handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity))                  \
    X(FT_SetFlowControl, (FtdiHandle handle, uint16_t flowControl, uint8_t xon, uint8_t xoff))    \
    X(FT_SetTimeouts, (FtdiHandle handle, uint32_t readTimeout, uint32_t writeTimeout))           \
    X(FT_SetLatencyTimer, (FtdiHandle handle, uint8_t latency))                                   \
    X(FT_SetBitMode, (FtdiHandle handle, uint8_t mask, uint8_t mode))                             \
    X(FT_SetUSBParameters, (FtdiHandle handle, uint32_t inSize, uint32_t outSize))                \
    X(FT_SetEventNotification, (FtdiHandle handle, uint32_t mask, void* parameter))               \
    X(FT_ReadEE, (FtdiHandle handle, uint32_t offset, uint16_t* value))                           \
    X(FT_EE_Read, (FtdiHandle handle, void* programData))                                         \
    X(FT_EE_UASize, (FtdiHandle handle, uint32_t * size))                                         \
    X(FT_EE_UARead, (FtdiHandle handle, uint8_t * data, uint32_t length, uint32_t * read))        \
    X(FT_EE_UAWrite, (FtdiHandle handle, const uint8_t* data, uint32_t length))

#define VX_FTDI_CHIPID_FUNCTIONS(X)           \
    X(FTID_GetNumDevices, (uint32_t * count)) \
    X(FTID_GetChipIDFromHandle, (FtdiHandle handle, uint32_t * chipId))

extern "C" {
#define VX_FTDI_FUNCTION_TYPE(name, params) typedef FtdiStatus(*name##_Function) params;
VX_FTDI_DRIVER_FUNCTIONS(VX_FTDI_FUNCTION_TYPE)
VX_FTDI_CHIPID_FUNCTIONS(VX_FTDI_FUNCTION_TYPE)
#undef VX_FTDI_FUNCTION_TYPE
}
