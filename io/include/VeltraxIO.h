/*
 * VeltraxIO: device I/O for controller systems on USB, network and serial
 * interfaces. Plain C interface; every function returns a VX_IO_Result.
 *
 * A device is opened by its locator (see "Locators") under an option text
 * (see "Option texts") with two callbacks. The library reads each open device
 * on a receive thread of its own and hands the bytes to the receive callback;
 * VX_IO_Send writes on the caller's thread. Device and interface lists come
 * back as text (see "Device lists"). Every function may be called from any
 * thread; what the callbacks may call is said with their types.
 *
 * Text out-parameters (char* buffer, size_t* length)
 * ---------------------------------------------------
 * The caller owns the buffer. *length holds its capacity in bytes on entry
 * (room for the terminating NUL included) and, on success, the length of the
 * text written, without its NUL. A null buffer counts as capacity 0; a null
 * length gives 12. When the text and its NUL do not fit, the result is 12
 * (VX_IO_BUFFER_TOO_SMALL), and each function says which of two things
 * happens:
 *   "untouched"     buffer and *length stay as the caller left them;
 *   "reports need"  *length is set to the length the text needs (without its
 *                   NUL) and a buffer of nonzero capacity holds the empty text.
 *
 * Locators
 * --------
 * A locator is an interface kind, a colon and a rest whose form the kind
 * decides. The kind is the text before the first colon and must be exactly
 * "usb", "network" or "serial" (lower case); anything else is 2
 * (VX_IO_INVALID_LOCATOR). USB and network locators are split at colons with
 * empty pieces dropped ("usb::sn::X" is "usb:sn:X").
 *
 * USB (three pieces exactly, else 2). Whether the FTDI driver (libftd2xx.so
 * and libFTChipID.so) can be loaded is checked before the locator: without it
 * every USB locator gives 14. Adapters that any program (this one included)
 * holds open are never found (3).
 *   usb:sn:<serial>   the adapter with this serial number. A two-channel
 *                     adapter is named by its serial without the channel
 *                     letter, which opens channel A; the full serial of a
 *                     channel ("...A", "...B") opens that channel.
 *   usb:ix:<index>    the adapter at this zero-based position in the driver's
 *                     list, counting only adapters not held open that pass the
 *                     "product-name" option; the two channels of a two-channel
 *                     adapter count one each. <index> must be decimal digits
 *                     only, within 32 bits, else 2.
 *   usb:id:<chip id>  the adapter with this chip id (decimal digits only,
 *                     within 32 bits, else 2; 0 is never found). Channel B of
 *                     a two-channel adapter is never found by a chip id.
 *   Any other second piece is 2.
 *
 * Serial (exactly one colon, a non-empty name, else 2):
 *   serial:<path>     the port at this device path ("serial:/dev/ttyUSB0").
 *   serial:<name>     a name without a leading '/' is taken below /dev
 *                     ("serial:ttyUSB0" is /dev/ttyUSB0).
 *
 * Network:
 *   network:<host>:<port>       a TCP connection to <host> (a dotted IPv4
 *                               address, or a host name resolved to IPv4) at
 *                               <port>.
 *   network:<host>              the same at the port of the "port" option.
 *   network:sn:<serial>         the networked controller with this serial
 *   network:sn:<serial>:<port>  number, found by network discovery.
 * The rules, in the order they apply:
 *   1. The "port" option is read first, whatever the locator: above 65535 is 4.
 *   2. Fewer than two pieces, or a first piece other than "network", is 2.
 *   3. A second piece "sn" with three or four pieces in all is the serial
 *      number form: "network:sn:1234" names serial number 1234, never the host
 *      "sn" (while "network:sn", two pieces, is the host "sn"). The serial
 *      number is resolved before its written port is read.
 *   4. Otherwise two pieces are the host form without a port, three the host
 *      form with one; more pieces are 2.
 *   5. A written port is read as option numbers are (digits up to the first
 *      other character, so "5000x" is 5000); not a number or above 65535 is 4.
 *      A written 0 counts as no port.
 *   6. The port used is the written one, else the "port" option, else (serial
 *      number form only) the port the device announced; with none of them: 4.
 * A serial number is looked for first among the devices the library knows,
 * heard on any interface (by device searches, events, earlier opens); an
 * interface that raises no events and was not searched for 10 s is dropped,
 * with what was heard on it, at the next network search or
 * VX_IO_SetGlobalOptions.
 * Otherwise a discovery pass asking for it runs for "discovery-timeout" ms on
 * the interfaces of the "iface" option: without "iface" nothing is sent and
 * the result is 3, as it is for a serial number nobody answers to and for one
 * holding a control character, DEL or ':'. A bad "iface" value is 4, and 13
 * when "network:all" cannot read the host's interface list.
 *
 * Option texts
 * ------------
 * An option text is lines separated by LF (CR LF works as well); a null text
 * is the empty text. Each line is trimmed of blanks, tabs, CR and LF at both
 * ends; empty lines are skipped. The key runs up to the first blank (a space;
 * a tab does not separate), the value is the rest of the line after that
 * blank, further blanks included; a line without a blank is a key with an
 * empty value. Keys are case-sensitive and unknown keys are ignored. A key may
 * come on several lines: keys of one value take the first line, set keys
 * (marked "set") take every line.
 *
 * Numbers follow the C library's unsigned rule: leading white space, an
 * optional sign, then decimal digits up to the first other character ("12ab"
 * is 12, "-1" is 4294967295). A value without a digit, or beyond 32 bits, is
 * not a number: a key of one value then takes its default (which is checked
 * against the key's bounds), a number set gives 4.
 *
 * Raw lookup. Some calls read their keys straight from the unparsed text
 * (marked "raw" below). A key is found as a substring anywhere, its first
 * occurrence counting even inside another key or a value ("iface-port 7" sets
 * "port"). Its value starts after the next blank, even one on a later line (a
 * key written without a value takes the next line's value), and runs to the
 * end of that line, leading blanks skipped. A flag key counts wherever its
 * text occurs. A raw number that is not a number reads as 0, one beyond 32
 * bits as 4294967295; an empty value gives the default.
 *
 * Keys of VX_IO_Open, USB (parsed):
 *   rx-timeout <ms>         read time-out handed to the driver; default 1000.
 *   tx-timeout <ms>         write time-out handed to the driver, and how long
 *                           a VX_IO_Send waits for an adapter that takes
 *                           nothing (see Progress of a send); default 1000.
 *   ftdi-latency <ms>       the adapter's latency timer, 1 to 255; default 2.
 *   health-check <ms>       while nothing arrives, the receive thread looks at
 *                           the adapter this often and reports a lost one to
 *                           the error callback; 0 (never) or 50 and above;
 *                           default 250.
 *   baudrate <rate>         line rate, 1 and above (0 or not a number is 4); a
 *                           rate the driver refuses is 4. Two-channel adapters
 *                           run in synchronous FIFO mode and ignore it.
 *   ftdi-flow-control <w>   none, rtscts or dtrdsr; any other word or none is 4.
 *   product-name <name>     (set) only adapters whose product name (the
 *                           driver's description; a high-speed adapter's
 *                           trailing " A" cut) is one of these; empty values
 *                           are ignored.
 *   Values out of bounds give 4 before the adapter is opened. Without
 *   "baudrate" and "ftdi-flow-control" the line settings come from the
 *   configuration record in the adapter's EEPROM, else from its product name:
 *   "Veltrax QMX-I" and "Veltrax ZBU-3D" 500000 baud without flow control,
 *   "Veltrax QMX2" 12000000 baud with RTS/CTS. A single-channel adapter that
 *   tells no rate needs "baudrate" (else 4).
 * Keys of VX_IO_Open, serial (raw):
 *   baudrate <rate>         required: missing, 0 or not a number is 4. Any
 *                           rate the port accepts (one it refuses is 5); the
 *                           line is raw 8N1 with DTR and RTS asserted.
 *   xonxoff <n>             XON/XOFF flow control in both directions when not
 *                           0; default 0.
 *   tx-timeout <ms>         how long a VX_IO_Send waits for a line that takes
 *                           nothing, on top of the line time of what it holds
 *                           (see Progress of a send); default 1000; 0 is no
 *                           slack beyond that line time. A close lets what
 *                           the line still holds go out while the line takes
 *                           it, for at most its line time plus this long, and
 *                           discards what a line that has taken nothing for
 *                           this long still holds (at once on a line given
 *                           up or gone).
 * Keys of VX_IO_Open, network (raw, but iface and discovery-timeout parsed):
 *   port <n>                0 to 65535 (else 4); 0 is no port. See Locators.
 *   connect-timeout <ms>    how long the TCP connect may take, and how long a
 *                           VX_IO_Send waits for a connection that takes
 *                           nothing (see Progress of a send for slow links);
 *                           default 5000.
 *   iface, discovery-timeout  for "network:sn:" locators, as in a search.
 *
 * Keys of the device search, VX_IO_EnumerateDevices with VX_IO_IFACE_ALL
 * (parsed):
 *   iface-type <kind>       (set, required, else 4) usb, network, serial or
 *                           all; other words search nothing.
 *   only-locator            output: one locator per line (see Device lists).
 *   include-all, include-<key>  output: record pairs (see Device lists). One
 *                           of these or only-locator is required, else 4.
 *   force-rescan            read the USB driver's list and the serial ports
 *                           afresh; otherwise they are read at most every
 *                           1500 ms and 3 s. (Every network search runs a
 *                           discovery pass on each of its interfaces.)
 *   find-only-available     USB: leave out adapters that a program holds open;
 *                           network: only devices announcing themselves
 *                           available. (Serial ports are listed only when they
 *                           can be opened now, with or without it.)
 *   find-usb-product-name <name>  (set) USB adapters with one of these product
 *                           names.
 *   find-usb-vid <n>, find-usb-pid <n>  (number sets) USB vendor / product ids.
 *   find-protocol-id <n>    (number set) network devices with one of these
 *                           protocol ids. No protocol id is known for USB
 *                           adapters yet, so with this key none is listed.
 *   find-device-sn <serial> (set) network devices with these serial numbers.
 *   find-device-type <n>    (number set) network devices of these types.
 *   locator-format-usb <w>  sn (default) "usb:sn:<serial>", or id
 *                           "usb:id:<chip id>" ("usb:id:0" when unknown);
 *                           another word is 4 when USB is searched.
 *   locator-format-network <w>  sn (default) "network:sn:<serial>", or host
 *                           "network:<address>:<port>"; another word is 4
 *                           when the network is searched.
 *   iface <value>           (set) the interfaces a network search covers:
 *                           "network:<IPv4 address of this host>" or
 *                           "network:all". Values of other kinds are skipped,
 *                           text after a further colon is ignored. An address
 *                           that is not four numbers of at most 255, or is
 *                           0.0.0.0, is 4; "network:all" is 13 when the host's
 *                           interface list cannot be read. Without "iface" no
 *                           network device is listed. An address that is not
 *                           this host's lists nothing, without failing.
 *   discovery-timeout <ms>  how long a discovery pass waits for answers;
 *                           default 100.
 *
 * Keys of the USB short list, VX_IO_EnumerateDevices with VX_IO_IFACE_USB
 * (raw):
 *   include-id, include-usb-vid, include-usb-pid, include-ds, include-sn
 *                           the fields of each line, always in this order:
 *                           "usb" ":id:<chip id>" ":usb-vid:<vid>"
 *                           ":usb-pid:<pid>" ":ds:<description>" ":sn:<serial>",
 *                           each only when asked for; a line without fields
 *                           is "usb". Reading chip ids opens each listed
 *                           adapter for a moment.
 *   canonical-locator       lines "usb:sn:<serial>"; together with any
 *                           include- key it is 4.
 *   product-name <name>     only adapters with exactly this product name.
 *   usb-vid <n>, usb-pid <n>  only adapters with this vendor / product id.
 *                           Being raw, they are also found inside
 *                           include-usb-vid and include-usb-pid: put a filter
 *                           line before those; without a filter, a blank
 *                           after them in the text makes the value behind it
 *                           a filter.
 *   force-rescan            read the driver's list afresh.
 *   Adapters that a program holds open are left out. A two-channel adapter is
 *   listed once, by channel A, with its serial without the channel letter.
 * Keys of the serial short list, VX_IO_IFACE_SERIAL (raw): force-rescan.
 * Keys of VX_IO_EnumerateInterfaces (parsed): iface-type, only-locator,
 * include-all, include-<key>.
 * Keys of VX_IO_GetDiscoveryEventData (parsed): only-locator, include-all,
 * include-<key>.
 * Keys of VX_IO_SetGlobalOptions (parsed):
 *   locator-format-network <w>  sn or host (else 4): the locator form in the
 *                           records of discovery events; absent: unchanged.
 *   discovery-iface <value> (set) the interfaces whose discoveries raise
 *                           events; values as for "iface", and
 *                           "network:none", which switches events off
 *                           everywhere and ends the list, whatever follows.
 *                           Each call names the whole set: a call without
 *                           this key switches events off on every interface.
 *
 * Progress of a send
 * ------------------
 * A send fails only when the line has stopped: when it has taken nothing
 * for longer than the device's time-out allows (or it reports an error, or
 * the device is closed). What counts as taking bytes, by kind:
 *   USB      a write the adapter takes bytes in. "tx-timeout" is how long
 *            the adapter may take none; 0 fails on the first write that
 *            takes none.
 *   serial   a write the port takes bytes in, or an output queue the port
 *            reports shrinking. The port frees room in steps (a
 *            pseudo-terminal some KiB at a time, and it reports no queue),
 *            so the line may take nothing for the line time, at the
 *            "baudrate" given, of what it holds: its reported queue, or the
 *            bytes written lately that the rate cannot have carried yet,
 *            and at least 4096 bytes. A send waits that long plus
 *            "tx-timeout" since the line last took bytes. A line that takes
 *            its bytes at the configured rate, however full, never fails;
 *            one slower than that may. "tx-timeout 0" leaves no slack
 *            beyond that line time: a healthy line still never fails, a
 *            stopped one is given up once its line time has passed.
 *   network  the connection's unacknowledged queue getting shorter, which
 *            happens only as the peer acknowledges whole segments (1448
 *            bytes on a usual link). A link whose segment takes longer than
 *            "connect-timeout" to pass is given up although it still
 *            carries bytes: with the default 5000 ms the slowest safe link
 *            is about 2.3 kbit/s; through QMXControl, whose open time-out
 *            of 3000 ms becomes the connect-timeout, about 3.9 kbit/s. On a
 *            slower link give a "connect-timeout" of at least the time of
 *            one segment with room to spare (1448 * 8 / bit rate seconds,
 *            so 15000 or more at 1 kbit/s); the connect then waits as long.
 * A close follows the same measure (see VX_IO_Close).
 *
 * Device lists
 * ------------
 * One line per device, lines separated by LF, no LF after the last. Under
 * "only-locator" a line is the record's locator as it stands (records without
 * one are left out). Otherwise a line is "key=value" pairs joined by "|":
 * with "include-all" every pair of the record, keys in ascending order; else
 * the keys named by the "include-<key>" lines, in the order of those lines
 * (a key the record lacks is left out, a record with none of them is left
 * out). In values "%" is written "%25", LF "%0A", "|" "%7C" and "=" "%3D".
 * Records:
 *   USB adapters        iface-type=usb, usb-vid, usb-pid (decimal), usb-desc,
 *                       device-sn, locator, usb-id (the chip id, when it could
 *                       be read and is not 0).
 *   network devices     iface-type=network, network-host, network-port,
 *                       device-type, device-sn, available (1 or 0),
 *                       protocol-id, locator, iface ("network:<address>" of
 *                       the interface it was heard on), device-info.
 *   serial ports        iface-type=serial, locator ("serial:<device path>").
 *   network interfaces  iface-type=network, network-host, network-subnet-mask,
 *                       name.
 *   serial interfaces   iface-type=serial, name and serial-port (both the
 *                       device path).
 * Network devices whose serial number holds a control character, DEL or ':'
 * are never listed and raise no events.
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

/* A result of the enumeration below. */
typedef int VX_IO_Result;
/* An open device: 0 to 63. Of the free numbers the one freed longest ago is
 * handed out first (numbers never used before any freed one, the lowest
 * first), so a number just closed comes back only after every other free
 * one. */
