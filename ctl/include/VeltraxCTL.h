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
   or a wait for an event; or no request ID for a new request while every ID
   is held for a reply still to come (see VX_CTL_RequestID). */
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
/* A reply to no pending request, among them the late reply to a request
   that has ended with VX_CTL_TIMEOUT (dropped, and reported by
   VX_CTL_WaitForEvent); or an event about an unknown group. */
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
/* The USB driver the device search needs is missing. */
#define VX_CTL_DRIVER_FAILED ((VX_CTL_Result)0xF013)

/* A time-out that waits without limit. */
#define VX_CTL_INFINITE ((uint32_t)0xFFFFFFFFu)

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

/*
 * Request IDs and late replies. Every request that awaits an answer, a
 * synchronous call's too, holds a request ID, and the controller's reply
 * names only that ID. An ID names one request until its reply can no longer
 * come: a request that ended with VX_CTL_TIMEOUT (no reply within 2 s of
 * its send) or was cancelled after it was sent keeps its ID until
 *  - its reply arrives: the reply is dropped, and for a timed-out request
 *    reported as VX_CTL_UNEXPECTED_PACKET by VX_CTL_WaitForEvent;
 *  - it has been out for twice the reply time (4 s) and a reply arrives to
 *    a request sent after it on the same line: the controller answers
 *    requests in the order they came, give or take a slow answer, so no
 *    reply to the earlier one will follow (a command group's requests are
 *    answered at its trigger, and count from the trigger or from the
 *    group's cancel);
 *  - the TCP connection it went out on is closed, or, on a serial or USB
 *    line, which goes on across a reconnection, the controller has
 *    answered the version request a reconnection sends first (replies
 *    before that answer are dropped);
 *  - the device is closed.
 * A reply is thus never taken for another request's: a read that returns
 * VX_CTL_OK returns its own property's values, a write its own outcome.
 *
 * After a long cut of a line that the connection survives (a link that
 * holds every byte for seconds, then delivers what it held): requests sent
 * before or during the cut end with VX_CTL_TIMEOUT and keep their IDs; once
 * the line delivers, their replies come first and each is reported as one
 * VX_CTL_UNEXPECTED_PACKET, and requests sent from then on are answered as
 * usual. A new request that finds every ID taken waits for one; when some
 * of them are held for late replies it waits at most as long as for a reply
 * (2 s) and then ends with VX_CTL_TIMEOUT, having sent nothing, and the
 * library asks the controller for its version meanwhile (at most once in
 * that time), an answer that counts as a reply to a request. With
 * no connection and none being made it ends with
 * VX_CTL_COMMUNICATION_FAILED at once.
 */

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
/* The connection to the device is gone and was not made again: later calls
   give VX_CTL_COMMUNICATION_FAILED until the device is closed. Commands
   reported sent before may not have reached the controller. idx 0, value
   zero. */
#define VX_CTL_EVENT_CONNECTION_LOST ((VX_CTL_EventType)0xF001)
/* With reconnection on (see Library properties): the connection was lost
   and has been made again, once per new connection. Commands reported sent
   before the loss may not have reached the controller, and requests whose
   replies were due on the lost connection end with VX_CTL_TIMEOUT. idx 0,
   value zero. */
#define VX_CTL_EVENT_CONNECTION_REMADE ((VX_CTL_EventType)0xF002)

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

/*
 * Conventions of the functions below.
 *
 * - Calls on a device take its VX_CTL_DeviceHandle first; a handle that
 *   names no open device gives VX_CTL_INVALID_DEVICE_HANDLE.
 * - `idx` is the device (0), module or channel index the call addresses,
 *   passed to the controller unchanged.
 * - `tHandle` 0 sends a command at once; an output buffer's or an open
 *   command group's handle collects it instead (see below).
 * - Output pointers must be valid unless a function says null is accepted.
 * - Array sizes count values; text sizes count characters. An in/out size
 *   holds the capacity on entry and the number of values, or the length of
 *   the text without its NUL, on return. That number is written back even
 *   when it does not fit, and then the call gives
 *   VX_CTL_INVALID_QUERYBUFFER_SIZE and copies nothing.
 * - Every function may be called from any thread. Calls on one device run
 *   one after another, except that a call waiting for the controller or
 *   for an event lets the others through while it waits.
 */

