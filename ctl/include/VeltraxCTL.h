/*
 * VeltraxCTL: the library for second-generation controllers. A program
 * reaches a controller's properties by a 32-bit key and an 8-bit index of
 * the device, module or channel; the library frames each request, matches
 * the controller's replies to it and reports the outcome as a VX_CTL_Result.
 *
 * Plain C interface. Every function that does not return a text returns a
 * VX_CTL_Result. Texts are 8-bit and NUL-terminated.
 */
#ifndef VELTRAX_CTL_H
#define VELTRAX_CTL_H

#include <stddef.h>
#include <stdint.h>

#if defined(VX_CTL_BUILD)
#define VX_CTL_API __attribute__((visibility("default")))
#else
#define VX_CTL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Outcome of a call or of a request: 0 is no error; codes below 0x8000 are
 * reported by the controller in its replies, codes from 0xF000 are the
 * library's own.
 */
typedef uint32_t VX_CTL_Result;

#define VX_CTL_OK ((VX_CTL_Result)0x0000)
/* No answer in time: a request, the version check, the handshake, a reset,
   or a wait for an event. */
#define VX_CTL_TIMEOUT ((VX_CTL_Result)0x0004)
/* An output buffer or command group holds 1024 frames already. */
#define VX_CTL_BUFFER_OVERFLOW ((VX_CTL_Result)0x000D)
/* A stream frame is not whole units of 9 bytes. */
#define VX_CTL_INVALID_FRAME_SIZE ((VX_CTL_Result)0x000E)
/* The device has a stream open already. */
#define VX_CTL_HANDLE_LIMIT_REACHED ((VX_CTL_Result)0x0018)
/* The stream was aborted. */
#define VX_CTL_ABORTED ((VX_CTL_Result)0x0019)
/* The stream handle names no open stream. */
#define VX_CTL_INVALID_STREAM_HANDLE ((VX_CTL_Result)0x0300)
/* A frame from the controller was damaged or malformed: its check sum did
   not match, it was too short for its kind, it named no valid request, or
   its values did not fit in it. */
#define VX_CTL_INVALID_PACKET ((VX_CTL_Result)0x0010)
/* The I/O library refused the options of an open; a null request ID
   pointer; a request ID that is unknown, collected already or cancelled; a
   text of 64 characters or more; a value a library property does not take. */
#define VX_CTL_INVALID_PARAMETER ((VX_CTL_Result)0x0013)
/* A command group to close holds nothing but its opening. */
#define VX_CTL_BUFFER_EMPTY ((VX_CTL_Result)0xF019)
/* All transmit handles, 1 to 31, are taken. */
#define VX_CTL_BUFFER_LIMIT_REACHED ((VX_CTL_Result)0xF016)
/* The value type of a call does not match the property. */
#define VX_CTL_INVALID_DATA_TYPE ((VX_CTL_Result)0x0016)
/* A library property was given an index other than 0. */
#define VX_CTL_INVALID_DEVICE_INDEX ((VX_CTL_Result)0x0020)
/* The property cannot be written (or read) this way. */
#define VX_CTL_PERMISSION_DENIED ((VX_CTL_Result)0x0023)
/* More than 59 32-bit or 29 64-bit values in one write. */
#define VX_CTL_INVALID_ARRAY_SIZE ((VX_CTL_Result)0x0027)
/* All device handles, 1 to 127, are taken. */
#define VX_CTL_DEVICE_LIMIT_REACHED ((VX_CTL_Result)0xF000)
/* The locator names no interface type, or the I/O library cannot read it. */
#define VX_CTL_INVALID_LOCATOR ((VX_CTL_Result)0xF001)
/* The device is open already, the I/O library refused the open, or the
   handshake failed. */
