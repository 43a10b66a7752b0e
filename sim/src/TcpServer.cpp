#include "sim/TcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/Ipv4.h"

namespace vxsim {

namespace {

// A send to a host that stopped reading gives up after this long, so the
// server thread never hangs on one connection.
constexpr std::chrono::milliseconds kSendTimeout{2000};

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

class TcpServer::Connection : public Link {
public:
    Connection(TcpServer& server, vxplatform::UniqueFd fd, size_t closeAfter)
        : server_(server), fd_(std::move(fd)), closeAfter_(closeAfter) {}

    bool send(const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
        size_t done = 0;
        while (done < length) {
            if (!fd_.valid()) return false;
            ssize_t n = ::send(fd_.get(), data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) return false;
                if (vxplatform::waitFd(fd_.get(), POLLOUT, nullptr, left) !=
                    vxplatform::WaitResult::Ready)
                    return false;
                continue;
            }
            return false;
        }
        return true;
    }

    void close() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!fd_.valid()) return;
            closeRequested_ = true;
            // The peer sees the drop at once; the server thread reaps the rest.
            ::shutdown(fd_.get(), SHUT_RDWR);
        }
        server_.waker_.wake();
    }

    int fd() {
        std::lock_guard<std::mutex> lock(mutex_);
        return fd_.get();
    }
    bool closeRequested() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closeRequested_;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!fd_.valid()) return;
        ::shutdown(fd_.get(), SHUT_RDWR);
        fd_.reset();
    }

    // How many more bytes may be read before the fault knob drops the link.
    size_t readAllowance(size_t buffer) const {
        if (closeAfter_ == 0) return buffer;
        return std::min(buffer, closeAfter_ - delivered_);
    }
    // Counts delivered bytes; true once the limit is reached.
    bool countDelivered(size_t n) {
        delivered_ += n;
        return closeAfter_ != 0 && delivered_ >= closeAfter_;
    }

private:
    TcpServer& server_;
    std::mutex mutex_;
    vxplatform::UniqueFd fd_;
    bool closeRequested_ = false;
    size_t closeAfter_;
    size_t delivered_ = 0;  // server thread only
};

TcpServer::TcpServer(LinkHandler& handler, const std::string& address, uint16_t port)
    : handler_(handler), address_(address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const std::optional<uint32_t> listenAddress = vxplatform::parseIpv4(address);
    if (!listenAddress) throw std::system_error(EINVAL, std::generic_category(), "listen address");
    sa.sin_addr.s_addr = *listenAddress;
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_.valid()) throwErrno("socket");
    int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) throwErrno("bind");
    if (::listen(listener_.get(), 16) != 0) throwErrno("listen");
    socklen_t len = sizeof sa;
    if (::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        throwErrno("getsockname");
    port_ = ntohs(sa.sin_port);
    if (!thread_.start([this] { run(); }, [this] { waker_.wake(); }))
        throw std::system_error(EAGAIN, std::generic_category(), "server thread");
}

TcpServer::~TcpServer() { stop(); }

std::string TcpServer::locator() const { return "network:" + address_ + ":" + std::to_string(port_); }

void TcpServer::stop() {
    // Stops listening before the connections go: the kernel would otherwise
    // still complete a client's reconnect into the backlog meanwhile.
    if (listener_.valid()) ::shutdown(listener_.get(), SHUT_RDWR);
    // From a handler, on the server thread itself, the join returns at once
    // and the loop ends when the handler returns.
    thread_.stop();
    listener_.reset();
}

void TcpServer::setGreeting(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = std::move(bytes);
}

void TcpServer::setCloseAfter(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    closeAfter_ = bytes;
}

void TcpServer::setReading(bool reading) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reading_ = reading;
    }
    waker_.wake();
}

size_t TcpServer::sendToAll(const uint8_t* data, size_t length) {
    std::vector<std::shared_ptr<Connection>> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        links = open_;
    }
    size_t sent = 0;
    for (auto& link : links)
        if (link->send(data, length)) ++sent;
    return sent;
}

void TcpServer::closeAll() {
    std::vector<std::shared_ptr<Connection>> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        links = open_;
    }
    for (auto& link : links) link->close();
}

size_t TcpServer::accepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

size_t TcpServer::openLinks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