/*
 * Library properties: keys the library answers itself, read and written
 * with the property calls like any other, with `idx` 0 (else
 * VX_CTL_INVALID_DEVICE_INDEX) and `tHandle` 0 (else
 * VX_CTL_INVALID_PARAMETER), one 32-bit value or a text (arrays and 64-bit
 * access give VX_CTL_INVALID_DATA_TYPE). A value a key does not take gives
 * VX_CTL_INVALID_PARAMETER and changes nothing.
 *
 *   0xF010005D  int32  Request-ready events of the device, 0 (default) or 1.
 *                      With 1, an asynchronous request that completes while
 *                      nobody waits for it posts VX_CTL_EVENT_REQUEST_READY.
 *   0xF01000A1  int32  Reconnection of the device, 0 (default) or 1.
 *                      With 0, a lost connection (a send that failed, or a
 *                      line reported gone) posts VX_CTL_EVENT_CONNECTION_LOST
 *                      once; from then on calls give
 *                      VX_CTL_COMMUNICATION_FAILED, and so do the waits for
 *                      replies that had not come, until the device is
 *                      closed (and opened again).
 *                      With 1, the library opens the locator again with the
 *                      same options, one attempt a second for up to 10 s;
 *                      the version check and handshake are not repeated.
 *                      On serial and USB lines the new connection first
 *                      carries 256 zero bytes and a version request that
 *                      the controller must answer within 2000 ms: the
 *                      controller may still hold the head of a frame cut
 *                      by the loss, and the zero bytes complete it, so that
 *                      it is dropped, never run. Meanwhile a call that
 *                      sends waits for the new connection, at most 10 s,
 *                      and then gives VX_CTL_COMMUNICATION_FAILED; a call
 *                      waiting for a reply keeps its own deadline
 *                      (VX_CTL_TIMEOUT 2000 ms after its send). Once the
 *                      connection is made again the device posts
 *                      VX_CTL_EVENT_CONNECTION_REMADE, and the one command
 *                      whose send failed is sent once more; a flushed
 *                      output buffer or a closed command group whose send
 *                      failed is not sent again, since its first frames may
 *                      have run: the call gives VX_CTL_COMMUNICATION_FAILED
 *                      and so do its requests. Commands reported sent
 *                      before the loss may not have reached the controller.
 *                      When no attempt succeeds within 10 s, the device
 *                      posts VX_CTL_EVENT_CONNECTION_LOST and goes on as
 *                      with 0.
 *   0xF001008D  int32  The library's log level, one for the whole process;
 *                      every value is taken. 0 stops the log file unless
 *                      device logging or the INI settings need it; a level
 *                      above 0 starts it when none is open.
 *   0xF001009F  int32  Device logging of the device, 0 or 1: the
 *                      controller's own messages written to the library's
 *                      log. Switching it off lets the messages announced
 *                      already be read for up to 500 ms.
 *   0xF00100AF  text   The full path of the log file in use; empty while no
 *                      log file is open. Read only: a write gives
 *                      VX_CTL_PERMISSION_DENIED.
 */

/* The library's version as text, "major.minor.update.build". Never null;
   owned by the library. */
VX_CTL_API const char* VX_CTL_GetFullVersionString(void);

/* The text of a result, by its low 16 bits; "unknown error" for a code the
   library does not know. Never null; owned by the library. */
VX_CTL_API const char* VX_CTL_GetResultInfo(VX_CTL_Result result);

/* A description of an event: its type and what its data mean. Owned by the
   library and valid until the same thread calls this function again. */
VX_CTL_API const char* VX_CTL_GetEventInfo(const VX_CTL_Event* event);

