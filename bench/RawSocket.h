#pragma once

// The benchmarks' reference: a plain blocking TCP connection to the child
// simulator, with nothing of the libraries' in its path.

#include <fcntl.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>

#include "platform/TcpConnect.h"
#include "platform/UniqueFd.h"

namespace vxbench {

class RawSocket {
public:
    explicit RawSocket(uint16_t port) {
        auto connected = vxplatform::connectTcp("127.0.0.1", port, std::chrono::milliseconds(2000));
        if (connected.status != vxplatform::TcpConnectStatus::Connected)
            throw std::runtime_error("raw client cannot connect");
        fd_ = std::move(connected.fd);
        // Blocking from here: a reference client sleeps in its calls.
        const int flags = ::fcntl(fd_.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            throw std::runtime_error("raw client cannot block");
    }

    bool send(const uint8_t* data, size_t length) {
        while (length > 0) {
            const ssize_t n = ::send(fd_.get(), data, length, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            length -= static_cast<size_t>(n);
        }
        return true;
    }
    bool receive(uint8_t* data, size_t length) {
        while (length > 0) {
            const ssize_t n = receiveSome(data, length);
            if (n <= 0) return false;
            data += n;
            length -= static_cast<size_t>(n);
        }
        return true;
    }
    ssize_t receiveSome(uint8_t* data, size_t capacity) {
        for (;;) {
            const ssize_t n = ::recv(fd_.get(), data, capacity, 0);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    // Ends a receive that another thread is blocked in.
    void shutdown() { ::shutdown(fd_.get(), SHUT_RDWR); }

private:
    vxplatform::UniqueFd fd_;
};

inline double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace vxbench
