#include "platform/WriteProgress.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>

namespace vxplatform {

namespace {

// How often a wait for room looks at the output queue.
constexpr std::chrono::milliseconds kQueueLook(100);

}  // namespace

std::optional<size_t> queuedOutput(int fd) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
    return static_cast<size_t>(queued);
}

WriteProgress::WriteProgress(int fd, std::chrono::milliseconds idleLimit) : fd_(fd), idleLimit_(idleLimit) {}

WaitResult WriteProgress::waitForRoom(const Waker* waker, short* revents) {
    const bool forever = idleLimit_.count() < 0;
    if (!waited_ || progressed_) lastProgress_ = Clock::now();
    if (!waited_) lastQueued_ = queuedOutput(fd_);
    waited_ = true;
    progressed_ = false;
    for (;;) {
        std::chrono::milliseconds slice = kQueueLook;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastProgress_ + idleLimit_ - Clock::now());
            if (left.count() <= 0) return WaitResult::TimedOut;
            slice = std::min(slice, left);
        }
        const WaitResult waited = waitFd(fd_, POLLOUT, waker, slice, revents);
        if (waited != WaitResult::TimedOut) return waited;
        const std::optional<size_t> queued = queuedOutput(fd_);
        if (queued && lastQueued_ && *queued < *lastQueued_) lastProgress_ = Clock::now();
        lastQueued_ = queued;
    }
}

}  // namespace vxplatform