typedef unsigned int VX_IO_Handle;

enum {
    /* Success. */
    VX_IO_OK = 0,
    /* All 64 handles are in use. */
    VX_IO_NO_FREE_HANDLE = 1,
    /* Null locator, unknown kind, or a rest its kind does not accept. */
    VX_IO_INVALID_LOCATOR = 2,
    /* Nothing matches the locator; an unknown host or serial number; a TCP
     * connection refused or not made in time. */
    VX_IO_DEVICE_NOT_FOUND = 3,
    /* An option value out of bounds or not accepted, a required option
     * missing; a null handle pointer or receive callback for VX_IO_Open. */
    VX_IO_INVALID_OPTION = 4,
    /* The device was found but could not be opened or set up. */
    VX_IO_OPEN_FAILED = 5,
    /* No open device behind the handle. */
    VX_IO_INVALID_HANDLE = 6,
    /* A send that ran out of time or found the device closing; as an error
     * callback code: the link is lost. */
    VX_IO_TIMEOUT = 7,
    /* Only as an error callback code: receiving failed. */
    VX_IO_READ_ERROR = 8,
    /* A send failed. */
    VX_IO_WRITE_ERROR = 9,
    /* A list of that type does not exist, or a property cannot be read. */
    VX_IO_NOT_SUPPORTED = 10,
    /* The device has no such property. */
    VX_IO_UNKNOWN_PROPERTY = 11,
    /* A text does not fit the caller's buffer, or its length pointer is null. */
    VX_IO_BUFFER_TOO_SMALL = 12,
    /* The driver's device list, a chip id or the host's interface list could
     * not be read. */
    VX_IO_LIST_QUERY_FAILED = 13,
    /* The FTDI driver libraries cannot be loaded (for the rest of the process). */
    VX_IO_DRIVER_NOT_AVAILABLE = 14,
    /* An event of another kind (or none) was given to an event data call. */
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
    /* Not raised at present; VX_IO_GetErrorEventData reads such an event. */
    VX_IO_EVENT_ERROR = 0,
    /* A network device was heard for the first time (its record's "available"
     * tells whether it is), or announced itself available again. */
    VX_IO_EVENT_DEVICE_AVAILABLE = 1,
    /* A network device announced itself unavailable, or did not answer a
     * discovery pass. */
    VX_IO_EVENT_DEVICE_GONE = 2
};

