#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>

#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "platform/WriteProgress.h"

namespace vxplatform {

// Line settings of a serial port; the framing is always raw 8N1.
struct SerialSettings {
    uint32_t baudRate = 9600;  // any rate the device accepts, standard or not
    bool xonXoff = false;      // XON/XOFF flow control in both directions
    bool dtr = true;           // DTR asserted
    bool rts = true;           // RTS asserted (no hardware flow control)
};

enum class SerialStatus {
    Ok,           // count bytes moved
    TimedOut,     // nothing within the time-out (read), or the line took nothing for it (write)
    Interrupted,  // interrupt() or close() woke the call
    HungUp,       // the device went away (unplugged, or the other side of a pseudo-terminal closed)
    Closed,       // the port is not open
    Failed        // any other error; see `error`
};

struct SerialResult {
    SerialStatus status = SerialStatus::Ok;
    size_t count = 0;  // bytes read, or bytes written before the call ended
    int error = 0;     // errno where the system reported one
};

// One serial port opened for this process alone. A port is a byte stream:
// one thread may read while another writes; interrupt() and close() may be
// called from any thread and wake both. Concurrent writers are not
// serialised here: callers that write from several threads hold their own
// lock around write().
class SerialPort {
public:
    SerialPort() noexcept;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device at `path` exclusively (a lock that other processes
    // honour, plus the terminal's own exclusive mode) and applies
    // `settings`. Returns 0 or an errno value (EBUSY: held elsewhere,
    // EINVAL: rate refused, ENOTTY: not a terminal).
    int open(const std::string& path, const SerialSettings& settings);
    // Wakes every read and write, waits until they have returned, and closes.
    // Output still queued goes out while the line takes it: the close waits
    // at most its line time at the configured rate plus `idle`, and discards
    // what a line that has taken nothing for `idle` still holds, so it never
    // waits in the kernel for a line held by XOFF or CTS. A device that
    // reports no queue (a pseudo-terminal) is closed at once.
    void close(std::chrono::milliseconds idle = kDefaultDrain);
    static constexpr std::chrono::milliseconds kDefaultDrain{1000};
    // The same, but what is still queued is discarded at once.
    void closeDiscarding();
    bool isOpen() const;
    const std::string& path() const { return path_; }

    // Changes the settings of an open port. Returns 0 or an errno value.
    int configure(const SerialSettings& settings);
    int setDtr(bool on);
    int setRts(bool on);
    // The rate the device is set to; empty when the port is closed or the
    // device does not say.
    std::optional<uint32_t> baudRate() const;

    // Waits up to `timeout` (negative: without limit) for the first byte,
    // then takes what is buffered, at most `size` bytes. `also`, when set,
    // ends the wait as interrupt() does, but only this once.
    SerialResult read(void* buffer, size_t size, std::chrono::milliseconds timeout,
                      const Waker* also = nullptr);
    // Writes all `length` bytes. It gives up (TimedOut, with the count
    // written) only when the line has taken nothing for `idle` (negative:
    // never) on top of the line time, at the configured rate, of what it
    // holds (the bytes written lately that the rate cannot have carried yet,
    // or the queue the device reports, and at least one kernel buffer
    // step): a line that takes bytes at its rate is never given up, even
    // with an `idle` of 0, whether or not its device reports a queue.
    SerialResult write(const void* data, size_t length, std::chrono::milliseconds idle);
    // Framing, parity, overrun and break conditions counted since the last
    // call (or the open); always 0 for devices that do not count them. For
    // the reading thread.
    unsigned takeLineErrors();

    // Makes blocked and later reads and writes return Interrupted until the
    // port is closed.
    void interrupt();
    // False when the means to wake blocked calls could not be made; every
    // open() then fails.
    bool interruptible() const noexcept { return waker_.has_value(); }

private:
    // Empty: discard at once.
    void closeWith(std::optional<std::chrono::milliseconds> drainIdle);

    // Reads and writes hold it shared; open and close exclusively, so a
    // descriptor is never closed (and its number reused) under a call.
    mutable std::shared_mutex useMutex_;
    std::optional<Waker> waker_;
    int wakerError_ = 0;
    UniqueFd fd_;
    std::string path_;
    unsigned lineErrorBase_ = 0;
    // The writers' count of what the line holds; writes are serialised by
    // the callers, the close holds useMutex_ exclusively.
    LineBacklog backlog_;
};

// True when `path` could be opened exclusively just now.
bool isSerialPortAvailable(const std::string& path);

// The rate a terminal device is set to, for any rate; empty when `fd` is
// not a terminal.
std::optional<uint32_t> readLineRate(int fd);

}  // namespace vxplatform
