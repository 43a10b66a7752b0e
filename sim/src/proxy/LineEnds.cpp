#include "LineEnds.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "platform/TcpConnect.h"

namespace vxsim::proxy {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kConnectTimeout{2000};
// A far end that went away is tried again this often.
constexpr milliseconds kRetry{200};

}  // namespace

ssize_t SocketEnd::read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) {
    for (;;) {
        const ssize_t n = ::recv(fd_.get(), buffer, size, MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return 0;
        const auto woke = vxplatform::waitFd(fd_.get(), POLLIN, &wake, milliseconds(-1));
        if (woke == vxplatform::WaitResult::Woken) return kWoken;
        if (woke != vxplatform::WaitResult::Ready) return 0;
    }
}

bool SocketEnd::write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(fd_.get(), data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (vxplatform::waitFd(fd_.get(), POLLOUT, &wake, milliseconds(-1)) != vxplatform::WaitResult::Ready)
            return false;
    }
    return true;
}

void SocketEnd::shutdownSending() { ::shutdown(fd_.get(), SHUT_WR); }

void SocketEnd::close(bool reset) {
    if (!fd_.valid()) return;
    if (reset) {
        const linger now{1, 0};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    fd_.reset();
}

RemadeSocketEnd::RemadeSocketEnd(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {
    auto made = vxplatform::connectTcp(host_, port_, kConnectTimeout);
    if (made.status != vxplatform::TcpConnectStatus::Connected)
        throw std::system_error(ECONNREFUSED, std::generic_category(), "upstream " + host_);
    socket_ = std::make_shared<SocketEnd>(std::move(made.fd));
}

std::shared_ptr<SocketEnd> RemadeSocketEnd::current(const std::shared_ptr<SocketEnd>& gone,
                                                    const vxplatform::Waker& wake) {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (socket_ && socket_ != gone) return socket_;
        }
        auto made = vxplatform::connectTcp(host_, port_, kConnectTimeout);
        if (made.status == vxplatform::TcpConnectStatus::Connected) {
            std::lock_guard lock(mutex_);
            // Another pump may have made it first; its connection stays.
            if (!socket_ || socket_ == gone) socket_ = std::make_shared<SocketEnd>(std::move(made.fd));
            return socket_;
        }
        if (vxplatform::waitFd(-1, 0, &wake, kRetry) == vxplatform::WaitResult::Woken) return nullptr;
    }
}

ssize_t RemadeSocketEnd::read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) {
    std::shared_ptr<SocketEnd> socket;
    {
        std::lock_guard lock(mutex_);
        socket = socket_;
    }
    for (;;) {
        if (!socket) socket = current(nullptr, wake);
        if (!socket) return kWoken;
        const ssize_t n = socket->read(buffer, size, wake);
        if (n != 0) return n;
        socket = current(socket, wake);
    }
}

bool RemadeSocketEnd::write(const uint8_t* data, size_t length, const vxplatform::Waker& wake) {
    std::shared_ptr<SocketEnd> socket;
    {
        std::lock_guard lock(mutex_);
        socket = socket_;
    }
    if (!socket) socket = current(nullptr, wake);
    // What a dropped connection did not take is lost, as on a line that was cut.
    return socket && socket->write(data, length, wake);
}

SerialEnd::SerialEnd(const std::string& path, uint32_t baud) {
    vxplatform::SerialSettings settings;
    settings.baudRate = baud;
    if (const int error = port_.open(path, settings); error != 0)
        throw std::system_error(error, std::generic_category(), "upstream " + path);
}

SerialEnd::~SerialEnd() { port_.close(milliseconds(0)); }

ssize_t SerialEnd::read(uint8_t* buffer, size_t size, const vxplatform::Waker& wake) {
    const auto result = port_.read(buffer, size, milliseconds(-1), &wake);
    switch (result.status) {
    case vxplatform::SerialStatus::Ok:
        return static_cast<ssize_t>(result.count);
    case vxplatform::SerialStatus::Interrupted:
    case vxplatform::SerialStatus::TimedOut:
        return kWoken;
    default:
        return 0;
    }
}

bool SerialEnd::write(const uint8_t* data, size_t length, const vxplatform::Waker&) {
    return port_.write(data, length, milliseconds(-1)).status == vxplatform::SerialStatus::Ok;
}

bool splitNetworkLocator(const std::string& locator, std::string* host, uint16_t* port) {
    static const std::string kPrefix = "network:";
    if (locator.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    const size_t colon = locator.rfind(':');
    if (colon <= kPrefix.size() || colon + 1 >= locator.size()) return false;
    unsigned long value = 0;
    for (size_t i = colon + 1; i < locator.size(); ++i) {
        if (locator[i] < '0' || locator[i] > '9') return false;
        value = value * 10 + static_cast<unsigned long>(locator[i] - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *host = locator.substr(kPrefix.size(), colon - kPrefix.size());
    *port = static_cast<uint16_t>(value);
    return true;
}

std::unique_ptr<LineEnd> openLastingUpstream(const std::string& locator, uint32_t baud) {
    std::string host;
    uint16_t port = 0;
    if (splitNetworkLocator(locator, &host, &port)) return std::make_unique<RemadeSocketEnd>(host, port);
    static const std::string kSerial = "serial:";
    if (locator.compare(0, kSerial.size(), kSerial) == 0 && locator.size() > kSerial.size())
        return std::make_unique<SerialEnd>(locator.substr(kSerial.size()), baud);
    throw std::invalid_argument("upstream must be network:HOST:PORT or serial:PATH: " + locator);
}

}  // namespace vxsim::proxy