/* Opaque; valid only during the event callback that receives it. */
typedef struct VX_IO_Event VX_IO_Event;

/*
 * Receive callback: `length` received bytes at `data`, at most 1024 at a time,
 * in the order they arrived; the bytes are the library's and valid only
 * during the call. It runs on the device's receive thread, one call at a time
 * per device. It may call any function of the library, VX_IO_Close of its
 * own device too: that close does not wait, and the thread ends when the
 * callback returns.
 */
typedef void (*VX_IO_ReceiveCallback)(void* userContext, const void* data, size_t length);
/*
 * Error callback, on the same thread and under the same rules: `code` is 7
 * when the link is lost (a USB adapter gone, the network peer closed or timed
 * out; any device: a send gave the line up, see VX_IO_Send, reported once)
 * and 8 for other failures (serial: the line gone, or framing, parity,
 * overrun or break conditions after received bytes). A lost link is reported
 * again at an interval (USB: "health-check", unless 0; serial: 250 ms;
 * network: 300 ms) until the device is closed; receiving goes on after a
 * report. Failures that VX_IO_Close itself causes are not reported.
 */
typedef void (*VX_IO_ErrorCallback)(void* userContext, int code);
/*
 * Event callback: `eventKind` is a VX_IO_EVENT_ value; `event` is valid only
 * during the call. Only interfaces named by the "discovery-iface" global
 * option raise events, for what is heard on them: announcements, answers to
 * discovery passes, and silence in them. It runs on the library's discovery
 * threads holding the library's lock: it may call VX_IO_GetDiscoveryEventData,
 * VX_IO_GetErrorEventData, VX_IO_GetVersion, VX_IO_GetLocatorInterfaceType,
 * VX_IO_CanEnumerateDevices, VX_IO_EnumerateDevices and
 * VX_IO_EnumerateInterfaces (a network search there lists only what is known
 * already, without a discovery pass); VX_IO_Open, VX_IO_Close, VX_IO_Send,
 * VX_IO_GetProperty, VX_IO_SetGlobalOptions and VX_IO_SetEventCallback wait
 * for that lock and must not be called from it.
 */