#define VX_CTL_INITIALIZATION_FAILED ((VX_CTL_Result)0xF002)
/* The device is not connected, or a send failed. */
#define VX_CTL_COMMUNICATION_FAILED ((VX_CTL_Result)0xF004)
/* The answer is not the number of values the caller can take. */
#define VX_CTL_INVALID_QUERYBUFFER_SIZE ((VX_CTL_Result)0xF006)
/* No open device behind the handle. */
#define VX_CTL_INVALID_DEVICE_HANDLE ((VX_CTL_Result)0xF007)
/* The transmit handle names no output buffer or command group. */
#define VX_CTL_INVALID_TRANSMIT_HANDLE ((VX_CTL_Result)0xF008)
/* A reply to no pending request, or an event about an unknown group. */
#define VX_CTL_UNEXPECTED_PACKET ((VX_CTL_Result)0xF00F)
/* The wait was cancelled, or the device is closing. */
#define VX_CTL_CANCELED ((VX_CTL_Result)0xF010)
/* The controller speaks another protocol version. */
#define VX_CTL_INVALID_PROTOCOL_VERSION ((VX_CTL_Result)0xF017)
/* The reset the options asked for failed, or the interface has none. */
#define VX_CTL_DEVICE_RESET_FAILED ((VX_CTL_Result)0xF018)
/* Nothing answers to the locator. */
#define VX_CTL_DEVICE_NOT_FOUND ((VX_CTL_Result)0xF01A)
/* Another thread waits for events of the device already. */
#define VX_CTL_THREAD_LIMIT_REACHED ((VX_CTL_Result)0xF01B)

/* An open device, 1 to 127. */
typedef uint32_t VX_CTL_DeviceHandle;

/*
 * A property key: component selector in bits 31 to 24, sub-component
 * selector in bits 23 to 16, property number in bits 15 to 0. Passed to the
 * controller unchanged.
 */
typedef uint32_t VX_CTL_PropertyKey;

/* Identifies an asynchronous property request, 1 to 239. */
typedef uint8_t VX_CTL_RequestID;

/* 0 sends a request at once; 1 to 31 names an output buffer or a command
   group of the device that collects it. */
typedef uint32_t VX_CTL_TransmitHandle;

/* The device's trajectory stream, chosen by the device. */
typedef uint32_t VX_CTL_StreamHandle;

/* Type of a property value. */
typedef uint32_t VX_CTL_DataType;

#define VX_CTL_DT_INT32 ((VX_CTL_DataType)0x06)  /* signed 32-bit */
#define VX_CTL_DT_INT64 ((VX_CTL_DataType)0x0E)  /* signed 64-bit */
#define VX_CTL_DT_STRING ((VX_CTL_DataType)0x12) /* NUL-terminated text */

/* Kind of an event. */
typedef uint32_t VX_CTL_EventType;

/* Event types the library makes itself. */
/* An asynchronous request completed while nobody waited for it (with
   request-ready events on): idx is its request ID, and value.bytes hold the
   request ID, the kind (0 read, 1 write), the data type, the value count
   and the property key (4 bytes, little-endian). */
#define VX_CTL_EVENT_REQUEST_READY ((VX_CTL_EventType)0xF000)
/* The connection to the device is gone and was not made again. */
#define VX_CTL_EVENT_CONNECTION_LOST ((VX_CTL_EventType)0xF001)

/*
 * One event of a device, 32 bytes: the channel or module index it is about,
 * its type, and its data, read as a signed 32-bit value, a signed 64-bit
 * value or as bytes; bytes the event does not set are zero.
 */
typedef struct VX_CTL_Event {
    uint32_t idx;
    VX_CTL_EventType type;
    union {
        int32_t i32;
        int64_t i64;
        uint8_t bytes[24];
    } value;
} VX_CTL_Event;

/* The library's version as text, "major.minor.update.build". Never null;
   owned by the library. */
VX_CTL_API const char* VX_CTL_GetFullVersionString(void);

#ifdef __cplusplus
}
#endif

#endif /* VELTRAX_CTL_H */
