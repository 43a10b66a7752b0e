#include "sim/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vxsim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

milliseconds timeLeft(Clock::time_point deadline) {
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? milliseconds(0) : left;
}

}  // namespace

Pty::Pty() {
    vxplatform::UniqueFd controller(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!controller.valid()) fail("posix_openpt");
    if (::grantpt(controller.get()) != 0) fail("grantpt");
    if (::unlockpt(controller.get()) != 0) fail("unlockpt");
    char name[128];
    if (::ptsname_r(controller.get(), name, sizeof name) != 0) fail("ptsname_r");
    devicePath_ = name;
    host_.reset(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!host_.valid()) fail("open pts");
    // A fresh terminal echoes and edits lines; a cable does neither, also
    // before the host has set the port up.
    termios t{};
    if (::tcgetattr(host_.get(), &t) != 0) fail("tcgetattr");
    ::cfmakeraw(&t);
    if (::tcsetattr(host_.get(), TCSANOW, &t) != 0) fail("tcsetattr");
    const int flags = ::fcntl(controller.get(), F_GETFL);
    if (flags < 0 || ::fcntl(controller.get(), F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl");
    controller_ = std::move(controller);
}

Pty::~Pty() {
    stop();
    hangUp();
}

termios Pty::hostTermios() const {
    termios t{};
    ::tcgetattr(host_.get(), &t);
    return t;
}

int Pty::acquire() {
    std::lock_guard lock(mutex_);
    if (closing_ || !controller_.valid()) return -1;
    ++users_;
    return controller_.get();
}

void Pty::release() {
    std::lock_guard lock(mutex_);
    --users_;
    changed_.notify_all();
}

bool Pty::isConnected() const {
    std::lock_guard lock(mutex_);
    return controller_.valid() && !closing_;
}

void Pty::setPaced(bool paced) {
    std::lock_guard lock(mutex_);
    paced_ = paced;
}

uint64_t Pty::bytesFromHost() const {
    std::lock_guard lock(mutex_);
    return fromHost_.bytes();
}

uint64_t Pty::bytesToHost() const {
    std::lock_guard lock(mutex_);
    return toHost_.bytes();
}

void Pty::clearByteCounts() {
    std::lock_guard lock(mutex_);
    fromHost_.clearCount();
    toHost_.clearCount();
}

bool Pty::passLine(LinePace& pace, size_t length) {
    const uint32_t baud = baudOf(hostTermios());
    std::unique_lock lock(mutex_);
    const auto due = pace.pass(length, paced_ ? baud : 0);
    if (!paced_) return true;
    // A stop ends only the serving thread's own wait.
    return !changed_.wait_until(lock, due,
                                [&] { return closing_ || (server_.isCurrent() && server_.stopRequested()); });
}

bool Pty::write(const void* data, size_t length, milliseconds timeout) {
    const int fd = acquire();
    if (fd < 0) return false;
    // The bytes reach the host once the line has carried them.
    if (!passLine(toHost_, length)) {
        release();
        return false;
    }
    const auto deadline = Clock::now() + timeout;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    bool ok = true;
    while (ok && done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN) {
            ok = false;
        } else {
            ok = vxplatform::waitFd(fd, POLLOUT, &wake_, timeLeft(deadline)) ==
                 vxplatform::WaitResult::Ready;
        }
    }
    release();
    return ok;
}

std::string Pty::read(size_t max, milliseconds timeout) {
    const int fd = acquire();
    if (fd < 0) return {};
    const auto deadline = Clock::now() + timeout;
    std::string out;
    for (;;) {
        out.resize(max);
        const ssize_t n = ::read(fd, out.data(), max);
        if (n > 0) {
            out.resize(static_cast<size_t>(n));
            break;
        }
        out.clear();
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) break;
        if (vxplatform::waitFd(fd, POLLIN, &wake_, timeLeft(deadline)) !=
            vxplatform::WaitResult::Ready)
            break;
    }
    release();
    return out;
}

std::string Pty::readExactly(size_t count, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string out;
    while (out.size() < count) {
        std::string chunk = read(count - out.size(), timeLeft(deadline));
        if (chunk.empty()) break;
        out += chunk;
    }
    return out;
}

void Pty::hangUp() {
    std::unique_lock lock(mutex_);
    if (!controller_.valid() || closing_) return;
    closing_ = true;
    // Woken only with the flag set: stop() clears the waker under the mutex
    // unless a hang-up is under way, so it cannot take this wake away.
    wake_.wake();
    changed_.notify_all();
    // Our own serving thread counts as a user while its handler runs.
    const int ownUse = (serving_ && server_.isCurrent()) ? 1 : 0;
    changed_.wait(lock, [&] { return users_ <= ownUse; });
    controller_.reset();
    closing_ = false;
    changed_.notify_all();
}

void Pty::serve(LinkHandler& handler) {
    stop();
    std::lock_guard lock(mutex_);
    if (!controller_.valid() || closing_) return;
    // The thread uses the descriptor from its first moment, so that a hang-up
    // right after serve() still reaches the handler as a disconnect.
    ++users_;
    serving_ = true;
    const bool started = server_.start([this, &handler] { serveLoop(handler); },
                                       [this] {
                                           {
                                               std::lock_guard wakeLock(mutex_);
                                               changed_.notify_all();
                                           }
                                           wake_.wake();
                                       });
    if (!started) {
        --users_;
        serving_ = false;
        throw std::system_error(EAGAIN, std::generic_category(), "serving thread");
    }
}

void Pty::stop() {
    server_.stop();
    std::lock_guard lock(mutex_);
    if (controller_.valid() && !closing_) wake_.clear();
}

void Pty::serveLoop(LinkHandler& handler) {
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        fd = controller_.get();
    }
    {
        handler.onConnect(link_);
        uint8_t buffer[4096];
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (server_.stopRequested() || closing_ || !controller_.valid()) break;
            }
            const auto woke = vxplatform::waitFd(fd, POLLIN, &wake_, milliseconds(-1));
            if (woke == vxplatform::WaitResult::Woken) {
                // Whoever woke us sets its flag at once; wait for it rather than spin.
                std::unique_lock lock(mutex_);
                changed_.wait(lock,
                              [&] { return server_.stopRequested() || closing_ || !controller_.valid(); });
                continue;
            }
            if (woke != vxplatform::WaitResult::Ready) break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                // The controller has the bytes once the line has carried them.
                if (!passLine(fromHost_, static_cast<size_t>(n))) continue;
                handler.onReceive(link_, buffer, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                break;
            }
        }
        release();
        handler.onDisconnect(link_);
    }
    std::lock_guard lock(mutex_);
    serving_ = false;
    changed_.notify_all();
}

}  // namespace vxsim
