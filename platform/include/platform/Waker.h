#pragma once

#include <chrono>

#include "platform/UniqueFd.h"

namespace vxplatform {

// An eventfd that wakes a thread blocked in poll(); stands in for the event
// objects that stop a blocking read or write.
class Waker {
public:
    Waker();  // throws std::system_error when no eventfd can be made
    int fd() const { return fd_.get(); }
    void wake();    // level-triggered until clear()
    void clear();
    bool isSet() const;

private:
    UniqueFd fd_;
};

enum class WaitResult { Ready, Woken, TimedOut, Error };

// Waits until `fd` has one of `events` (POLLIN, POLLOUT...), the waker is
// set, or the timeout passes; a negative timeout waits without limit.
// `revents` receives what poll reported for `fd`.
WaitResult waitFd(int fd, short events, const Waker* waker, std::chrono::milliseconds timeout,
                  short* revents = nullptr);
// The same, woken by either of two wakers (either may be null).
WaitResult waitFd(int fd, short events, const Waker* waker, const Waker* second,
                  std::chrono::milliseconds timeout, short* revents = nullptr);

}  // namespace vxplatform
