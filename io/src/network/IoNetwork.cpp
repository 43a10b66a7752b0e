#include "network/IoNetwork.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <system_error>

#include "core/OptionKeys.h"
#include "network/NetworkLocator.h"
#include "platform/Spin.h"
#include "platform/TcpConnect.h"
#include "platform/WriteProgress.h"

namespace vxio {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kReceiveCycle{300};
constexpr size_t kChunk = 1024;

// Answers come in runs. For this long after a read the receive thread looks
// for more without sleeping: a sleeping reader has to be woken for each
// answer by the thread that delivers it, inside the kernel's socket lock,
// which slows the peer's sends and the caller's alike.
constexpr std::chrono::microseconds kLinger{50};
// How long a send or receive call spins for the other one to finish before
// it sleeps; either takes a few microseconds, longer on a busy machine.
constexpr std::chrono::microseconds kCallSpin{50};
// While requests go out back to back, a read would take the socket from the
// sender for each answer: bytes that come within this gap after a send wait,
// up to the hold below, and are then read together.
constexpr std::chrono::microseconds kSendGap{10};
constexpr std::chrono::microseconds kMaxHold{100};

// Takes `mutex`, spinning for a while before sleeping on it.
std::unique_lock<std::mutex> lockSpinning(std::mutex& mutex) {
    std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
    vxplatform::lockSpinning(lock, kCallSpin);
    return lock;
}

milliseconds leftUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? milliseconds(0) : left;
}

}  // namespace

IoNetwork::IoNetwork(const DeviceParams& params)
    : IoDevice(params.locator, params.options, params.userContext, params.receive, params.error),
      locatorPieces_(params.parsed.pieces) {}

IoNetwork::~IoNetwork() = default;

VX_IO_Result IoNetwork::Open(std::shared_ptr<IoDevice> self) {
    std::string host;
    uint16_t port = 0;
    VX_IO_Result result = parseNetworkLocator(options(), locatorPieces_, host, port);
    if (result != VX_IO_OK) return result;

    uint32_t timeoutMs = 0;
    readRawUnsignedOption(options(), key::kConnectTimeout, &timeoutMs);
    const milliseconds timeout(timeoutMs);
    try {
        stopWaker_ = std::make_unique<vxplatform::Waker>();
    } catch (const std::system_error&) {
        return VX_IO_OPEN_FAILED;
    }
    result = connectTo(host, port, timeout);
    if (result != VX_IO_OK) return result;
    sendTimeout_ = timeout;

    const bool started = receiveThread_.start(
        [this, owner = std::move(self)]() mutable { receiveLoop(std::move(owner)); },
        [this] {
            line_.close();
            stopWaker_->wake();
        });
    if (!started) {
        socket_.reset();
        return VX_IO_OPEN_FAILED;
    }
    return VX_IO_OK;
}

VX_IO_Result IoNetwork::connectTo(const std::string& host, uint16_t port, milliseconds timeout) {
    vxplatform::TcpConnectResult connected = vxplatform::connectTcp(host, port, timeout);
    switch (connected.status) {
        case vxplatform::TcpConnectStatus::Connected:
            break;
        case vxplatform::TcpConnectStatus::ResolverFailed:
            return VX_IO_OPEN_FAILED;
        case vxplatform::TcpConnectStatus::HostNotFound:
        case vxplatform::TcpConnectStatus::Unreachable:
            return VX_IO_DEVICE_NOT_FOUND;
    }
    // Before the receive thread and any send: nothing else uses it yet.
    socket_ = std::move(connected.fd);
    return VX_IO_OK;
}

void IoNetwork::waitCycleEnd(Clock::time_point cycleEnd) {
    vxplatform::waitFd(stopWaker_->fd(), POLLIN, nullptr, leftUntil(cycleEnd));
}

bool IoNetwork::readableBefore(int fd, Clock::time_point until) {
    // A poll that does not wait leaves the socket's lock alone.
    pollfd ready{fd, POLLIN, 0};
    bool readable = false;
    vxplatform::spinUntil(until, [&] {
        if (stopping()) return true;
        const int n = ::poll(&ready, 1, 0);
        readable = n > 0;
        return readable || (n < 0 && errno != EINTR);
    });
    return readable;
}

void IoNetwork::holdWhileSending(Clock::time_point readable) {
    // An answer to a single request comes later than the gap and is not held.
    vxplatform::spinUntil(readable + kMaxHold, [&] {
        const Clock::time_point sent{Clock::duration(lastSend_.load(std::memory_order_relaxed))};
        return stopping() || Clock::now() - sent >= kSendGap;
    });
}

