/*
 * QMXControl: the controller API. Plain C interface; every function returns
 * a VX_STATUS unless noted.
 *
 * Both controller generations are reached through it: the library drives
 * first-generation controller systems through VeltraxIO, on USB adapters
 * (product name "Veltrax QMX-I", 500000 baud) or over TCP, and
 * second-generation systems through the second-generation library
 * libVeltraxCTL.so, loaded at run time (see VX_OpenSystem). Once open, a
 * system of either generation is named by its system index and used through
 * the same functions, status codes and packet records.
 *
 * Every function may be called from any thread. Commands to one system take
 * turns; a thread waiting for a packet does not hold them up.
 *
 * Systems and their indices
 * -------------------------
 * System indices: 0 to 31 name the systems opened by VX_InitSystems, 32 to 63
 * the handles returned by VX_OpenSystem. Every function that takes a
 * systemIndex looks it up first: an index of 64 or more, or one whose slot
 * holds no system, gives 5 and nothing else happens. Closing a system waits
 * for a command running on it to finish.
 *
 * Synchronous and asynchronous twins
 * ----------------------------------
 * Functions ending in _S wait for the controller's answer and need a system
 * opened in synchronous mode; their _A twins only send, need asynchronous mode
 * (the "async" option), and their answers arrive later as VX_packet records
 * (VX_ReceiveNextPacket_A). The twin of the other mode gives 13. (For
 * VX_InitSystems, bit 0 of its configuration chooses the mode.)
 *
 * Checks. Before it sends anything a per-system function checks, in this
 * order, and stops with nothing sent at the first refusal: the mode (13), the
 * channel index (6 unless below VX_GetNumberOfChannels), the channel's class
 * (19), then its other arguments (9 for a value outside the range given with
 * the function). The class of a channel is the top nibble of its module word,
 * read at open (VX_GetChannelSerialNumber): 0x2000, 0x6000 and 0xB000 are
 * positioners (VX_CHANNEL_POSITIONER), 0x9000 end effectors
 * (VX_CHANNEL_END_EFFECTOR). Each function says what it takes: "positioner",
 * "end effector", "any channel" (channels of other classes take only these),
 * or "system-wide" (no channel index).
 *
 * _S results. An _S function drops what is still queued from earlier
 * requests, sends its request and waits up to 2 s for the answer. Besides 0
 * and the refusals above it gives 15 when no answer comes; 14 for an answer
 * from another module or of another kind; the controller's code when it
 * refuses (see Status codes); 10 once the connection has reported a failure,
 * and 22 once more than 256 packets came unread: from then on, for the life
 * of the system, every _S function gives it before it sends anything (the
 * system is only good for closing); 7 when VeltraxIO refuses the send with
 * its write error, 255 when it refuses it otherwise. Outputs are written only
 * on success, and an output pointer may be null (that value is then not
 * written). A command (an _S function without outputs) returns when the
 * controller has confirmed it.
 *
 * Late answers. The answer to a call that gave 15, or 14 for another
 * module's packet, may still come: it is dropped when it does, never taken
 * by a later call, so no call returns a value or a confirmation that belongs
 * to another. Over a network answers are not lost and keep their order:
 * after a cut, each call gives 15 until the line delivers again, and the
 * held answers of the calls that gave up are then dropped in order. Over USB
 * an answer can be lost; there, and after a call that dropped a late answer
 * of its module and still gave 15 (that one may have been its own), a call
 * of the same kind to the same module first waits for the answer owed, until
 * 5 s after its request at most, and then sends and waits its 2 s. A lost
 * answer may so cost a later call a 15 and a wait, never a wrong value (an
 * answer that came more than 5 s after its request, which a USB line does
 * not hold, could still be taken).
 *
 * _A results. An _A function only sends: 0 means sent, or stored for
 * VX_FlushOutput_A while buffered output is on (149 when the request does not
 * fit the 256-byte buffer; it is then dropped). VeltraxIO's refusals give 7
 * and 255 as above; after the connection has reported a failure an _A
 * function still sends (VeltraxIO refuses to send on a lost connection), and
 * the receives give 10 or 22 once the queue is empty. A query's answer
 * arrives as a packet of the type named with the function; commands are not
 * confirmed, and the controller's refusal of one arrives as a VX_PACKET_ERROR
 * packet.
 *
 * Units: positions in nanometres; angles in micro-degrees (360000000 a turn)
 * with whole revolutions (-32768 to 32767); hold times in milliseconds, 0 to
 * 60000.
 *
 * Buffers
 * -------
 * Callers own every buffer they pass; the library reads or fills it only
 * during the call. Sizes are in/out:
 *   text (char* buffer, unsigned int* size): *size holds the capacity in bytes
 *     on entry and the length of the text, without its NUL, on return, also
 *     with 23, so that *size + 1 is the room needed. 23 when the text and its
 *     NUL do not fit: the buffer is untouched. 9 for a null size (*size
 *     untouched), and for a null buffer that the text would have gone to.
 *   number lists (unsigned int* list, unsigned int* size or count): the
 *     capacity in entries on entry, the number of entries on return; each
 *     function says what a list that does not fit gives.
 *   byte lists (unsigned char* buffer, unsigned int* size): *size holds the
 *     capacity in bytes on entry (for a write: the number of bytes to write)
 *     and the number of bytes on return. Bytes that do not fit give 17 with
 *     *size 0, nothing transferred. 9 for a null size, and for a null buffer
 *     with bytes to transfer.
 *
 * Status codes
 * ------------
 * Texts: VX_GetStatusText. What this library's codes mean here:
 *    0 success.
 *    1 an open failed: VeltraxIO could not open the device, or the controller
 *      did not start up as expected; an index-map entry answered for another.
 *    2 nothing initialised: the init list (VX_GetNumberOfSystems,
 *      VX_GetSystemID), or nothing open at all (VX_ReleaseSystems).
 *    3 no system found for the locator, or none attached.
 *    4 too many: all handles 32 to 63 in use; 64 ids in the init list.
 *    5 the system index names no system.
 *    6 the channel index is not below the number of channels.
 *    7 VeltraxIO refused a send with its write error.
 *    9 an argument out of range, or a null pointer where one is needed.
 *   10 the connection reported a failure.
 *   12 internal: an unexpected failure inside the library; a controller with
 *      64 or more channels; a packet that cannot be decoded; a channel of no
 *      known class (VX_GetChannelType).
 *   13 wrong mode: the system's mode does not take the function; the init
 *      list is initialised.
 *   14 protocol: an answer from another module or of another kind.
 *   15 no answer in time.
 *   17 a byte list does not fit its buffer.
 *   18 the id is in the init list already.
 *   19 the channel's class does not take the function.
 *   20 a wait for a packet was cancelled, or its system closed.
 *   21 a locator that cannot name a system.
 *   22 more than 256 packets arrived before they were received.
 *   23 a text or number list does not fit its buffer.
 *   24 the USB driver cannot be loaded.
 *  128 to 160, 240: the controller's codes, passed on from its refusals (_S)
 *      or found in data1 of VX_PACKET_ERROR packets (_A). 149 is also the
 *      library's own full output buffer.
 *  156 also: an unknown property number (VX_SetLogProperty,
 *      VX_GetPositionerTypeProperty).
 *  255 anything else: VeltraxIO refused a send otherwise (a connection that is
 *      gone), a value the system did not report at open, an unexpected
 *      failure in a per-system function.
 * 8 and 25 have texts but are not returned.
 *
 * Logging
 * -------
 * Messages go to the log handler (VX_SetLogHandler) and, when file logging is
 * on and a log folder is set, to a log file, whose lines read "<seconds since
 * logging started>.<microseconds> [<level>]: <message>". Levels (VX_SetLogLevel):
 * 0 nothing (the level at load); 1 general messages: logging started, its settings,
 * and "Opened System <index>:" with the system's description; 2 adds a call
 * line "call [n] NAME(arguments)" and a return line "return [n] -> status |
 * outputs" for each framed call (the per-system functions, the open, close,
 * find and init-list functions, VX_GetDLLVersion); n counts the calls of the
 * process from 1 and wraps to 0; 5 adds every packet sent and received ("OUT
 * packet: ..." / " IN packet: ..."). Without argument logging
 * (VX_SetLogFilter) the parentheses and the part from " |" are left out.
 * Until logging has started, each VX_OpenSystem and VX_InitSystems looks for
 * "QMXControl.ini" beside the program, then beside the library. Its first line
 * must be "; QMXControl ini file" (else file logging is switched off); then
 * lines of a key and a value separated by blanks: "LogLevel <n>" (at most 5),
 * "LogArgs <n>" (not 0: on), "LogPath <folder>" (or "lib" or "dll": the
 * library's folder; "app": the program's), "OldLogs append|delete|keep". A
 * level set before by VX_SetLogLevel leaves the file's settings unused.
 */
