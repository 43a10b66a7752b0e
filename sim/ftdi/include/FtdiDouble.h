/*
 * Control interface of the FTDI driver double: libftd2xx.so and
 * libFTChipID.so built into <build>/bin. They implement the driver functions
 * over simulated adapters held in process memory; tests and the simulator
 * use this interface to plug adapters in, feed them bytes and inject faults.
 *
 * Reach the one instance of the double that the USB transport loads with
 * vxftdi_api() (dlopen of "libftd2xx.so" and one dlsym), so nothing needs to
 * link the double at build time. A program linked against it may call
 * VXFTDI_GetApi() directly.
 *
 * Bridge mode: when the environment variable VXFTDI_DEVICES is set, the
 * double adds the adapters it describes at its first use, in the text form
 * of addFromText below. An adapter with "tcp=HOST:PORT" carries its byte
 * stream to a TCP peer (a simulator in another process): the double
 * connects when the host opens the adapter and disconnects when it closes
 * it; the peer closing the connection looks to the host like a lost device.
 *
 * Variants for binding failures, beside the double in <build>/bin:
 *   ftdi-missing-name/libftd2xx.so  the driver without FT_SetBitMode: put
 *                                   the folder before <build>/bin on
 *                                   LD_LIBRARY_PATH;
 *   ftdi-no-chipid/libftd2xx.so     the driver without the chip-id library:
 *                                   put the folder alone on LD_LIBRARY_PATH.
 */
#ifndef VX_FTDI_DOUBLE_H
#define VX_FTDI_DOUBLE_H

#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Device types and node flags as the driver reports them. */
#define VXFTDI_TYPE_UNKNOWN 3u
#define VXFTDI_TYPE_SINGLE 5u     /* the default: a one-channel full-speed chip */
#define VXFTDI_TYPE_DUAL_HS 6u    /* two-channel high-speed chip, channels "A" and "B" */
#define VXFTDI_FLAG_OPENED 0x1u   /* when adding: held open by another program */
#define VXFTDI_FLAG_HIGH_SPEED 0x2u

/* Driver statuses the double returns, and that fault switches may use. */
#define VXFTDI_OK 0u
#define VXFTDI_INVALID_HANDLE 1u
#define VXFTDI_DEVICE_NOT_FOUND 2u
#define VXFTDI_DEVICE_NOT_OPENED 3u
#define VXFTDI_IO_ERROR 4u
#define VXFTDI_INSUFFICIENT_RESOURCES 5u
#define VXFTDI_INVALID_PARAMETER 6u
#define VXFTDI_INVALID_BAUD_RATE 7u
#define VXFTDI_OTHER_ERROR 18u

typedef struct VxFtdiAdapterSpec {
    const char* serial;       /* at most 15 characters kept */
    const char* description;  /* at most 63 characters kept */
    uint16_t vendorId;        /* 0 gives 0x0403 */
    uint16_t productId;       /* 0 gives 0x6001 */
    uint32_t chipId;
    uint32_t type;            /* 0 gives VXFTDI_TYPE_SINGLE */
    uint32_t flags;           /* VXFTDI_FLAG_HIGH_SPEED, VXFTDI_FLAG_OPENED */
    uint32_t locationId;
    const uint8_t* userArea;  /* EEPROM user-area contents; may be NULL */
    size_t userAreaLength;
    size_t userAreaSize;      /* size the driver reports; 0 gives max(64, length) */
} VxFtdiAdapterSpec;

/*
 * The far side of an adapter: a simulated device. Calls for one adapter come
 * one at a time, without any lock of the double held, so a peer may answer
 * from inside onWrite with pushReceived.
 */
typedef struct VxFtdiPeer {
    /* The host opened the adapter; nonzero refuses the open. May be NULL. */
    int (*onOpen)(void* context, int adapter);
    /* Bytes the host wrote. */
    void (*onWrite)(void* context, int adapter, const uint8_t* data, size_t length);
    /* The host closed its handle. May be NULL. */
    void (*onClose)(void* context, int adapter);
    void* context;
} VxFtdiPeer;

/* What the host last configured on an adapter. */
typedef struct VxFtdiLineState {
    uint32_t baudRate;
    uint16_t flowControl;
    uint8_t xon, xoff;
    uint8_t wordLength, stopBits, parity;
    uint8_t latency;
    uint8_t bitMask, bitMode;
    uint32_t usbInSize, usbOutSize;
    uint32_t readTimeout, writeTimeout;
    uint32_t eventMask;
    int openHandles;     /* handles of this adapter now open */
    int opens, closes;   /* counted since the adapter was added */
} VxFtdiLineState;

