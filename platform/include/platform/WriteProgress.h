#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "platform/Waker.h"

namespace vxplatform {

// The bytes a terminal or socket still holds for its line (TIOCOUTQ and
// SIOCOUTQ are one request); empty when the device does not say.
std::optional<size_t> queuedOutput(int fd);

// A writer's watch on a line that may be slow: it fails only when the line
// has taken nothing for the idle limit. Room for more bytes is progress, and
// so is an output queue that shrinks: a slow line may take its queue for
// longer than the limit before the kernel reports room.
class WriteProgress {
public:
    using Clock = std::chrono::steady_clock;

    // A negative limit waits without one.
    WriteProgress(int fd, std::chrono::milliseconds idleLimit);

    // The line took bytes just now.
    void wrote() { progressed_ = true; }
    // Waits until `fd` takes bytes again (Ready), the waker is set (Woken),
    // the wait fails (Error) or the line has taken nothing for the idle
    // limit (TimedOut).
    WaitResult waitForRoom(const Waker* waker, short* revents);

private:
    const int fd_;
    const std::chrono::milliseconds idleLimit_;
    // Only a wait needs the time and the queue: most writes never wait, and a
    // wait begins right after the write that found the line full.
    bool waited_ = false;
    bool progressed_ = false;
    Clock::time_point lastProgress_;
    std::optional<size_t> lastQueued_;
};

}  // namespace vxplatform