#ifndef QMX_CONTROL_H
#define QMX_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#if defined(QMX_BUILD)
#define QMX_API __attribute__((visibility("default")))
#else
#define QMX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 0 for success, else a code of Status codes. */
typedef uint32_t VX_STATUS;

/* Status codes by name, with their texts (VX_GetStatusText). The meaning of
 * each of this library's codes is listed under Status codes above; codes from
 * 128 on are the controller's own, passed on as it sends them. Every other
 * number has no text ("<unknown status code>"). */
#define VX_OK 0u                               /* "no error" */
#define VX_INITIALIZATION_ERROR 1u             /* "initialization error" */
#define VX_NOT_INITIALIZED 2u                  /* "not initialized" */
#define VX_NO_SYSTEMS_FOUND 3u                 /* "no systems found" */
#define VX_TOO_MANY_SYSTEMS 4u                 /* "too many systems" */
#define VX_INVALID_SYSTEM_INDEX 5u             /* "invalid system index" */
#define VX_INVALID_CHANNEL_INDEX 6u            /* "invalid channel index" */
#define VX_TRANSMIT_ERROR 7u                   /* "transmit error" */
#define VX_WRITE_ERROR 8u                      /* "write error" */
#define VX_INVALID_PARAMETER 9u                /* "invalid parameter" */
#define VX_READ_ERROR 10u                      /* "read error" */
#define VX_INTERNAL_ERROR 12u                  /* "internal error" */
#define VX_WRONG_MODE 13u                      /* "wrong mode" */
#define VX_PROTOCOL_ERROR 14u                  /* "protocol error" */
#define VX_TIMEOUT 15u                         /* "timeout" */
#define VX_ID_LIST_TOO_SMALL 17u               /* "id list too small" */
#define VX_SYSTEM_ALREADY_ADDED 18u            /* "system already added" */
#define VX_WRONG_CHANNEL_TYPE 19u              /* "wrong channel type" */
#define VX_CANCELED 20u                        /* "canceled" */
#define VX_INVALID_SYSTEM_LOCATOR 21u          /* "invalid system locator" */
#define VX_INPUT_BUFFER_OVERFLOW 22u           /* "input buffer overflow" */
#define VX_QUERY_BUFFER_SIZE 23u               /* "query-buffer size" */
#define VX_DRIVER_ERROR 24u                    /* "driver error" */
#define VX_COMPATIBILITY_ERROR 25u             /* "compatibility error" */
#define VX_NO_SUCH_SLAVE_ERROR 128u            /* "no such slave error" */
#define VX_NO_SENSOR_PRESENT 129u              /* "no sensor present" */
#define VX_AMPLITUDE_TOO_LOW 130u              /* "amplitude too low" */
#define VX_AMPLITUDE_TOO_HIGH 131u             /* "amplitude too high" */
#define VX_FREQUENCY_TOO_LOW 132u              /* "frequency too low" */
#define VX_FREQUENCY_TOO_HIGH 133u             /* "frequency too high" */
#define VX_SCAN_TARGET_TOO_HIGH 135u           /* "scan target too high" */
#define VX_SCAN_SPEED_TOO_LOW 136u             /* "scan speed too low" */
#define VX_SCAN_SPEED_TOO_HIGH 137u            /* "scan speed too high" */
#define VX_SENSOR_DISABLED 140u                /* "sensor disabled" */
#define VX_COMMAND_OVERRIDDEN 141u             /* "command overridden" */
#define VX_END_STOP_REACHED 142u               /* "end stop reached" */
#define VX_WRONG_SENSOR_TYPE 143u              /* "wrong sensor type" */
#define VX_COULD_NOT_FIND_REFERENCE_MARK 144u  /* "could not find reference mark" */
#define VX_WRONG_END_EFFECTOR_TYPE 145u        /* "wrong end effector type" */
#define VX_MOVEMENT_LOCKED 146u                /* "movement locked" */
#define VX_RANGE_LIMIT_REACHED 147u            /* "range limit reached" */
#define VX_PHYSICAL_POSITION_UNKNOWN 148u      /* "physical position unknown" */
#define VX_OUTPUT_BUFFER_OVERFLOW 149u         /* "output buffer overflow" */
#define VX_COMMAND_NOT_PROCESSABLE 150u        /* "command not processable" */
#define VX_WAITING_FOR_TRIGGER 151u            /* "waiting for trigger" */
#define VX_COMMAND_NOT_TRIGGERABLE 152u        /* "command not triggerable" */
#define VX_COMMAND_QUEUE_FULL 153u             /* "command queue full" */
#define VX_INVALID_COMPONENT 154u              /* "invalid component" */
#define VX_INVALID_SUB_COMPONENT 155u          /* "invalid sub component" */
#define VX_INVALID_PROPERTY 156u               /* "invalid property" */
#define VX_PERMISSION_DENIED 157u              /* "permission denied" */
#define VX_CALIBRATION_FAILED 160u             /* "calibration failed" */
#define VX_UNKNOWN_COMMAND 240u                /* "unknown command" */
#define VX_OTHER_ERROR 255u                    /* "other error" */
/* A VX_PACKET_ value. */
typedef uint32_t VX_PacketType;
/* 0 to 31 init-list systems, 32 to 63 handles of VX_OpenSystem. */
typedef uint32_t VX_SystemIndex;

/* The system index with which the positioner-type queries answer from the
 * library's own table, without any system. */
#define VX_NO_SYSTEM 0xFFFFFFFFu

/* Channel types of VX_GetChannelType. */
typedef uint32_t VX_ChannelType;
enum {
    VX_CHANNEL_POSITIONER = 0,
    VX_CHANNEL_END_EFFECTOR = 1
};

/* Packet types of VX_packet.packetType; the fields each fills are listed with
 * VX_packet. */