typedef struct VxFtdiDoubleApi {
    uint32_t version; /* 1 */

    /* Removes every adapter and clears faults, skews and the call log. */
    void (*reset)(void);

    /* Adds an adapter at the end of the driver's list; its id (> 0), or 0. */
    int (*addAdapter)(const VxFtdiAdapterSpec* spec);
    /* Adds both channels of a two-channel chip: serial + "A"/"B",
     * description + " A"/" B", type 6, high speed. Returns channel A's id and
     * writes channel B's to *channelB when not NULL. */
    int (*addDualAdapter)(const VxFtdiAdapterSpec* spec, int* channelB);
    /* Adds adapters described as text: entries separated by '|' or newline,
     * each "key=value" fields separated by ';': sn, desc, vid, pid, id (chip
     * id), type, flags (decimal or 0x hex), ua (user area as hex digits),
     * tcp (HOST:PORT of a bridge peer), paced (1: the bridge carries bytes
     * each way at the baud rate the host set, ten bit times a byte, as the
     * chip's serial line would). Returns the number added, or -1 for a
     * malformed text (nothing added then). */
    int (*addFromText)(const char* text);

    /* Pulls the adapter: gone from the list; its open handles fail with
     * VXFTDI_IO_ERROR until closed. */
    int (*unplug)(int adapter);
    /* The device behind the adapter stops answering: its open handles fail
     * with VXFTDI_IO_ERROR until closed; the adapter stays listed. */
    int (*dropConnection)(int adapter);

    /* Attaches (or with NULL detaches) the device side of an adapter. */
    int (*attachPeer)(int adapter, const VxFtdiPeer* peer);
    /* Queues bytes for the host to read and raises its event notification.
     * Fails (nonzero) when the adapter is not open. */
    int (*pushReceived)(int adapter, const uint8_t* data, size_t length);
    /* Bytes written by the host that no peer took, oldest first; returns how
     * many were copied and removes them. */
    size_t (*takeWritten)(int adapter, uint8_t* buffer, size_t capacity);

    /* Replaces the EEPROM user area (the adapter's user-area size). */
    int (*setUserArea)(int adapter, const uint8_t* data, size_t length, size_t size);

    /* The next `count` calls of the named driver function (for example
     * "FT_GetStatus", "FTID_GetNumDevices") return `status` without effect;
     * a negative count fails every call until clearFaults. */
    void (*failCall)(const char* function, uint32_t status, int count);
    void (*clearFaults)(void);
    /* At most `maxPerCall` bytes go through one FT_Write; 0 makes writes
     * block for the write time-out and report 0 written. FT_Close on the
     * handle, from another thread, ends such a write at once (also 0
     * written). */
    int (*setWriteLimit)(int adapter, size_t maxPerCall);
    /* Read and write counts reported that many bytes above the truth. */
    int (*setCountSkew)(int adapter, uint32_t readExtra, uint32_t writeExtra);

    int (*lineState)(int adapter, VxFtdiLineState* state);
    /* Handles open over all adapters. */
    int (*openHandleCount)(void);

    /* Driver calls in order, one per line, e.g. "FT_SetBaudRate(500000)";
     * returns the text length; copies with NUL when it fits. */
    size_t (*callLog)(char* buffer, size_t capacity);
    void (*clearCallLog)(void);

    /* Adds an adapter, like addAdapter, whose byte stream goes to the TCP
     * peer at host:port, like an unpaced "tcp=" adapter of addFromText; its
     * id, so that it can be unplugged, or 0. */
    int (*addBridgedAdapter)(const VxFtdiAdapterSpec* spec, const char* host, uint16_t port);

    /* The adapter's handles open now take nothing any more, as a line that
     * stopped: their writes block as with a write limit of 0. A handle
     * opened afterwards writes normally. */
    int (*stallOpenHandles)(int adapter);
} VxFtdiDoubleApi;

const VxFtdiDoubleApi* VXFTDI_GetApi(void);

typedef const VxFtdiDoubleApi* (*VxFtdiGetApiFunction)(void);

/* The control interface of the loaded double, or NULL when it cannot be
 * loaded. Keeps the library loaded for the process. */
static inline const VxFtdiDoubleApi* vxftdi_api(void) {
    void* library = dlopen("libftd2xx.so", RTLD_NOW);
    if (!library) return NULL;
    VxFtdiGetApiFunction get = (VxFtdiGetApiFunction)dlsym(library, "VXFTDI_GetApi");
    return get ? get() : NULL;
}

#ifdef __cplusplus
}
#endif

#endif /* VX_FTDI_DOUBLE_H */
