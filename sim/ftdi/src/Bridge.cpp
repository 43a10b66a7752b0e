#include "Bridge.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "Driver.h"

namespace vxftdi {

namespace {

constexpr std::chrono::milliseconds kConnectTimeout(2000);

}  // namespace

Bridge::Bridge(Driver& driver, std::string host, uint16_t port, bool paced)
    : driver_(driver), host_(std::move(host)), port_(port), paced_(paced) {}

Bridge::~Bridge() { disconnect(); }

VxFtdiPeer Bridge::peer() {
    VxFtdiPeer peer{};
    peer.onOpen = &Bridge::onOpen;
    peer.onWrite = &Bridge::onWrite;
    peer.onClose = &Bridge::onClose;
    peer.context = this;
    return peer;
}

int Bridge::onOpen(void* context, int adapter) {
    auto* bridge = static_cast<Bridge*>(context);
    bridge->disconnect();
    if (!bridge->connect()) return 1;
    bridge->stop_.clear();
    const bool started = bridge->pump_.start([bridge, adapter] { bridge->pump(adapter); },
                                             [bridge] {
                                                 bridge->stop_.wake();
                                                 std::lock_guard<std::mutex> lock(bridge->paceMutex_);
                                                 bridge->paceWake_.notify_all();
                                             });
    if (!started) {
        bridge->socket_.reset();
        return 1;
    }
    return 0;
}

void Bridge::onWrite(void* context, int adapter, const uint8_t* data, size_t length) {
    auto* bridge = static_cast<Bridge*>(context);
    // The device has the bytes once the line has carried them.
    if (!bridge->passLine(bridge->fromHost_, adapter, length)) return;
    while (length > 0 && bridge->socket_.valid()) {
        const ssize_t sent = ::send(bridge->socket_.get(), data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            bridge->driver_.dropConnection(adapter);
            return;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
}

void Bridge::onClose(void* context, int) { static_cast<Bridge*>(context)->disconnect(); }

bool Bridge::connect() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found) != 0) return false;
    bool connected = false;
    for (addrinfo* address = found; address && !connected; address = address->ai_next) {
        vxplatform::UniqueFd fd(
            ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd.valid()) continue;
        if (::connect(fd.get(), address->ai_addr, address->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) continue;
            short revents = 0;
            if (vxplatform::waitFd(fd.get(), POLLOUT, nullptr, kConnectTimeout, &revents) !=
                vxplatform::WaitResult::Ready)
                continue;
            int error = 0;
            socklen_t size = sizeof(error);
            if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
                continue;
        }
        const int flags = fcntl(fd.get(), F_GETFL);
        if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) continue;
        socket_ = std::move(fd);
        connected = true;
    }
    freeaddrinfo(found);
    return connected;
}

void Bridge::pump(int adapter) {
    uint8_t buffer[4096];
    for (;;) {
        const vxplatform::WaitResult result =
            vxplatform::waitFd(socket_.get(), POLLIN, &stop_, std::chrono::milliseconds(-1));
        if (result == vxplatform::WaitResult::Woken) return;
        if (result != vxplatform::WaitResult::Ready) break;
        const ssize_t count = ::recv(socket_.get(), buffer, sizeof(buffer), 0);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        // The host can read the bytes once the line has carried them.
        if (!passLine(toHost_, adapter, static_cast<size_t>(count))) return;
        driver_.pushReceived(adapter, buffer, static_cast<size_t>(count));
    }
    // The peer went away: to the host the device is lost.
    driver_.dropConnection(adapter);
}

bool Bridge::passLine(LinePace& pace, int adapter, size_t length) {
    if (!paced_) return true;
    uint32_t baud = 0;
    {
        std::lock_guard<std::mutex> lock(driver_.mutex);
        if (const std::shared_ptr<Adapter> found = driver_.findAdapter(adapter))
            baud = found->line.baudRate;
    }
    std::unique_lock<std::mutex> lock(paceMutex_);
    const LinePace::Clock::time_point due = pace.pass(length, baud);
    return !paceWake_.wait_until(lock, due, [&] { return pump_.stopRequested(); });
}

void Bridge::disconnect() {
    pump_.stop();
    socket_.reset();
}

}  // namespace vxftdi