enum {
    VX_PACKET_NONE = 0,
    VX_PACKET_ERROR = 1,
    VX_PACKET_POSITION = 2,
    VX_PACKET_MOVEMENT_COMPLETED = 3,
    VX_PACKET_STATUS = 4,
    VX_PACKET_ANGLE = 5,
    VX_PACKET_VOLTAGE_LEVEL = 6,
    VX_PACKET_SENSOR_TYPE = 7,
    VX_PACKET_SENSOR_ENABLED = 8,
    VX_PACKET_END_EFFECTOR_TYPE = 9,
    VX_PACKET_GRIPPER_OPENING = 10,
    VX_PACKET_FORCE = 11,
    VX_PACKET_CLOSED_LOOP_MOVE_SPEED = 12,
    VX_PACKET_PHYSICAL_POSITION_KNOWN = 13,
    VX_PACKET_POSITION_LIMIT = 14,
    VX_PACKET_ANGLE_LIMIT = 15,
    VX_PACKET_SAFE_DIRECTION = 16,
    VX_PACKET_SCALE = 17,
    VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION = 18,
    VX_PACKET_CHANNEL_PROPERTY = 19,
    VX_PACKET_CAPTURE_BUFFER = 20,
    VX_PACKET_REPORT_D0 = 21,
    VX_PACKET_POSITIONER_TYPE = 22,
    VX_PACKET_DEBUG_VALUE = 250,
    VX_PACKET_PARAMETER = 251,
    VX_PACKET_OTHER = 255
};

/*
 * The API packet record: answers and reports of asynchronous calls. After a
 * receive that timed out all 24 bytes are zero. channelIndex is the channel
 * whose module sent the packet; the data fields by packet type (fields not
 * named are 0):
 *   VX_PACKET_ERROR                   data1 the controller's code (its refusal
 *                                     of a command or query)
 *   VX_PACKET_POSITION                data2 position
 *   VX_PACKET_MOVEMENT_COMPLETED      none (see VX_SetReportOnComplete_A)
 *   VX_PACKET_STATUS                  data1 the channel's status
 *   VX_PACKET_ANGLE                   data1 angle, data2 revolution
 *   VX_PACKET_VOLTAGE_LEVEL           data1 level (see VX_GetVoltageLevel_A)
 *   VX_PACKET_SENSOR_TYPE             data1 sensor type
 *   VX_PACKET_SENSOR_ENABLED          data1 sensor mode
 *   VX_PACKET_END_EFFECTOR_TYPE       data1 type, data2 param1, data3 param2
 *   VX_PACKET_GRIPPER_OPENING         data1 opening
 *   VX_PACKET_FORCE                   data2 force
 *   VX_PACKET_CLOSED_LOOP_MOVE_SPEED  data1 speed
 *   VX_PACKET_PHYSICAL_POSITION_KNOWN data1 known (0 or 1)
 *   VX_PACKET_POSITION_LIMIT          data2 minimum, data3 maximum
 *   VX_PACKET_ANGLE_LIMIT             data1 minimum angle, data2 its revolution,
 *                                     data4 maximum angle, data3 its revolution
 *   VX_PACKET_SAFE_DIRECTION          data1 direction
 *   VX_PACKET_SCALE                   data2 shift, data1 inverted
 *   VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION  data1 acceleration
 *   VX_PACKET_CHANNEL_PROPERTY        data1 key, data2 value
 *   VX_PACKET_CAPTURE_BUFFER          data1 buffer index, then the entry's
 *                                     values: data4 (unsigned 32 bits), data2
 *                                     (signed 32 bits), data3 (signed 16 bits)
 *   VX_PACKET_REPORT_D0               none: a trigger report (see
 *                                     VX_SetReportOnTriggered_A)
 *   VX_PACKET_POSITIONER_TYPE         data1 positioner type
 *                                     (see VX_GetPositionerType_A)
 *   VX_PACKET_DEBUG_VALUE             data1 index, data2 value
 *   VX_PACKET_PARAMETER               data1 index, data2 value (tuning and
 *                                     configuration parameters alike)
 *   VX_PACKET_OTHER                   none: any other packet, such as an
 *                                     acknowledge
 */
typedef struct VX_packet {
    uint32_t packetType;
    uint32_t channelIndex;
    uint32_t data1;
    int32_t data2;
    int32_t data3;
    uint32_t data4;
} VX_packet;

/* The record crosses the boundary as 24 bytes, six fields, no padding. */
#define QMX_LAYOUT_CHECK(name, condition) typedef char qmx_layout_##name[(condition) ? 1 : -1]
QMX_LAYOUT_CHECK(packet_size, sizeof(VX_packet) == 24);
QMX_LAYOUT_CHECK(packet_type, offsetof(VX_packet, packetType) == 0);
QMX_LAYOUT_CHECK(packet_channel, offsetof(VX_packet, channelIndex) == 4);
QMX_LAYOUT_CHECK(packet_data1, offsetof(VX_packet, data1) == 8);
QMX_LAYOUT_CHECK(packet_data2, offsetof(VX_packet, data2) == 12);
QMX_LAYOUT_CHECK(packet_data3, offsetof(VX_packet, data3) == 16);
QMX_LAYOUT_CHECK(packet_data4, offsetof(VX_packet, data4) == 20);
#undef QMX_LAYOUT_CHECK

/* Receives every log message at or below the current level (a message may
 * hold several lines joined by "\n"); the second argument is always 0. Runs
 * on the thread that logs, with the log lock held: it must not call the log
 * functions, nor any function that writes a log line. */
typedef void (*VX_LogHandler)(const char* message, unsigned int reserved);

/* ---- Opening, closing and finding systems ---- */

/*
 * Opens the system at `locator` with an option text (null = empty) and stores
 * its handle (32 to 63, the lowest free) in *systemIndex, which holds
 * 0xFFFFFFFF after any failure. Locators are VeltraxIO's (see VeltraxIO.h),
 * with these differences:
 *   usb:id:<chip id>, usb:sn:<serial>  only adapters named "Veltrax QMX-I".
 *   usb:ix:<n>   the n-th (from 0) "usb:" locator that VX_FindSystems lists,
 *                not VeltraxIO's driver index. Leading blanks and a sign are
 *                allowed; 21 without digits, for a negative number or beyond
 *                32 bits; 3 when fewer systems are found.
 *   network:<host>:<port>  the port must be written: no "port" option is
 *                passed on, so "network:<host>" fails (1).
 *   network:sn:<serial>[:<port>]  found only among the devices VeltraxIO
 *                knows already from this process's searches and events (no
 *                interface to search is passed on).
 *   usb:sn:QMX2-..., network:sn:QMX2-...  second-generation systems: 3 unless
 *                the second-generation library libVeltraxCTL.so can be loaded
 *                (beside this library, else from the search path). Any other
 *                locator but usb:id: and usb:ix: that the first generation
 *                fails to open is tried with that library too, when it loads.
 *   serial: and unknown kinds are 21.
 * Options, found anywhere in the text: "async" asynchronous mode (else
 * synchronous); "reset" resets the controller while opening; "open-timeout"
 * followed by a blank and milliseconds up to the end of its line, 100 to 60000
 * (else 9; default 3000): the TCP connect time-out of network systems.
 * Opening reads the channel list and every module's firmware versions and
 * feature permissions, then sets the mode; the system's description is
 * logged at level 1.
 * 0; 9 null systemIndex, or open-timeout out of range; 21; 3 no such system;
 * 24 USB driver not available; 1 VeltraxIO could not open the device
 * otherwise, or the controller did not start up as expected (a network
 * controller must greet within 2 s); 15 or 10 no answer or a lost connection
 * during start-up; 12 64 channels or more; 4 all handles in use (the system is
 * closed again); 23 or 255 when usb:ix: cannot list the systems.
 */
