#include "platform/Waker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace vxplatform {

Waker::Waker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void Waker::wake() {
    uint64_t one = 1;
    // A full counter already wakes every poll; nothing to do on EAGAIN.
    [[maybe_unused]] ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void Waker::clear() {
    uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(fd_.get(), &value, sizeof value);
}

bool Waker::isSet() const {
    pollfd p{fd_.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

WaitResult waitFd(int fd, short events, const Waker* waker, std::chrono::milliseconds timeout,
                  short* revents) {
    return waitFd(fd, events, waker, nullptr, timeout, revents);
}

WaitResult waitFd(int fd, short events, const Waker* waker, const Waker* second,
                  std::chrono::milliseconds timeout, short* revents) {
    using clock = std::chrono::steady_clock;
    const bool forever = timeout.count() < 0;
    const auto deadline = clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        pollfd fds[3] = {{fd, events, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        nfds_t count = 1;
        for (const Waker* w : {waker, second})
            if (w) fds[count++].fd = w->fd();
        int ms = -1;
        if (!forever) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            ms = left.count() < 0 ? 0 : static_cast<int>(left.count());
        }
        int n = ::poll(fds, count, ms);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Error;
        }
        for (nfds_t i = 1; i < count; ++i)
            if (fds[i].revents & POLLIN) return WaitResult::Woken;
        if (fds[0].revents) {
            if (revents) *revents = fds[0].revents;
            return WaitResult::Ready;
        }
        if (n == 0) return WaitResult::TimedOut;
    }
}

}  // namespace vxplatform
