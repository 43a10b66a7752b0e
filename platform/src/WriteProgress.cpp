#include "platform/WriteProgress.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <thread>

namespace vxplatform {

namespace {

// How often a wait for room looks at the output queue.
constexpr std::chrono::milliseconds kQueueLook(100);
// How often a drain looks at the queue, and how long a line may show no
// shrinking beyond its idle limit before it counts as stopped: a healthy
// line drains some bytes between two looks.
constexpr std::chrono::milliseconds kDrainLook(10);
constexpr std::chrono::milliseconds kDrainGrace(50);
constexpr uint64_t kBitsPerByte = 10;

}  // namespace

std::optional<size_t> queuedOutput(int fd) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
    return static_cast<size_t>(queued);
}

std::chrono::nanoseconds lineTime(uint64_t bytes, uint32_t baudRate) {
    if (baudRate == 0) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(bytes * kBitsPerByte * 1'000'000'000ull / baudRate);
}

void LineBacklog::reset(uint32_t baudRate) {
    std::lock_guard lock(mutex_);
    baudRate_ = baudRate;
    held_ = 0;
    at_ = Clock::now();
}

void LineBacklog::setRate(uint32_t baudRate) {
    std::lock_guard lock(mutex_);
    age(Clock::now());
    baudRate_ = baudRate;
}

uint32_t LineBacklog::rate() const {
    std::lock_guard lock(mutex_);
    return baudRate_;
}

void LineBacklog::age(Clock::time_point now) {
    if (held_ == 0 || baudRate_ == 0 || now <= at_) {
        at_ = std::max(at_, now);
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - at_).count();
    const uint64_t carried = static_cast<uint64_t>(elapsed) * baudRate_ / kBitsPerByte / 1'000'000'000ull;
    if (carried == 0) return;  // keep the remainder for later
    held_ = carried >= held_ ? 0 : held_ - carried;
    at_ = now;
}

void LineBacklog::wrote(size_t bytes, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    age(now);
    held_ += bytes;
}

size_t LineBacklog::held(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    age(now);
    return static_cast<size_t>(held_);
}

WriteProgress::WriteProgress(int fd, std::chrono::milliseconds idleLimit, LineBacklog* backlog)
    : fd_(fd), idleLimit_(idleLimit), backlog_(backlog) {}

void WriteProgress::wrote(size_t bytes) {
    progressed_ = true;
    if (backlog_) backlog_->wrote(bytes);
}

void WriteProgress::restart(Clock::time_point now, std::optional<size_t> queued) {
    lastQueued_ = queued;
    auto allowance = std::chrono::duration_cast<Clock::duration>(idleLimit_);
    if (const uint32_t rate = backlog_ ? backlog_->rate() : 0) {
        const size_t held = std::max({queued.value_or(0), backlog_->held(now), kKernelBufferStep});
        allowance += std::chrono::duration_cast<Clock::duration>(lineTime(held, rate));
    }
    deadline_ = now + allowance;
}

WaitResult WriteProgress::waitForRoom(const Waker* waker, short* revents) {
    const bool forever = idleLimit_.count() < 0;
    // The queue is compared with its size after the last write, which may
    // have refilled it.
    if (!waited_ || progressed_) restart(Clock::now(), queuedOutput(fd_));
    waited_ = true;
    progressed_ = false;
    for (;;) {
        std::chrono::milliseconds slice = kQueueLook;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0) return WaitResult::TimedOut;
            slice = std::min(slice, left);
        }
        const WaitResult waited = waitFd(fd_, POLLOUT, waker, slice, revents);
        if (waited != WaitResult::TimedOut) return waited;
        const std::optional<size_t> queued = queuedOutput(fd_);
        if (queued && lastQueued_ && *queued < *lastQueued_) {
            restart(Clock::now(), queued);
        } else {
            lastQueued_ = queued;
        }
    }
}

bool drainOutput(int fd, uint32_t baudRate, std::chrono::milliseconds idle) {
    using Clock = std::chrono::steady_clock;
    std::optional<size_t> queued = queuedOutput(fd);
    if (!queued || *queued == 0) return true;
    const auto start = Clock::now();
    const auto bound = start + std::chrono::duration_cast<Clock::duration>(lineTime(*queued, baudRate)) + idle;
    const auto silence = std::chrono::duration_cast<Clock::duration>(idle + kDrainGrace);
    auto lastProgress = start;
    size_t last = *queued;
    for (;;) {
        const auto now = Clock::now();
        if (now >= bound || now - lastProgress >= silence) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kDrainLook, bound - now));
        queued = queuedOutput(fd);
        if (!queued || *queued == 0) return true;
        if (*queued < last) {
            last = *queued;
            lastProgress = Clock::now();
        }
    }
}

}  // namespace vxplatform