/*
 * Lists the controllers that can be opened, one locator per line, lines
 * joined by LF and ended by a NUL. `options` holds lines separated by LF
 * (null counts as none); each of these lines, written exactly, switches a
 * feature on:
 *   "no-network-devices"     do not search the network;
 *   "include-serial-devices" list serial ports as well;
 *   "extended-format"        each line is "locator=" and the escaped
 *                            locator instead of the bare locator.
 * `*deviceListLen` is the capacity of `deviceList` in bytes on entry and
 * the length of the list without its NUL on return. VX_CTL_DRIVER_FAILED or
 * VX_CTL_COMMUNICATION_FAILED when every search failed.
 */
VX_CTL_API VX_CTL_Result VX_CTL_FindDevices(const char* options, char* deviceList, size_t* deviceListLen);

/*
 * Connects to the controller named by `locator`, as the device search lists
 * it, and writes the new device's handle to *dHandle.
 *
 * `config` is an option text of the I/O library (null for none): lines of
 * a key, a blank and a value, separated by LF. One key is the library's
 * own; all lines go on to VX_IO_Open, whose keys for USB, serial and
 * network locators VeltraxIO.h lists under "Keys of VX_IO_Open".
 *   device-reset   resets the controller between the version check and the
 *                  handshake; it counts wherever its text occurs. USB: the
 *                  controller restarts and reports ready within 2 s.
 *                  Network: the library reads the controller's serial
 *                  number, resets it, waits up to 2 s for it to report
 *                  ready or announce itself, and connects again. Serial: no
 *                  reset exists. A reset that fails, or cannot be made,
 *                  gives VX_CTL_DEVICE_RESET_FAILED.
 * Behind the caller's lines the library adds, by the locator's interface:
 *   USB      "product-name Veltrax QMX2", "product-name Veltrax WEM Eval
 *            Board" and "product-name Veltrax ZBU FB": adapters of these
 *            names (and of any the caller names) are opened;
 *   network  "iface network:all", so that "network:sn:" locators are
 *            looked for on every interface, and "port 55550", the port of
 *            a locator without one unless the caller's text gives "port"
 *            first;
 *   serial   nothing: the caller gives "baudrate".
 * The whole text is kept for reconnections. On serial and USB lines the
 * version check is preceded by 256 zero bytes, which complete and so drop
 * any frame a controller holds the head of from an earlier session.
 *
 * Results besides VX_CTL_OK: VX_CTL_INVALID_LOCATOR; VX_CTL_DEVICE_NOT_FOUND;
 * VX_CTL_INVALID_PARAMETER for an option the I/O library refuses;
 * VX_CTL_TIMEOUT or VX_CTL_INVALID_PROTOCOL_VERSION from the version check;
 * VX_CTL_DEVICE_RESET_FAILED; VX_CTL_INITIALIZATION_FAILED when the I/O
 * library refuses the open otherwise or the handshake fails;
 * VX_CTL_DEVICE_LIMIT_REACHED.
 */
VX_CTL_API VX_CTL_Result VX_CTL_Open(VX_CTL_DeviceHandle* dHandle, const char* locator, const char* config);

/*
 * Closes the device; the handle is free afterwards. Its connection is
 * closed at once: what a healthy line still holds may drain for the I/O
 * library's time ("tx-timeout" on serial and USB lines, on top of the
 * line time of what they hold), a line lost or given up is dropped at
 * once, and that ends the sends in flight. Calls still running on the
 * device end: a flush or a send cut short gives VX_CTL_CANCELED (or
 * VX_CTL_COMMUNICATION_FAILED), a thread waiting in VX_CTL_WaitForEvent
 * or for a reply gives VX_CTL_CANCELED. Returns once no send of the device
 * is in flight, after at most 500 ms more for device logging, so that the
 * port can be opened again right away.
 */
VX_CTL_API VX_CTL_Result VX_CTL_Close(VX_CTL_DeviceHandle dHandle);

/* Makes the current, or else the next, VX_CTL_WaitForEvent on the device
   return VX_CTL_CANCELED. */