QMX_API VX_STATUS VX_OpenSystem(VX_SystemIndex* systemIndex, const char* locator,
                                const char* options);
/* Closes a handle of VX_OpenSystem (32 to 63) and frees it. A command in
 * progress on the system finishes first; a thread waiting for a packet of the
 * system is woken first and gets 20. 0, or 5 for any other index (init-list
 * systems go with VX_ReleaseSystems). */
QMX_API VX_STATUS VX_CloseSystem(VX_SystemIndex systemIndex);
/* Locators of all attached systems joined by "\n" (none after the last), into
 * the caller's text buffer (see Buffers): "usb:id:<chip id>" for each USB
 * adapter named "Veltrax QMX-I" that no program holds open, in the driver's
 * order, then what the second-generation library finds when it can be loaded.
 * `options` is not used. *size: capacity in, text length (without NUL) out;
 * 23 when the text and its NUL do not fit. Also 9; 24 USB driver not
 * available; 255 the USB list cannot be read; failures of the second-generation
 * search mapped onto these codes. */
QMX_API VX_STATUS VX_FindSystems(const char* options, char* buffer, unsigned int* size);
/* The locator a system was opened with, into the caller's text buffer (see
 * Buffers); a "usb:ix:" locator is replaced by the "usb:id:" one it resolved
 * to, and init-list systems have "usb:id:<id>". 0; 5; 9; 23. */
QMX_API VX_STATUS VX_GetSystemLocator(VX_SystemIndex systemIndex, char* buffer,
                                      unsigned int* size);

/* ---- Init-systems list: systems 0 to 31 ---- */

/* USB systems opened together as indices 0, 1, ... by VX_InitSystems, chosen
 * by their chip ids, and released together by VX_ReleaseSystems. */
/* Chip ids of the attached USB systems (adapters named "Veltrax QMX-I" that
 * no program holds open), in the driver's order, into the caller's idList.
 * *count: capacity in entries on entry, number of ids found on return, even
 * when more were found than fit (only the first ones are written then, and
 * the result is still 0). 3 when none is attached (*count 0); 9 for a null
 * count, or a null idList with ids to write; 24 USB driver not available;
 * 255 the list cannot be read. */
QMX_API VX_STATUS VX_GetAvailableSystems(unsigned int* idList, unsigned int* count);
/* Adds a chip id to the init list, which chooses and orders what
 * VX_InitSystems opens (at most 64 ids). 0; 13 while the list is initialised
 * (VX_ReleaseSystems first); 4 the list is full; 18 the id is in it already. */
QMX_API VX_STATUS VX_AddSystemToInitSystemsList(unsigned int systemId);
/* Empties the init list. 0, or 13 while it is initialised. */
QMX_API VX_STATUS VX_ClearInitSystemsList(void);
/* Releases the init-list systems open before, then opens as indices 0, 1, ...
 * the attached systems whose ids are in the init list, in list order, or all
 * attached systems when the list is empty (each as "usb:id:<id>"). On success
 * the init state becomes 1 (synchronous) or 2 (asynchronous).
 * configuration: bit 0 asynchronous use, bit 1 reset while opening; any other
 * bit is 9. Looks for QMXControl.ini as VX_OpenSystem does.
 * 0; 9; 3 none of them attached; 24 or 255 as VX_GetAvailableSystems; 5 more
 * than 32 systems (the first 32 stay open); the status of VX_OpenSystem for a
 * system that fails to open. After a failure the systems opened before stay
 * open until VX_ReleaseSystems, and the init state stays 0. */
QMX_API VX_STATUS VX_InitSystems(unsigned int configuration);
/* *initState: 0 not initialised, 1 synchronous, 2 asynchronous. 0, or 9 for a
 * null pointer. */
QMX_API VX_STATUS VX_GetInitState(unsigned int* initState);
/* The number of open init-list systems (handles of VX_OpenSystem do not
 * count). 0; 2 not initialised; 9 null pointer. */
QMX_API VX_STATUS VX_GetNumberOfSystems(unsigned int* numberOfSystems);
/* Closes every init-list system (a thread waiting for one of their packets
 * gets 20), frees indices 0 to 31 and sets the init state to 0; the init list
 * and the handles of VX_OpenSystem stay. Then ends file logging ("Logging
 * stopped." first when the level is not 0; the level stays and messages still
 * reach the log handler) and writes no return line. 0, or 2 when no system at
 * all is open (with a return line). */
QMX_API VX_STATUS VX_ReleaseSystems(void);

/* ---- Logging ---- */

/* These five take no call number and write no call lines. */
/* Sets the function that receives every log message (null: none). Always 0. */
QMX_API VX_STATUS VX_SetLogHandler(VX_LogHandler handler);
/* 0 to 5; a larger level acts as 5. From 0 to another level logging starts:
 * the log file is opened (file logging on and a folder set) and the start
 * messages are written; back to 0 "Logging stopped." is written and the file
 * closed. 0 (12 when the library runs out of memory). */
QMX_API VX_STATUS VX_SetLogLevel(unsigned int level);
/* The folder in which the next start of logging creates its file (null or
 * "": none; without a folder no file is written). A running log keeps its
 * file. 0 (12 when the library runs out of memory). */
QMX_API VX_STATUS VX_SetLogFolder(const char* folder);
/* Settings for the next start of logging. 1000: file logging on (1) or off
 * (any other value); on at load time. 1001: old logs 0 append (to
 * QMXControl.log, after a line of '#'), 1 delete (QMXControl.log is written
 * afresh; the default), 2 keep (each start writes a new
 * QMXControl_<date>_<time>.log); values above 2 are ignored. 0, or 156 for
 * another property. */
QMX_API VX_STATUS VX_SetLogProperty(unsigned int property, unsigned int value);
/* Bit 1 (value 2): log the arguments and outputs of each call; on at load
 * time. The other bits are ignored. Always 0. */
QMX_API VX_STATUS VX_SetLogFilter(unsigned int filter);

/* ---- Status codes, key packing and library version ---- */

/* Plain helpers: no call number and no log line, except VX_GetDLLVersion. */
/* 0 and the code's text, or 255 and the text for an unknown code
 * ("<unknown status code>"). The text is static; `text` may be null. */
QMX_API VX_STATUS VX_GetStatusInfo(VX_STATUS status, const char** text);
/* The code's static text, never null ("<unknown status code>" for a code
 * without one). Returns the text, not a status. */
QMX_API const char* VX_GetStatusText(VX_STATUS status);
/* Property key for the channel property functions: component in bits 31-24,
 * sub-component 23-16, property 15-0. Returns the key, not a status. */
QMX_API unsigned int VX_EPK(unsigned char component, unsigned char subComponent,
                            unsigned short property);
/* A selector value: high in bits 15-8, low in bits 7-0. Returns the value. */
QMX_API unsigned int VX_ESV(unsigned char high, unsigned char low);
/* Splits a selector value: *high gets bits 15-8, *low bits 7-0; a null
 * pointer is skipped. */
QMX_API void VX_DSV(unsigned int value, unsigned int* high, unsigned int* low);
/* The library's version: major in bits 31-24, minor 23-16, update 15-0
 * (`version` may be null). Always 0; takes a call number and writes call and
 * return lines like the framed functions. */