typedef void (*VX_IO_EventCallback)(void* userData, int eventKind, const VX_IO_Event* event);

/*
 * Text out-parameters: *length holds the capacity on entry and the text
 * length without its NUL on return; too small a capacity gives 12. Whether a
 * refused buffer stays "untouched" or "reports need" is said for each call
 * (see the top of this file).
 */

/* The library's version. Any pointer may be null. Always 0. */
VX_IO_API VX_IO_Result VX_IO_GetVersion(int* major, int* minor, int* update);
/*
 * The interface kind of `locator`, looking only at the text before its first
 * colon: writes VX_IO_IFACE_USB, _NETWORK or _SERIAL to *type and gives 0; for
 * a null locator or another kind writes VX_IO_IFACE_UNKNOWN and gives 2.
 * `type` may be null.
 */
VX_IO_API VX_IO_Result VX_IO_GetLocatorInterfaceType(int* type, const char* locator);
/*
 * Opens the device at `locator` (see Locators) under `options` (see Option
 * texts; null is the empty text) and writes its handle to *handle, which holds
 * 0 after any failure. From then on the device's receive thread hands every
 * received byte to `receive` and reports failures to `error` (may be null),
 * each called with `userContext`. Both texts are read only during the call.
 * 0; 4 for a null handle pointer or a null receive callback; 2 for a null
 * locator, an unknown kind or a malformed locator; 1 when all 64 handles are
 * in use (the device is closed again); and by kind:
 *   USB      14 driver not available; 4 an option out of bounds, or no line
 *            rate known; 3 no adapter matches; 13 the chip ids could not be
 *            read (usb:id:); 5 the driver's list could not be read (usb:sn:,
 *            usb:ix:), or the adapter could not be opened or configured.
 *   serial   4 without a valid "baudrate"; 5 the port cannot be opened: no
 *            such file, not a terminal, or held by another program (ports are
 *            opened exclusively).
 *   network  4 a bad "port" or "iface", or no port at all; 3 serial number
 *            not found, host name unknown, connection refused or not made
 *            within "connect-timeout"; 13 "iface network:all" cannot read the
 *            interface list; 5 other resolver failures, or no resources for
 *            the receive thread.
 */
