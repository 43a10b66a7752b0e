#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/Waker.h"

namespace vxplatform {

// The bytes a terminal or socket still holds for its line (TIOCOUTQ and
// SIOCOUTQ are one request); empty when the device does not say. A
// pseudo-terminal always says 0; on TCP the count falls only as the peer
// acknowledges whole segments.
std::optional<size_t> queuedOutput(int fd);

// How long `bytes` take on a serial line at `baudRate`: ten bit times a
// byte (start bit, eight data bits, stop bit). Zero for a rate of 0.
std::chrono::nanoseconds lineTime(uint64_t bytes, uint32_t baudRate);

// The kernel gives a writer room on a terminal in steps: a far end that
// reads at the line's rate may free nothing for the line time of this many
// bytes (the line discipline's buffer), and a real port's queue is as large.
inline constexpr size_t kKernelBufferStep = 4096;

// What a serial line still holds by its writer's count: every byte written,
// less what the line could have carried since at its configured rate. A
// line that takes no more than its rate holds at least this much, whether or
// not its device reports a queue.
class LineBacklog {
public:
    using Clock = std::chrono::steady_clock;

    // A line at `baudRate` that holds nothing yet.
    void reset(uint32_t baudRate);
    void setRate(uint32_t baudRate);
    uint32_t rate() const;
    void wrote(size_t bytes, Clock::time_point now = Clock::now());
    size_t held(Clock::time_point now = Clock::now());

private:
    void age(Clock::time_point now);

    // A port's settings may change while its writer writes.
    mutable std::mutex mutex_;
    uint32_t baudRate_ = 0;
    uint64_t held_ = 0;
    Clock::time_point at_{};
};

// A writer's watch on a line that may be slow: it fails only when the line
// has taken nothing for longer than it may take without being stopped.
// Room for more bytes is progress, and so is an output queue that shrinks.
// On a serial line (with a backlog) that allowance is the idle limit plus
// the line time of what the line holds (at least one kernel buffer step);
// on TCP it is the idle limit alone, since a peer's progress shows only as
// acknowledged segments.
class WriteProgress {
public:
    using Clock = std::chrono::steady_clock;

    // A negative limit waits without one. `backlog` (may be null) is the
    // line's count at its configured rate.
    WriteProgress(int fd, std::chrono::milliseconds idleLimit, LineBacklog* backlog = nullptr);

    // The line took `bytes` just now.
    void wrote(size_t bytes);
    // Waits until `fd` takes bytes again (Ready), the waker is set (Woken),
    // the wait fails (Error) or the line has taken nothing for its
    // allowance (TimedOut).
    WaitResult waitForRoom(const Waker* waker, short* revents);

private:
    // Starts the allowance afresh at `now` with the queue as it is.
    void restart(Clock::time_point now, std::optional<size_t> queued);

    const int fd_;
    const std::chrono::milliseconds idleLimit_;
    LineBacklog* const backlog_;
    // Only a wait needs the time and the queue: most writes never wait, and a
    // wait begins right after the write that found the line full.
    bool waited_ = false;
    bool progressed_ = false;
    Clock::time_point deadline_;
    std::optional<size_t> lastQueued_;
};

// Lets what `fd` still queues go out while the line takes it: returns true
// once the queue is empty or the device reports none, false when the line
// has taken nothing for `idle` (plus a look's grace) or the line time of
// what was queued at the start plus `idle` has passed. The caller then
// discards the rest.
bool drainOutput(int fd, uint32_t baudRate, std::chrono::milliseconds idle);

}  // namespace vxplatform