QMX_API VX_STATUS VX_GetDLLVersion(unsigned int* version);
/* The static text "<major>.<minor>.<update>.<build>". */
QMX_API const char* VX_GetFullDLLVersionString(void);

/* ---- System and channel queries ---- */

/* Answered by the library without a request to the controller; either mode. */
/* The number of channels the system reported at open (0 to 63); channel
 * indices run from 0 to one below it. */
QMX_API VX_STATUS VX_GetNumberOfChannels(VX_SystemIndex systemIndex,
                                         unsigned int* numberOfChannels);
/* VX_CHANNEL_POSITIONER or VX_CHANNEL_END_EFFECTOR, by the channel's class;
 * 6; 12 for a channel of another class. */
QMX_API VX_STATUS VX_GetChannelType(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                    unsigned int* type);
/* With VX_NO_SYSTEM the three positioner-type queries answer from the
 * library's table. Sizes: capacity in, number of types / name length out.
 * Given a system index instead, they answer from the same table once the
 * index names a system (else 5).
 * The list: the type codes 1 to 56, ascending, into the caller's `list`.
 * *size is set to the number of types in every case but a null size; 23 when
 * they do not fit (nothing written); 9 for a null size or list. */
QMX_API VX_STATUS VX_GetPositionerTypeList(VX_SystemIndex systemIndex, unsigned int* list,
                                           unsigned int* size);
/* The short name of a positioner type into the caller's text buffer (see
 * Buffers): L (linear) or R (rotary), the reference (N none, E end stop, M
 * mark, D distance-coded marks), then the code, as "LM01". 9 for an unknown
 * type, a null size (both leave *size alone) or a null name; 23. */
QMX_API VX_STATUS VX_GetPositionerTypeName(VX_SystemIndex systemIndex, unsigned int type,
                                           char* name, unsigned int* size);
/* property 1: rotary (0/1); property 2: reference type (0 to 3): 0 none,
 * 1 end stop, 2 mark, 3 distance-coded marks. 9 for an unknown type or a null
 * value; 156 for another property. */
QMX_API VX_STATUS VX_GetPositionerTypeProperty(VX_SystemIndex systemIndex, unsigned int type,
                                               unsigned int property, unsigned int* value);
/* Only for systems of the init list (0 to 31): the chip id of the system's
 * USB adapter. 2 for every index while the init list is not initialised; 5 for
 * an index of 32 or more, or without a system; 255 when the id cannot be
 * read. */
QMX_API VX_STATUS VX_GetSystemID(VX_SystemIndex systemIndex, unsigned int* systemId);

/* ---- Channel configuration getters ---- */

/* The _S twin waits and writes the outputs (see _S results); the _A twin only
 * sends, and its answer arrives as the packet named. */
/* Positioner. The allowed angle range: minimum angle and revolution, maximum
 * angle and revolution. */
QMX_API VX_STATUS VX_GetAngleLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int* minAngle, int* minRevolution,
                                     unsigned int* maxAngle, int* maxRevolution);
/* Positioner. Answer: VX_PACKET_ANGLE_LIMIT. */
QMX_API VX_STATUS VX_GetAngleLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Any channel. The value of the channel property `key` (see VX_EPK). */
QMX_API VX_STATUS VX_GetChannelProperty_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int* value);
/* Any channel. Answer: VX_PACKET_CHANNEL_PROPERTY. */
QMX_API VX_STATUS VX_GetChannelProperty_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key);
/* Positioner. The acceleration of closed-loop moves. */
QMX_API VX_STATUS VX_GetClosedLoopMoveAcceleration_S(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int* acceleration);
/* Positioner. Answer: VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION. */
QMX_API VX_STATUS VX_GetClosedLoopMoveAcceleration_A(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex);
/* Positioner. The speed of closed-loop moves. */
QMX_API VX_STATUS VX_GetClosedLoopMoveSpeed_S(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int* speed);
/* Positioner. Answer: VX_PACKET_CLOSED_LOOP_MOVE_SPEED. */
QMX_API VX_STATUS VX_GetClosedLoopMoveSpeed_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex);
/* End effector. Its type and the type's two parameters. */
QMX_API VX_STATUS VX_GetEndEffectorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int* type, int* param1, int* param2);
/* End effector. Answer: VX_PACKET_END_EFFECTOR_TYPE. */
QMX_API VX_STATUS VX_GetEndEffectorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The allowed position range. */
QMX_API VX_STATUS VX_GetPositionLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int* minPosition, int* maxPosition);
/* Positioner. Answer: VX_PACKET_POSITION_LIMIT. */
QMX_API VX_STATUS VX_GetPositionLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The safe direction (see VX_SetSafeDirection_S). */
QMX_API VX_STATUS VX_GetSafeDirection_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int* direction);
/* Positioner. Answer: VX_PACKET_SAFE_DIRECTION. */
QMX_API VX_STATUS VX_GetSafeDirection_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The scale's shift and whether it is inverted (0 or 1). */
QMX_API VX_STATUS VX_GetScale_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int* shift, unsigned int* inverted);
/* Positioner. Answer: VX_PACKET_SCALE. */
QMX_API VX_STATUS VX_GetScale_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* System-wide sensor mode: 0, 1 or 2, as the first positioner channel
 * reports it; 19 when the system has no positioner. */
QMX_API VX_STATUS VX_GetSensorEnabled_S(VX_SystemIndex systemIndex, unsigned int* mode);
/* System-wide; asks the first positioner channel (19 without one). Answer:
 * VX_PACKET_SENSOR_ENABLED. */
QMX_API VX_STATUS VX_GetSensorEnabled_A(VX_SystemIndex systemIndex);
/* Positioner. The type of the channel's sensor. */
QMX_API VX_STATUS VX_GetSensorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int* type);
/* Positioner. Answer: VX_PACKET_SENSOR_TYPE (but see VX_GetPositionerType_A). */
QMX_API VX_STATUS VX_GetSensorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The positioner type (codes of VX_GetPositionerTypeList); the
 * controller reports it as the sensor type. */
QMX_API VX_STATUS VX_GetPositionerType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int* type);
/* Positioner. Sends the sensor-type query; for each call the channel's next
 * sensor-type answer arrives as VX_PACKET_POSITIONER_TYPE instead of
 * VX_PACKET_SENSOR_TYPE (VX_DiscardPacket_A of such an answer counts too). */
QMX_API VX_STATUS VX_GetPositionerType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Channel configuration setters ---- */

/* The _S twin returns when the controller has confirmed the setting; the _A
 * twin only sends it (see _A results). Values are checked as stated, else 9. */
/* Positioner. Accumulating relative positions on (accumulate 1) or off (any
 * other value). */
QMX_API VX_STATUS VX_SetAccumulateRelativePositions_S(VX_SystemIndex systemIndex,
                                                      unsigned int channelIndex,
                                                      unsigned int accumulate);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetAccumulateRelativePositions_A(VX_SystemIndex systemIndex,
                                                      unsigned int channelIndex,
                                                      unsigned int accumulate);
/* Positioner. The allowed angle range: angles below 360000000, revolutions
 * -32768 to 32767. */
QMX_API VX_STATUS VX_SetAngleLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int minAngle, int minRevolution,
                                     unsigned int maxAngle, int maxRevolution);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetAngleLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int minAngle, int minRevolution,
                                     unsigned int maxAngle, int maxRevolution);
/* Positioner (unlike the getter, which takes any channel). Sets the channel
 * property `key` (see VX_EPK) to `value`. */