VX_IO_API VX_IO_Result VX_IO_Open(VX_IO_Handle* handle, const char* locator, const char* options,
                                  void* userContext, VX_IO_ReceiveCallback receive,
                                  VX_IO_ErrorCallback error);
/*
 * Closes the device and frees its handle, which is handed out again only
 * after every other free number (see VX_IO_Handle). With `wait` not 0 it
 * returns when the receive thread has ended: no callback of the device runs
 * any more and the adapter, port or socket is released. From the device's
 * own receive or error callback it never waits. With `wait` 0 it returns at
 * once; a callback already running finishes and the receive thread releases
 * the device soon after.
 *
 * Sends in flight on the device end at once (serial 9, network 7, USB 7 or
 * 9), and later ones give 6. On a line given up by a failed send, or lost
 * (the error callback had 7 or, serial, 8 for a line gone), what the device
 * still queues is discarded at once: a serial port's output is flushed, a
 * network connection is reset. Otherwise a serial port's queue drains while
 * the line takes it (at most its line time plus "tx-timeout"; see Progress
 * of a send) before the port is released, and a network connection is shut
 * down in order, the system sending what it still queues. 0, or 6 for a
 * handle without a device.
 */
VX_IO_API VX_IO_Result VX_IO_Close(VX_IO_Handle handle, int wait);
/*
 * Writes the caller's `length` bytes at `data` and returns when all of them
 * are handed to the driver, port or socket. Sends to one device from several
 * threads take turns: each call's bytes stay together. A send fails only when
 * the line has stopped taking bytes for longer than its time-out allows (see
 * Progress of a send: "tx-timeout", for network devices "connect-timeout"),
 * when the line reports an error, or when the device is closed: a line that
 * takes bytes as that section says never fails a send, and neither does the
 * wait for other threads' sends ahead of it. A length of 0 sends nothing and
 * gives 0 at once (data may then be null).
 *
 * A send that fails gives the line up, since the far end may hold the head of
 * its bytes: the error callback gets 7 once, and every later send is refused,
 * with the failed send's result, until the device is closed. Close it and
 * open it again to go on. (A send that the close itself ends before it wrote
 * anything gives nothing up.)
 *
 * 0; 6 for an unknown handle; 9 for null data with a nonzero length; and:
 *   USB      7 the driver reports an I/O error (adapter gone), or the device
 *            is closed; 9 other driver failures, or nothing written for
 *            "tx-timeout".
 *   serial   9 for any failure: the line gone, the device closed, or a line
 *            that stopped taking bytes (held by XOFF, a far end that stopped
 *            reading).
 *   network  7 nothing acknowledged for "connect-timeout", the device
 *            closing or closed; 9 other socket failures (a reset connection,
 *            at once). Never raises SIGPIPE.
 */