bool TcpServer::waitAccepted(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return stateChanged_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

bool TcpServer::waitOpenLinks(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return stateChanged_.wait_for(lock, timeout, [&] { return open_.size() == count; });
}

void TcpServer::notifyState() { stateChanged_.notify_all(); }

void TcpServer::run() {
    for (;;) {
        std::vector<std::shared_ptr<Connection>> links;
        bool reading;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (thread_.stopRequested()) break;
            links = open_;
            reading = reading_;
        }
        std::vector<pollfd> fds;
        fds.push_back({waker_.fd(), POLLIN, 0});
        fds.push_back({listener_.get(), POLLIN, 0});
        for (auto& link : links) fds.push_back({link->fd(), static_cast<short>(reading ? POLLIN : 0), 0});

        int n = ::poll(fds.data(), fds.size(), -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) waker_.clear();
        if (fds[1].revents & POLLIN) acceptOne();
        for (size_t i = 0; i < links.size(); ++i) {
            if (links[i]->closeRequested()) {
                drop(links[i]);
                continue;
            }
            if (fds[i + 2].revents) serviceConnection(links[i], fds[i + 2].revents);
        }
    }
    std::vector<std::shared_ptr<Connection>> links;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        links = open_;
    }
    for (auto& link : links) drop(link);
}

void TcpServer::acceptOne() {
    vxplatform::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.valid()) return;
    int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<uint8_t> greeting;
    size_t closeAfter;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_;
        closeAfter = closeAfter_;
    }
    auto link = std::make_shared<Connection>(*this, std::move(fd), closeAfter);
    if (!greeting.empty()) link->send(greeting.data(), greeting.size());
    // Listed only after onConnect, so a waiter on the counts sees a handler
    // that knows the link.
    handler_.onConnect(*link);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_.push_back(link);
        ++accepted_;
    }
    notifyState();
}

void TcpServer::serviceConnection(const std::shared_ptr<Connection>& link, short revents) {
    uint8_t buffer[4096];
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
    ssize_t n = ::recv(link->fd(), buffer, link->readAllowance(sizeof buffer), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        drop(link);
        return;
    }
    bool limitReached = link->countDelivered(static_cast<size_t>(n));
    handler_.onReceive(*link, buffer, static_cast<size_t>(n));
    if (limitReached) drop(link);
}

void TcpServer::drop(const std::shared_ptr<Connection>& link) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::find(open_.begin(), open_.end(), link) == open_.end()) return;
    }
    link->release();
    handler_.onDisconnect(*link);
    {
        // Only this thread erases, so the link is still listed here.
        std::lock_guard<std::mutex> lock(mutex_);
        open_.erase(std::find(open_.begin(), open_.end(), link));
        dropped_.push_back(link);
    }
    notifyState();
}

void EchoHandler::onReceive(Link& link, const uint8_t* data, size_t length) { link.send(data, length); }

void ScriptedHandler::expect(std::vector<uint8_t> request, std::vector<uint8_t> reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps_.push_back({std::move(request), std::move(reply)});
}

std::vector<uint8_t> ScriptedHandler::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t ScriptedHandler::connects() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connects_;
}

size_t ScriptedHandler::disconnects() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return disconnects_;
}

bool ScriptedHandler::waitReceived(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

bool ScriptedHandler::waitDisconnects(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return disconnects_ >= count; });
}

void ScriptedHandler::onConnect(Link&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++connects_;
    changed_.notify_all();
}

void ScriptedHandler::onReceive(Link& link, const uint8_t* data, size_t length) {
    std::vector<std::vector<uint8_t>> replies;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), data, data + length);
        pending_.insert(pending_.end(), data, data + length);
        while (nextStep_ < steps_.size()) {
            const auto& request = steps_[nextStep_].request;
            auto at = std::search(pending_.begin(), pending_.end(), request.begin(), request.end());
            if (at == pending_.end() && !request.empty()) break;
            pending_.erase(pending_.begin(), at + static_cast<ptrdiff_t>(request.size()));
            replies.push_back(steps_[nextStep_].reply);
            ++nextStep_;
        }
        changed_.notify_all();
    }
    for (auto& reply : replies)
        if (!reply.empty()) link.send(reply.data(), reply.size());
}

void ScriptedHandler::onDisconnect(Link&) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++disconnects_;
    pending_.clear();
    changed_.notify_all();
}

}  // namespace vxsim