QMX_API VX_STATUS VX_SetChannelProperty_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int value);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetChannelProperty_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int value);
/* Positioner. The highest frequency of closed-loop moves, 50 to 18500; it is
 * written as configuration parameter 2 (see VX_WriteConfigParameter_S). */
QMX_API VX_STATUS VX_SetClosedLoopMaxFrequency_S(VX_SystemIndex systemIndex,
                                                 unsigned int channelIndex,
                                                 unsigned int frequency);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetClosedLoopMaxFrequency_A(VX_SystemIndex systemIndex,
                                                 unsigned int channelIndex,
                                                 unsigned int frequency);
/* Positioner. The acceleration of closed-loop moves, 0 to 100000000. */
QMX_API VX_STATUS VX_SetClosedLoopMoveAcceleration_S(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int acceleration);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetClosedLoopMoveAcceleration_A(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int acceleration);
/* Positioner. The speed of closed-loop moves, 0 to 100000000. */
QMX_API VX_STATUS VX_SetClosedLoopMoveSpeed_S(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int speed);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetClosedLoopMoveSpeed_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int speed);
/* End effector. Its type, 0 to 255, and the type's two parameters. */
QMX_API VX_STATUS VX_SetEndEffectorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int type, int param1, int param2);
/* End effector. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetEndEffectorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int type, int param1, int param2);
/* Positioner. Declares the channel's present position to be `position`. */
QMX_API VX_STATUS VX_SetPosition_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int position);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetPosition_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int position);
/* Positioner. The allowed position range; the values are not checked. */
QMX_API VX_STATUS VX_SetPositionLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int minPosition, int maxPosition);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetPositionLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int minPosition, int maxPosition);
/* Positioner. The safe direction, 0 or 1. */
QMX_API VX_STATUS VX_SetSafeDirection_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int direction);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetSafeDirection_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int direction);
/* Asynchronous systems only: report the end (or trigger) of movements.
 * Positioner; report 0 (off) or 1 (on). With it on, the channel sends a
 * VX_PACKET_MOVEMENT_COMPLETED packet when a movement ends. */
QMX_API VX_STATUS VX_SetReportOnComplete_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                           unsigned int report);
/* Asynchronous systems only. Positioner; report 0 (off) or 1 (on). With it
 * on, the channel sends a VX_PACKET_REPORT_D0 packet when a trigger (see
 * VX_TriggerCommand_A) runs one of its triggered commands. */
QMX_API VX_STATUS VX_SetReportOnTriggered_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int report);
/* Positioner. The scale's shift (not checked) and inversion, 0 or 1. */
QMX_API VX_STATUS VX_SetScale_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int shift, unsigned int inverted);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetScale_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int shift, unsigned int inverted);
/* System-wide. The sensor mode 0, 1 or 2, sent to every positioner channel in
 * turn (each confirms; the first failure ends the call). 0 with nothing sent
 * when the system has no positioner. */
QMX_API VX_STATUS VX_SetSensorEnabled_S(VX_SystemIndex systemIndex, unsigned int mode);
/* System-wide. The same, sent to every positioner channel without waiting. */
QMX_API VX_STATUS VX_SetSensorEnabled_A(VX_SystemIndex systemIndex, unsigned int mode);
/* Positioner. The type of the channel's sensor, 0 to 255. */
QMX_API VX_STATUS VX_SetSensorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int type);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetSensorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int type);
/* Positioner. Stepping while scanning off (0) or on (1). */
QMX_API VX_STATUS VX_SetStepWhileScan_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int step);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetStepWhileScan_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int step);
/* End effector. Sends the set-zero-force command, which has no values. */
QMX_API VX_STATUS VX_SetZeroForce_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* End effector. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetZeroForce_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Movement and trigger ---- */

/* The _S twin returns when the controller has accepted the command, not when
 * the movement ends; the _A twin only sends it (see _A results). Values are
 * checked as stated, else 9. */
/* Asynchronous systems only: the next three. */
/* Positioner. Appends `value` to the channel's queue of triggered commands. */
QMX_API VX_STATUS VX_AppendTriggeredCommand_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, int value);
/* Any channel. Empties the channel's queue of triggered commands. */
QMX_API VX_STATUS VX_ClearTriggeredCommandQueue_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex);
/* System-wide. Sends trigger `value`, 0 to 255, to all channels. */
QMX_API VX_STATUS VX_TriggerCommand_A(VX_SystemIndex systemIndex, unsigned int value);

/* Positioner. Starts the calibration of the channel's sensor. */
QMX_API VX_STATUS VX_CalibrateSensor_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_CalibrateSensor_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. Starts the search for the reference mark: direction 0 to 7,
 * holdTime 0 to 60000 ms, autoZero 0 or 1. */
QMX_API VX_STATUS VX_FindReferenceMark_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int direction, unsigned int holdTime,
                                         unsigned int autoZero);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_FindReferenceMark_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int direction, unsigned int holdTime,
                                         unsigned int autoZero);
/* Angles in micro-degrees (360000000 a turn) and whole revolutions.
 * Positioner. Moves to `angle` in `revolution` and holds there for holdTime
 * ms (0 to 60000). angle from 360000000 to 2147483647 is 9 (larger values
 * pass unchecked, as negative 32-bit numbers); revolution -32768 to 32767. */
QMX_API VX_STATUS VX_GotoAngleAbsolute_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int angle, int revolution,
                                         unsigned int holdTime);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoAngleAbsolute_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int angle, int revolution,
                                         unsigned int holdTime);
/* Positioner. Moves by angleDiff (-359999999 to 359999999) and
 * revolutionDiff (-32768 to 32767), then holds for holdTime ms (0 to 60000). */
QMX_API VX_STATUS VX_GotoAngleRelative_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         int angleDiff, int revolutionDiff,
                                         unsigned int holdTime);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoAngleRelative_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         int angleDiff, int revolutionDiff,
                                         unsigned int holdTime);
/* End effector. Drives the gripper to the absolute `force` (-100000 to
 * 100000) at `speed` (1 to 225000). holdTime is not checked and not sent. */
QMX_API VX_STATUS VX_GotoGripperForceAbsolute_S(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, int force,
                                                unsigned int speed, unsigned int holdTime);
/* End effector. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoGripperForceAbsolute_A(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, int force,
                                                unsigned int speed, unsigned int holdTime);
/* End effector. Opens or closes the gripper to `opening` (0 to 22500) at
 * `speed` (1 to 225000). */
QMX_API VX_STATUS VX_GotoGripperOpeningAbsolute_S(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, unsigned int opening,
                                                  unsigned int speed);
/* End effector. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoGripperOpeningAbsolute_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, unsigned int opening,
                                                  unsigned int speed);
/* End effector. Changes the gripper's opening by `diff` (-22500 to 22500) at
 * `speed` (1 to 225000). */
QMX_API VX_STATUS VX_GotoGripperOpeningRelative_S(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, int diff,
                                                  unsigned int speed);
/* End effector. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoGripperOpeningRelative_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, int diff,
                                                  unsigned int speed);
/* Positioner. Moves closed-loop to `position` (not checked) and holds there
 * for holdTime ms (0 to 60000). */
QMX_API VX_STATUS VX_GotoPositionAbsolute_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int position,
                                            unsigned int holdTime);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoPositionAbsolute_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int position,
                                            unsigned int holdTime);
/* Positioner. Moves closed-loop by `diff` (not checked; see
 * VX_SetAccumulateRelativePositions_S) and holds for holdTime ms (0 to
 * 60000). */