VX_IO_API VX_IO_Result VX_IO_Send(VX_IO_Handle handle, const void* data, size_t length);
/*
 * Reads property `key` of an open device into the caller's text buffer.
 *   USB      "ftdi-id": the adapter's chip id in decimal; too small a buffer
 *            is 12, reports need; 10 when the chip id cannot be read. Any
 *            other key is 11.
 *   serial   every key is the empty text: 0; 12 with *length 0 for a zero
 *            capacity or a null buffer.
 *   network  no properties: 11, *length 0, and the empty text in a buffer of
 *            nonzero capacity.
 * Also 6 for an unknown handle, 11 for a null key, 12 for a null length.
 */
VX_IO_API VX_IO_Result VX_IO_GetProperty(VX_IO_Handle handle, const char* key, char* buffer,
                                         size_t* length);
/*
 * Writes to *canEnumerate (may be null) 1 for the kinds with a short list,
 * VX_IO_IFACE_USB and VX_IO_IFACE_SERIAL, and 0 for any other type, including
 * VX_IO_IFACE_ALL, which VX_IO_EnumerateDevices serves all the same. Always 0.
 */
VX_IO_API VX_IO_Result VX_IO_CanEnumerateDevices(int type, int* canEnumerate);
/*
 * Lists devices as text into the caller's buffer; `options` as the type says
 * (see Option texts). `type`:
 *   VX_IO_IFACE_USB     the USB short list, one line per adapter. Too small a
 *                       buffer is 12, reports need; after any other failure
 *                       *length is 0 and a buffer of nonzero capacity holds
 *                       the empty text.
 *   VX_IO_IFACE_SERIAL  the serial short list: "serial:<device path>" for
 *                       every serial port of the machine (held ones too), in
 *                       natural order ("ttyS2" before "ttyS10"). Too small a
 *                       buffer is 12, reports need.
 *   VX_IO_IFACE_ALL     the device search: a device list (see Device lists)
 *                       of the kinds in "iface-type": USB adapters (held ones
 *                       too, unless "find-only-available"), then network
 *                       devices, then serial ports that can be opened now.
 *                       Too small a buffer is 12, untouched; after any other
 *                       failure the buffer is untouched as well.
 *   any other type      10.
 * 0; 4 for missing or bad options; 14 when USB is listed without the driver;
 * 13 when the driver's list or (short list) a chip id cannot be read, or
 * "iface network:all" cannot read the interface list. A network search does
 * not fail for want of answers: it lists what is known.
 */