void IoNetwork::receiveLoop(std::shared_ptr<IoDevice> self) {
    // Only this thread releases the socket, so its number is stable here.
    const int fd = socket_.get();
    uint8_t buffer[kChunk];
    std::optional<Clock::time_point> lastRead;
    while (!stopping()) {
        const auto cycleEnd = Clock::now() + kReceiveCycle;
        auto waited = vxplatform::WaitResult::Ready;
        int waitError = 0;
        if (!lastRead || !readableBefore(fd, *lastRead + kLinger)) {
            waited = vxplatform::waitFd(fd, POLLIN, stopWaker_.get(), kReceiveCycle);
            waitError = errno;
        }
        lastRead.reset();
        if (waited == vxplatform::WaitResult::Ready) holdWhileSending(Clock::now());
        if (waited == vxplatform::WaitResult::Woken) {
            // A stop sets its flag before it wakes: looked at again after the
            // clear, no stop is missed.
            if (stopping()) break;
            stopWaker_->clear();
            if (stopping()) break;
            if (line_.takeReport()) reportError(VX_IO_TIMEOUT);
            continue;
        }
        if (waited == vxplatform::WaitResult::TimedOut) continue;

        int report = 0;
        if (waited == vxplatform::WaitResult::Error) {
            report = waitError == ETIMEDOUT ? VX_IO_TIMEOUT : VX_IO_READ_ERROR;
        } else {
            // Reads until a block comes back short, without asking first how
            // much is waiting: one system call fewer for each answer.
            for (bool first = true; !stopping(); first = false) {
                ssize_t n;
                int error;
                {
                    auto call = lockSpinning(callMutex_);
                    n = ::recv(fd, buffer, kChunk, MSG_DONTWAIT);
                    error = errno;
                }
                if (n < 0 && error == EINTR) continue;
                if (n == 0) {
                    report = VX_IO_TIMEOUT;  // the peer has closed
                } else if (n < 0 && error != EAGAIN && error != EWOULDBLOCK) {
                    // A socket that is readable but fails at once has lost its peer.
                    report = first || error == ETIMEDOUT ? VX_IO_TIMEOUT : VX_IO_READ_ERROR;
                }
                if (n <= 0) break;
                deliver(buffer, static_cast<size_t>(n));
                lastRead = Clock::now();
                if (static_cast<size_t>(n) < kChunk) break;
            }
        }
        if (report != 0) {
            // Errors caused by Close's own teardown are not the caller's news.
            if (!stopping()) {
                lineLost_ = true;
                reportError(report);
            }
            // A closed or failed socket stays ready: pace the reports to one a cycle.
            waitCycleEnd(cycleEnd);
        }
    }
    line_.close();
    line_.waitIdle();
    if (line_.givenUp() || lineLost_) {
        // What a lost or given-up connection still queues is dropped with
        // a reset, not sent after the head of a frame.
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        ::shutdown(fd, SHUT_RDWR);
    }
    socket_.reset();
    self.reset();
}

void IoNetwork::Close(bool wait) {
    // Without wait the join is left to the destructor: the receive thread
    // holds an owner until it ends. From a callback the join returns at once.
    receiveThread_.requestStop();
    if (wait) receiveThread_.join();
}

VX_IO_Result IoNetwork::Send(const void* data, size_t length) {
    return line_.send(data, length, [this](const uint8_t* bytes, size_t size) {
        LineWrite done;
        if (!socket_.valid() || stopping()) {
            done.result = VX_IO_TIMEOUT;
            done.closing = true;
            return done;
        }
        vxplatform::WriteProgress progress(socket_.get(), sendTimeout_);
        while (done.written < size) {
            // A close ends the send also while the peer takes every byte.
            if (stopping()) {
                done.result = VX_IO_TIMEOUT;
                done.closing = true;
                return done;
            }
            const size_t piece = std::min(size - done.written, static_cast<size_t>(INT_MAX));
            ssize_t n;
            int error;
            {
                auto call = lockSpinning(callMutex_);
                n = ::send(socket_.get(), bytes + done.written, piece, MSG_NOSIGNAL);
                error = errno;
            }
            lastSend_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
            if (n > 0) {
                done.written += static_cast<size_t>(n);
                progress.wrote(static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && error == EINTR) continue;
            if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
                // No room: wait while the peer still takes bytes, or until Close.
                const auto waited = progress.waitForRoom(stopWaker_.get(), nullptr);
                if (waited == vxplatform::WaitResult::Ready) continue;
                done.result = waited == vxplatform::WaitResult::Error ? VX_IO_WRITE_ERROR : VX_IO_TIMEOUT;
                done.closing = waited == vxplatform::WaitResult::Woken;
                return done;
            }
            done.result = (n < 0 && error == ETIMEDOUT) ? VX_IO_TIMEOUT : VX_IO_WRITE_ERROR;
            return done;
        }
        return done;
    });
}

VX_IO_Result IoNetwork::GetProperty(const char*, char* buffer, size_t* length) {
    if (buffer && length && *length > 0) buffer[0] = '\0';
    if (length) *length = 0;
    return VX_IO_UNKNOWN_PROPERTY;
}

}  // namespace vxio