QMX_API VX_STATUS VX_GotoPositionRelative_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int diff,
                                            unsigned int holdTime);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_GotoPositionRelative_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int diff,
                                            unsigned int holdTime);
/* Positioner. Scans to `target` (0 to 4095) at scanSpeed (1 to 4095000000). */
QMX_API VX_STATUS VX_ScanMoveAbsolute_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int target, unsigned int scanSpeed);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_ScanMoveAbsolute_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int target, unsigned int scanSpeed);
/* Positioner. Scans by `diff` (-32768 to 32767) at scanSpeed (not checked). */
QMX_API VX_STATUS VX_ScanMoveRelative_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int diff, unsigned int scanSpeed);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_ScanMoveRelative_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int diff, unsigned int scanSpeed);
/* Positioner. Makes `steps` steps (-30000 to 30000; the sign is the
 * direction) of `amplitude` (0 to 4095) at `frequency` (1 to 20000). */
QMX_API VX_STATUS VX_StepMove_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int steps, unsigned int amplitude, unsigned int frequency);
/* Positioner. The same, sent without waiting. */
QMX_API VX_STATUS VX_StepMove_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int steps, unsigned int amplitude, unsigned int frequency);
/* Any channel. Stops the channel's movement. */
QMX_API VX_STATUS VX_Stop_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Any channel. The same, sent without waiting. */
QMX_API VX_STATUS VX_Stop_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Feedback ---- */

/* The _S twin waits and writes the outputs (see _S results); the _A twin only
 * sends, and its answer arrives as the packet named. */
/* Any channel. The channel's status code. */
QMX_API VX_STATUS VX_GetStatus_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                 unsigned int* status);
/* Any channel. Answer: VX_PACKET_STATUS. */
QMX_API VX_STATUS VX_GetStatus_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The present position. */
QMX_API VX_STATUS VX_GetPosition_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int* position);
/* Positioner. Answer: VX_PACKET_POSITION. */
QMX_API VX_STATUS VX_GetPosition_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. The present angle and revolution. */
QMX_API VX_STATUS VX_GetAngle_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                unsigned int* angle, int* revolution);
/* Positioner. Answer: VX_PACKET_ANGLE. */
QMX_API VX_STATUS VX_GetAngle_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. Entry bufferIndex (0 to 255) of the channel's capture buffer,
 * written to the caller's *packet (may be null) as a VX_PACKET_CAPTURE_BUFFER
 * record with data1 = bufferIndex. */
QMX_API VX_STATUS VX_GetCaptureBuffer_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int bufferIndex, VX_packet* packet);
/* Positioner. Answer: VX_PACKET_CAPTURE_BUFFER. */
QMX_API VX_STATUS VX_GetCaptureBuffer_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int bufferIndex);
/* End effector. The present force. */
QMX_API VX_STATUS VX_GetForce_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int* force);
/* End effector. Answer: VX_PACKET_FORCE. */
QMX_API VX_STATUS VX_GetForce_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* End effector. The gripper's present opening. */
QMX_API VX_STATUS VX_GetGripperOpening_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int* opening);
/* End effector. Answer: VX_PACKET_GRIPPER_OPENING. */
QMX_API VX_STATUS VX_GetGripperOpening_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* Positioner. Whether the physical position is known (0 or 1). */
QMX_API VX_STATUS VX_GetPhysicalPositionKnown_S(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, unsigned int* known);
/* Positioner. Answer: VX_PACKET_PHYSICAL_POSITION_KNOWN. */
QMX_API VX_STATUS VX_GetPhysicalPositionKnown_A(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex);
/* Positioner. The channel's voltage level. */
QMX_API VX_STATUS VX_GetVoltageLevel_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int* level);
/* Positioner. Answer: VX_PACKET_VOLTAGE_LEVEL from a channel of class
 * 0x2000; the answer of a class 0x6000 or 0xB000 channel cannot be decoded:
 * receiving it gives 12 (and takes it from the queue). */
QMX_API VX_STATUS VX_GetVoltageLevel_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Asynchronous packets and buffered output ---- */

/* Asynchronous systems only (13 for a synchronous one). Received packets wait
 * in the system's queue, at most 256: one more is dropped, and once the queue
 * has been emptied every receive gives 22. A failure reported by the
 * connection likewise gives 10 once the queue is empty, for good. */
/* *mode (may be null): 1 while buffered output is on, else 0. */
QMX_API VX_STATUS VX_GetBufferedOutput_A(VX_SystemIndex systemIndex, unsigned int* mode);
/* mode 1: requests are collected in a 256-byte buffer and sent together by
 * VX_FlushOutput_A (one that does not fit gives 149 and is dropped); mode 0:
 * each is sent at once. Either way, what was not flushed is dropped. 9 for
 * another mode. The index-map functions always send at once. */
QMX_API VX_STATUS VX_SetBufferedOutput_A(VX_SystemIndex systemIndex, unsigned int mode);
/* Sends the collected requests in one write and empties the buffer, even when
 * the send fails (7 or 255). 0 when it is empty. */
QMX_API VX_STATUS VX_FlushOutput_A(VX_SystemIndex systemIndex);
/* timeout in ms: 0 does not wait, 0xFFFFFFFF waits without limit. A time-out
 * returns 0 with an all-zero packet.
 * Copies the next packet into the caller's *packet and leaves it queued
 * (see VX_packet for its fields). 9 for a null packet; 20 when the wait was
 * cancelled (VX_CancelWaitForPacket_A) or the system closed; 22 or 10 as above;
 * 12 for a packet from a module that is no channel (the interface or the hand
 * control module) or that cannot be decoded: it stays queued, and
 * VX_DiscardPacket_A removes it. */
QMX_API VX_STATUS VX_LookAtNextPacket_A(VX_SystemIndex systemIndex, unsigned int timeout,
                                        VX_packet* packet);
/* As VX_LookAtNextPacket_A, but takes the packet from the queue; one that
 * gives 12 is taken as well. */
QMX_API VX_STATUS VX_ReceiveNextPacket_A(VX_SystemIndex systemIndex, unsigned int timeout,
                                         VX_packet* packet);
/* Makes the look or receive waiting on this system return 20; with none
 * waiting, the next one that finds the queue empty does. A cancel counts once.
 * Always 0 for an asynchronous system. */
QMX_API VX_STATUS VX_CancelWaitForPacket_A(VX_SystemIndex systemIndex);
/* Removes the next queued packet without decoding it; 0 also when the queue
 * is empty. */
QMX_API VX_STATUS VX_DiscardPacket_A(VX_SystemIndex systemIndex);

/* ---- Debugging, tuning and configuration parameters ---- */

/* Any channel; index 0 to 255 (else 9). The read _S twins give 14 for an
 * answer about another index; the read _A twins' answers arrive as
 * VX_PACKET_DEBUG_VALUE (debug values) or VX_PACKET_PARAMETER (tuning and
 * configuration parameters). The write twins are commands. */
/* Any channel. Debugging off (0) or on (1). */
QMX_API VX_STATUS VX_SetDebuggingEnabled_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int enabled);
/* Any channel. The same, sent without waiting. */
QMX_API VX_STATUS VX_SetDebuggingEnabled_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int enabled);
/* Debug value `index` of the channel. */
QMX_API VX_STATUS VX_ReadDebugValue_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                      unsigned int index, int* value);
/* Answer: VX_PACKET_DEBUG_VALUE. */
QMX_API VX_STATUS VX_ReadDebugValue_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                      unsigned int index);
/* Writes debug value `index` of the channel. */
QMX_API VX_STATUS VX_WriteDebugValue_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int index, int value);
/* The same, sent without waiting. */
QMX_API VX_STATUS VX_WriteDebugValue_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int index, int value);
/* Tuning parameter `index` of the channel. */
QMX_API VX_STATUS VX_ReadTuningParameter_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index,
                                           int* value);