VX_IO_API VX_IO_Result VX_IO_EnumerateDevices(int type, const char* options, char* buffer,
                                              size_t* length);
/*
 * Lists the host's interfaces of the kinds in "iface-type" as a device list
 * (see Device lists; without only-locator or an include- key the text is
 * empty): network, the IPv4 interfaces; serial, every serial port, read
 * afresh; all, both, network first (a network list that cannot be read is
 * then left out). usb is 10 unless all is named as well: USB adapters are
 * devices, not interfaces. Too small a buffer is 12, untouched.
 * 0; 4 without "iface-type"; 10; 12; 13 the network interface list cannot be
 * read.
 */
VX_IO_API VX_IO_Result VX_IO_EnumerateInterfaces(const char* options, char* buffer,
                                                 size_t* length);
/*
 * Sets the process-wide options (see Keys of VX_IO_SetGlobalOptions): the
 * locator form in discovery event records and the interfaces that raise
 * events. Each call replaces the whole set of event interfaces. 0; 4 for a
 * bad word or address, or an address the library cannot listen on (not one
 * of this host's); 13 when "network:all" cannot read the interface list.
 */
VX_IO_API VX_IO_Result VX_IO_SetGlobalOptions(const char* options);
/* Registers the process-wide event callback, replacing the previous one (null:
 * none); `userData` is handed to every call. Always 0. */
VX_IO_API VX_IO_Result VX_IO_SetEventCallback(VX_IO_EventCallback callback, void* userData);
/*
 * Copies an error event's message into the caller's text buffer and its code
 * to *code (may be null). Too small a buffer is 12, untouched, and *code is
 * not written either. 15 for a null event or one of another kind.
 */
VX_IO_API VX_IO_Result VX_IO_GetErrorEventData(const VX_IO_Event* event, int* code,
                                               char* message, size_t* length);
/*
 * The network device record of a DEVICE_AVAILABLE or DEVICE_GONE event as a
 * one-line device list under `options` (only-locator, include-all,
 * include-<key>; without any the text is empty), into the caller's text
 * buffer. Too small a buffer is 12, untouched. 15 for a null event or one of
 * another kind.
 */
VX_IO_API VX_IO_Result VX_IO_GetDiscoveryEventData(const VX_IO_Event* event,
                                                   const char* options, char* buffer,
                                                   size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VELTRAX_IO_H */