VX_CTL_API VX_CTL_Result VX_CTL_Cancel(VX_CTL_DeviceHandle dHandle);

/* Movement commands for channel `idx`. They return once sent (or
   collected); the end of a movement is reported by an event. `moveValue`
   is the target in the channel's units and move mode. */
VX_CTL_API VX_CTL_Result VX_CTL_Calibrate(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_Reference(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_Move(VX_CTL_DeviceHandle dHandle, int8_t idx, int64_t moveValue,
                                     VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_Stop(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_TransmitHandle tHandle);

/*
 * The device's trajectory stream, one at a time. A frame is whole units of
 * 9 bytes, `frameSize` counting bytes; VX_CTL_StreamFrame waits while the
 * controller has no room for it. Close ends the stream after its last
 * frame, abort at once.
 */
VX_CTL_API VX_CTL_Result VX_CTL_OpenStream(VX_CTL_DeviceHandle dHandle, VX_CTL_StreamHandle* sHandle,
                                           uint32_t triggerMode);
VX_CTL_API VX_CTL_Result VX_CTL_StreamFrame(VX_CTL_DeviceHandle dHandle, VX_CTL_StreamHandle sHandle,
                                            const unsigned char* frame, uint32_t frameSize);
VX_CTL_API VX_CTL_Result VX_CTL_CloseStream(VX_CTL_DeviceHandle dHandle, VX_CTL_StreamHandle sHandle);
VX_CTL_API VX_CTL_Result VX_CTL_AbortStream(VX_CTL_DeviceHandle dHandle, VX_CTL_StreamHandle sHandle);

/*
 * Reads a property and waits for the answer. Integer reads: `ioArraySize`
 * may be null when at most one value is expected, else it is the capacity
 * of `value` in values on entry and the number received on return. Text
 * reads: `ioArraySize` must not be null; its capacity counts the NUL.
 */
VX_CTL_API VX_CTL_Result VX_CTL_GetProperty_i32(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                                int32_t* value, size_t* ioArraySize);
VX_CTL_API VX_CTL_Result VX_CTL_GetProperty_i64(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                                int64_t* value, size_t* ioArraySize);
VX_CTL_API VX_CTL_Result VX_CTL_GetProperty_s(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                              char* value, size_t* ioArraySize);

/* Writes a property, one value, an array of `arraySize` values (at most 59
   32-bit or 29 64-bit ones) or a text of at most 63 characters, and waits
   for the controller's answer. */
VX_CTL_API VX_CTL_Result VX_CTL_SetProperty_i32(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                                int32_t value);
VX_CTL_API VX_CTL_Result VX_CTL_SetPropertyArray_i32(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                     VX_CTL_PropertyKey pkey, const int32_t* values,
                                                     size_t arraySize);
VX_CTL_API VX_CTL_Result VX_CTL_SetProperty_i64(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                                int64_t value);
VX_CTL_API VX_CTL_Result VX_CTL_SetPropertyArray_i64(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                     VX_CTL_PropertyKey pkey, const int64_t* values,
                                                     size_t arraySize);
VX_CTL_API VX_CTL_Result VX_CTL_SetProperty_s(VX_CTL_DeviceHandle dHandle, int8_t idx, VX_CTL_PropertyKey pkey,
                                              const char* value);

/*
 * Asynchronous requests: the request calls return at once with the
 * request's ID in *rID; each ID is collected once, by VX_CTL_ReadProperty_*
 * for a read (which waits for the answer), by VX_CTL_WaitForWrite for a
 * write, or dropped by VX_CTL_CancelRequest. A collected, cancelled or
 * unknown ID gives VX_CTL_INVALID_PARAMETER.
 *
 * VX_CTL_RequestReadProperty needs `rID`; the write requests take a null
 * `rID` for a write that is not followed up.
 */
VX_CTL_API VX_CTL_Result VX_CTL_RequestReadProperty(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                    VX_CTL_PropertyKey pkey, VX_CTL_RequestID* rID,
                                                    VX_CTL_TransmitHandle tHandle);
/* `ioArraySize` as for VX_CTL_GetProperty_*. */
VX_CTL_API VX_CTL_Result VX_CTL_ReadProperty_i32(VX_CTL_DeviceHandle dHandle, VX_CTL_RequestID rID, int32_t* values,
                                                 size_t* ioArraySize);
VX_CTL_API VX_CTL_Result VX_CTL_ReadProperty_i64(VX_CTL_DeviceHandle dHandle, VX_CTL_RequestID rID, int64_t* values,
                                                 size_t* ioArraySize);
VX_CTL_API VX_CTL_Result VX_CTL_ReadProperty_s(VX_CTL_DeviceHandle dHandle, VX_CTL_RequestID rID, char* value,
                                               size_t* ioArraySize);
VX_CTL_API VX_CTL_Result VX_CTL_RequestWriteProperty_i32(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                         VX_CTL_PropertyKey pkey, int32_t value,
                                                         VX_CTL_RequestID* rID, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_RequestWriteProperty_i64(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                         VX_CTL_PropertyKey pkey, int64_t value,
                                                         VX_CTL_RequestID* rID, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_RequestWriteProperty_s(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                       VX_CTL_PropertyKey pkey, const char* value,
                                                       VX_CTL_RequestID* rID, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_RequestWritePropertyArray_i32(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                              VX_CTL_PropertyKey pkey, const int32_t* values,
                                                              size_t arraySize, VX_CTL_RequestID* rID,
                                                              VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_RequestWritePropertyArray_i64(VX_CTL_DeviceHandle dHandle, int8_t idx,
                                                              VX_CTL_PropertyKey pkey, const int64_t* values,
                                                              size_t arraySize, VX_CTL_RequestID* rID,
                                                              VX_CTL_TransmitHandle tHandle);
/* Waits for a write request; its result is the controller's answer. */
VX_CTL_API VX_CTL_Result VX_CTL_WaitForWrite(VX_CTL_DeviceHandle dHandle, VX_CTL_RequestID rID);
VX_CTL_API VX_CTL_Result VX_CTL_CancelRequest(VX_CTL_DeviceHandle dHandle, VX_CTL_RequestID rID);

/* The device's oldest event, waiting up to `timeout` milliseconds
   (VX_CTL_INFINITE: without limit): VX_CTL_TIMEOUT when none came,
   VX_CTL_CANCELED after VX_CTL_Cancel or VX_CTL_Close. One thread per
   device may wait. */
VX_CTL_API VX_CTL_Result VX_CTL_WaitForEvent(VX_CTL_DeviceHandle dHandle, VX_CTL_Event* event, uint32_t timeout);

/*
 * Output buffers collect commands given their transmit handle and send them
 * in one write at the flush; a cancel drops them. Handles 1 to 31 are shared
 * with command groups.
 */
VX_CTL_API VX_CTL_Result VX_CTL_CreateOutputBuffer(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle* tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_FlushOutputBuffer(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_CancelOutputBuffer(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle tHandle);

/*
 * Command groups collect commands given their transmit handle; the close
 * sends the group, which the controller runs on its trigger. A cancel drops
 * an open group, or asks the controller to drop a closed one; either way a
 * wait for one of the group's requests that is not answered yet ends with
 * VX_CTL_CANCELED. The handle of a closed group stays taken until the
 * controller reports the group's end; of a closed group that was cancelled,
 * at most until 2000 ms after the cancel, when that report does not come
 * (a report arriving later is then a packet without a group).
 */
VX_CTL_API VX_CTL_Result VX_CTL_OpenCommandGroup(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle* tHandle,
                                                 uint32_t triggerMode);
VX_CTL_API VX_CTL_Result VX_CTL_CloseCommandGroup(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle tHandle);
VX_CTL_API VX_CTL_Result VX_CTL_CancelCommandGroup(VX_CTL_DeviceHandle dHandle, VX_CTL_TransmitHandle tHandle);

#ifdef __cplusplus
}
#endif

#endif /* VELTRAX_CTL_H */