/* Answer: VX_PACKET_PARAMETER. */
QMX_API VX_STATUS VX_ReadTuningParameter_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index);
/* Writes tuning parameter `index` of the channel. */
QMX_API VX_STATUS VX_WriteTuningParameter_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
/* The same, sent without waiting. */
QMX_API VX_STATUS VX_WriteTuningParameter_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
/* Configuration parameter `index` of the channel. */
QMX_API VX_STATUS VX_ReadConfigParameter_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index,
                                           int* value);
/* Answer: VX_PACKET_PARAMETER. */
QMX_API VX_STATUS VX_ReadConfigParameter_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index);
/* Writes configuration parameter `index` of the channel. */
QMX_API VX_STATUS VX_WriteConfigParameter_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
/* The same, sent without waiting. */
QMX_API VX_STATUS VX_WriteConfigParameter_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);

/* ---- Speed level table of the hand control module ---- */

/* Synchronous systems only (13 otherwise), no _A twins. Each call waits up to
 * 2 s for the hand control module: 15 without it; its refusals give their
 * code, other answers 14. The table has 32 entries of three 16-bit values. */
/* The number of entries in use, 1 to 32 (else 9). */
QMX_API VX_STATUS VX_WriteSpeedLevelTableSize_S(VX_SystemIndex systemIndex, unsigned int size);
/* The number of entries in use (the answer's sender is not checked). */
QMX_API VX_STATUS VX_ReadSpeedLevelTableSize_S(VX_SystemIndex systemIndex, unsigned int* size);
/* Entry `index` (0 to 31, else 9): steps, amplitude and frequency, each sent
 * as its low 16 bits. */
QMX_API VX_STATUS VX_WriteSpeedLevelTableEntry_S(VX_SystemIndex systemIndex, unsigned int index,
                                                 unsigned int steps, unsigned int amplitude,
                                                 unsigned int frequency);
/* Entry `index` (0 to 31, else 9); each value is the 16-bit entry extended
 * by its sign (0xFFFF reads 0xFFFFFFFF). Null outputs are skipped. */
QMX_API VX_STATUS VX_ReadSpeedLevelTableEntry_S(VX_SystemIndex systemIndex, unsigned int index,
                                                unsigned int* steps, unsigned int* amplitude,
                                                unsigned int* frequency);
/* Stores the table in the module's EEPROM. */
QMX_API VX_STATUS VX_WriteSpeedLevelTableToEEPROM_S(VX_SystemIndex systemIndex);

/* ---- Firmware, serial number, features, hand control and index map ---- */

/* Functions without _S or _A take either mode (VX_ReadHCMEepromType_S too);
 * the configuration slot functions need a synchronous system (13). */
/* Sends hand control module mode 0, 1 or 2 (else 9) without waiting for an
 * answer (held back while buffered output is on). */
QMX_API VX_STATUS VX_SetHCMEnabled(VX_SystemIndex systemIndex, unsigned int mode);
/* kind: 1 interface module, 2 and 3 first and second firmware of positioner
 * channel `index`, 5 hand control module, 9 end-effector channel `index`.
 * Note the system index comes second.
 * The version word each module reported at open (`index` is not used for
 * kinds 1 and 5). 9 another kind; 6 index not below the number of channels;
 * 19 a channel of another class; 255 the module did not report it. An unknown
 * system index is 5, without a return line. */
QMX_API VX_STATUS VX_GetFirmwareVersion(unsigned int kind, VX_SystemIndex systemIndex,
                                        unsigned int index, unsigned int* version);
/* Any channel. The channel's module word (its serial number, whose top nibble
 * is the channel's class), read at open. 6; an unknown system index is 5,
 * without a return line. */
QMX_API VX_STATUS VX_GetChannelSerialNumber(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex,
                                            unsigned int* serialNumber);
/* Byte buffers: *size is the capacity in (the data length for a write) and
 * the number of bytes out; data that do not fit give 17 and *size 0.
 * Any channel. The feature permission bytes the channel reported at open (at
 * most 16; none when it did not answer) into the caller's byte list. 6; 9;
 * 17. */
QMX_API VX_STATUS VX_GetFeaturePermissions(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex,
                                           unsigned char* permissions, unsigned int* size);
/* Configuration slot `slot` (0 to 255, else 9) of the hand control module,
 * whole, into the caller's byte list: the slot's size is asked first, and a
 * capacity below it gives 17 with *size 0; on success *size is the slot's
 * size; on other failures it is untouched. The slot is read 8 bytes a
 * request; 15, 14 or the module's code as for the speed level table. */
QMX_API VX_STATUS VX_ReadHCMConfigSlot_S(VX_SystemIndex systemIndex, unsigned int slot,
                                         unsigned char* data, unsigned int* size);
/* Writes the caller's *size bytes to configuration slot `slot` (0 to 255,
 * else 9): more than the slot's size gives 17 with *size 0. The whole slot is
 * written, 8 bytes a request, zeros after the caller's bytes; *size stays. */
QMX_API VX_STATUS VX_WriteHCMConfigSlot_S(VX_SystemIndex systemIndex, unsigned int slot,
                                          const unsigned char* data, unsigned int* size);
/* The type of the hand control module's EEPROM. Works in either mode; takes
 * the next packet received within 2 s as the answer (an asynchronous system's
 * queued packets included): 14 when it is not the answer, an error too. */
QMX_API VX_STATUS VX_ReadHCMEepromType_S(VX_SystemIndex systemIndex, unsigned int* eepromType);
/* Any channel. Sends the custom sensor type configuration command; note that
 * `configuration` is not sent: the request carries zeros. */
QMX_API VX_STATUS VX_WriteCustomSensorTypeConfiguration_S(VX_SystemIndex systemIndex,
                                                          unsigned int channelIndex,
                                                          unsigned int configuration);
/* Any channel. The same, sent without waiting. */
QMX_API VX_STATUS VX_WriteCustomSensorTypeConfiguration_A(VX_SystemIndex systemIndex,
                                                          unsigned int channelIndex,
                                                          unsigned int configuration);
/* The interface module's index map: entry `index` into *value (may be null).
 * Sent at once, whatever the output buffering, and the next packet received
 * within 5 s is the answer (an asynchronous system's queued packets
 * included): 15 without one; 1 when it is not this entry. */
QMX_API VX_STATUS VX_ReadIndexFromIndexMap(VX_SystemIndex systemIndex, unsigned char index,
                                           unsigned char* value);
/* Sets entry `index` of the index map to `value`; sent and answered as
 * VX_ReadIndexFromIndexMap. An error answer gives its code, any other 0. */
QMX_API VX_STATUS VX_WriteIndexToIndexMap(VX_SystemIndex systemIndex, unsigned char index,
                                          unsigned char value);
/* Finalises the index map; sent and answered as VX_WriteIndexToIndexMap. */
QMX_API VX_STATUS VX_FinalizeIndexMap(VX_SystemIndex systemIndex);

#ifdef __cplusplus
}
#endif

#endif /* QMX_CONTROL_H */
