// The datagram connection on Linux sockets. Linux delivers a broadcast or
// multicast datagram only to sockets bound to the address it was sent to (or
// to the wildcard), never to a socket bound to the interface's own address,
// so each entry has a sending socket bound to the interface address, which
// also receives unicast answers, and a listening socket where the entry's
// broadcasts or multicasts arrive. A device may answer to the subnet
// broadcast or to 255.255.255.255 (when its own address does not fit the
// subnet): the broadcast listener is bound to the wildcard and keeps, by the
// arrival interface and destination the kernel reports, what came to it on
// its interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>

#include "discovery/Connection.h"
#include "discovery/DiscoveryLog.h"
#include "discovery/Exceptions.h"
#include "platform/NetInterfaces.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace veltraxnd {

const char* socketKindName(SocketKind kind) {
    switch (kind) {
    case SocketKind::Broadcast:
        return "Broadcast";
    case SocketKind::Multicast:
        return "Multicast";
    }
    return "Unknown";
}

namespace {

using vxplatform::UniqueFd;

void logError(const std::string& text, int code) {
    if (DiscoveryLog::enabled(DiscoveryLog::Errors))
        DiscoveryLog::write(DiscoveryLog::Errors, withSystemMessage(text, code));
}

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

UniqueFd makeSocket() {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) throw NetworkException("Could not create socket", errno);
    return fd;
}

void setOption(const UniqueFd& fd, int level, int name, int value, const char* failure) {
    if (::setsockopt(fd.get(), level, name, &value, sizeof value) != 0)
        throw NetworkException(failure, errno);
}

// A UDP socket that shares its port with the others of this protocol.
UniqueFd reusableSocket() {
    UniqueFd fd = makeSocket();
    setOption(fd, SOL_SOCKET, SO_REUSEADDR, 1, "Could not set SO_REUSEADDR");
    return fd;
}

void bindTo(const UniqueFd& fd, uint32_t address, uint16_t port, const char* failure) {
    const sockaddr_in sa = socketAddress(address, port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        throw NetworkException(failure, errno);
}

// The interface that carries `address`: its directed-broadcast address is 0
// when it has none or cannot be found. An interface without a link (a cable
// pulled) still has one: its broadcasts work once the link is back.
vxplatform::NetInterface findInterface(uint32_t address) {
    try {
        return vxplatform::netInterfaceOf(address);
    } catch (const std::system_error& e) {
        logError("Could not retrieve list of interfaces", e.code().value());
    }
    return {};
}

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFF;

struct SocketEntry {
    IPv4Address interfaceAddress{};
    SocketKind kind = SocketKind::Broadcast;
    sockaddr_in destination{};  // address 0: unknown, the entry sends nothing
    UniqueFd socket;            // bound to the interface address
    UniqueFd listener;          // where this entry's broadcasts or multicasts arrive
    // A broadcast listener on the wildcard keeps only datagrams that arrived
    // on this interface for these destinations (network order).
    unsigned interfaceIndex = 0;
    uint32_t address = 0;
    uint32_t broadcast = 0;
    // Of several entries on one interface the first takes 255.255.255.255,
    // so that each such datagram is received once.
    bool takesLimitedBroadcast = false;

    bool filtersArrivals() const { return kind == SocketKind::Broadcast && listener.valid(); }
    bool keeps(unsigned arrivedOn, uint32_t destination) const {
        if (arrivedOn != interfaceIndex) return false;
        if (destination == kLimitedBroadcast) return takesLimitedBroadcast;
        return destination == broadcast || destination == address;
    }

    bool hasDestination() const { return destination.sin_addr.s_addr != 0; }
    std::string name() const {
        return addressText(interfaceAddress) + " (" + socketKindName(kind) + ")";
    }
    void close() {
        for (UniqueFd* fd : {&socket, &listener}) {
            if (fd->valid()) ::shutdown(fd->get(), SHUT_RDWR);
            fd->reset();
        }
    }
};

SocketEntry makeBroadcastEntry(const IPv4Address& interfaceAddress) {
    const uint32_t address = networkOrder(interfaceAddress);
    const vxplatform::NetInterface iface = findInterface(address);

    SocketEntry entry;
    entry.interfaceAddress = interfaceAddress;
    entry.kind = SocketKind::Broadcast;
    entry.address = address;
    entry.broadcast = iface.broadcast;
    entry.interfaceIndex = iface.index;
    entry.socket = reusableSocket();
    setOption(entry.socket, SOL_SOCKET, SO_BROADCAST, 1, "Could not set SO_BROADCAST");
    bindTo(entry.socket, address, BroadcastPort, "Could not bind to iface address");

    // Without a broadcast address (or an interface to tell arrivals by)
    // there is nothing to listen on either.
    if (iface.broadcast != 0 && iface.index != 0) {
        entry.listener = reusableSocket();
        setOption(entry.listener, IPPROTO_IP, IP_PKTINFO, 1, "Could not bind to iface address");
        bindTo(entry.listener, INADDR_ANY, BroadcastPort, "Could not bind to iface address");
    }
    if (iface.broadcast != 0) entry.destination = socketAddress(iface.broadcast, BroadcastPort);
    return entry;
}

SocketEntry makeMulticastEntry(const IPv4Address& interfaceAddress) {
    const uint32_t address = networkOrder(interfaceAddress);
    const uint32_t group = networkOrder(MulticastGroup);

    SocketEntry entry;
    entry.interfaceAddress = interfaceAddress;
    entry.kind = SocketKind::Multicast;
    entry.socket = reusableSocket();
    setOption(entry.socket, IPPROTO_IP, IP_MULTICAST_LOOP, 1, "Could not set IP_MULTICAST_LOOP");
    bindTo(entry.socket, address, MulticastPort, "Could not bind to multicast group");
    in_addr outgoing{};
    outgoing.s_addr = address;
    if (::setsockopt(entry.socket.get(), IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof outgoing) != 0)
        throw NetworkException("Could not set outgoing interface", errno);

    entry.listener = reusableSocket();
    bindTo(entry.listener, group, MulticastPort, "Could not bind to multicast group");
    // Only the membership below, on this interface, delivers to this socket.
    setOption(entry.listener, IPPROTO_IP, IP_MULTICAST_ALL, 0, "Could not join multicast group");
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = group;
    membership.imr_interface.s_addr = address;
    if (::setsockopt(entry.listener.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership,
                     sizeof membership) != 0)
        throw NetworkException("Could not join multicast group", errno);

    entry.destination = socketAddress(group, MulticastPort);
    return entry;
}

class ConnectionLinux final : public Connection {
public:
    explicit ConnectionLinux(const std::vector<IPv4Address>& addresses) {
        std::vector<unsigned> takenInterfaces;
        for (const auto& address : addresses) {
            entries_.push_back(makeBroadcastEntry(address));
            SocketEntry& entry = entries_.back();
            if (entry.filtersArrivals() &&
                std::find(takenInterfaces.begin(), takenInterfaces.end(), entry.interfaceIndex) ==
                    takenInterfaces.end()) {
                entry.takesLimitedBroadcast = true;
                takenInterfaces.push_back(entry.interfaceIndex);
            }
            entries_.push_back(makeMulticastEntry(address));
        }
        try {
            finish_ = std::make_unique<vxplatform::Waker>();
        } catch (const std::system_error& e) {
            throw NetworkException("Could not create event", e.code().value());
        }
        running_ = true;
    }

    ~ConnectionLinux() override { Finish(true); }

    void Finish(bool wait) override {
        std::unique_lock<std::mutex> lock(mutex_);
        running_ = false;
        if (finish_) finish_->wake();
        if (!wait) return;
        idle_.wait(lock, [this] { return busy_ == 0; });
        for (auto& entry : entries_) entry.close();
        entries_.clear();
    }

    std::string GetNetworkName(unsigned networkId) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return {};
        if (networkId > entries_.size()) throw InvalidArgumentException("Network id out of range");
        if (networkId > 0) return entries_[networkId - 1].name();
        std::string names;
        for (const auto& entry : entries_) {
            if (!names.empty()) names += ", ";
            names += entry.name();
        }
        return names;
    }

    bool Receive(uint32_t timeoutMs, unsigned& networkId, IPv4Address& sender,
                 std::vector<uint8_t>& data) override {
        if (!enter()) return false;
        Busy busy(*this);

        // Slot 0 is the finish event, then each entry's sockets.
        std::vector<pollfd> fds{{finish_->fd(), POLLIN, 0}};
        std::vector<unsigned> ids{0};
        std::vector<const SocketEntry*> filters{nullptr};
        for (size_t i = 0; i < entries_.size(); ++i) {
            const SocketEntry& entry = entries_[i];
            for (const UniqueFd* fd : {&entry.socket, &entry.listener}) {
                if (!fd->valid()) continue;
                fds.push_back({fd->get(), POLLIN, 0});
                ids.push_back(static_cast<unsigned>(i + 1));
                filters.push_back(fd == &entry.listener && entry.filtersArrivals() ? &entry : nullptr);
            }
        }

        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            // poll takes an int: a time-out beyond its range (a caller's
            // "forever") is waited for in slices.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const int slice = static_cast<int>(std::clamp<int64_t>(left, 0, std::numeric_limits<int>::max()));
            const int n = ::poll(fds.data(), fds.size(), slice);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw NetworkException("Failed to wait for events", errno);
            }
            if (n == 0) {
                if (Clock::now() >= deadline) return false;
                continue;
            }
            if (fds[0].revents) return false;

            for (size_t slot = 1; slot < fds.size(); ++slot) {
                const short revents = fds[slot].revents;
                if (!revents) continue;
                if (readReady(fds[slot].fd, revents, filters[slot], sender, data)) {
                    networkId = ids[slot];
                    return true;
                }
            }
        }
    }

    void Send(unsigned networkId, const std::vector<uint8_t>& data) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!running_) return;
            if (networkId > entries_.size()) throw InvalidArgumentException("Invalid network id");
            ++busy_;
        }
        Busy busy(*this);

        if (networkId != 0) {
            const int error = sendOn(entries_[networkId - 1], data);
            if (error != 0) throw NetworkException("Could not send datagram", error);
            return;
        }
        // Every entry gets its copy, whatever happened to the one before.
        int firstError = 0;
        for (const auto& entry : entries_) {
            const int error = sendOn(entry, data);
            if (firstError == 0) firstError = error;
        }
        if (firstError != 0) throw NetworkException("Could not send datagram", firstError);
    }

private:
    // Decrements the busy count when a Receive or Send ends, however it ends.
    struct Busy {
        explicit Busy(ConnectionLinux& c) : connection(c) {}
        ~Busy() {
            std::lock_guard<std::mutex> lock(connection.mutex_);
            if (--connection.busy_ == 0) connection.idle_.notify_all();
        }
        ConnectionLinux& connection;
    };

    bool enter() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return false;
        ++busy_;
        return true;
    }

    // Reads the datagram waiting on `fd`; false when there was none after
    // all, it was too large and was dropped, or `filter` does not keep it.
    bool readReady(int fd, short revents, const SocketEntry* filter, IPv4Address& sender,
                   std::vector<uint8_t>& data) {
        if (revents & POLLNVAL) throw NetworkException("Socket was closed externally");
        if (revents & POLLERR) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                throw NetworkException("Could not determine event type", errno);
            if (error != 0) throw NetworkException("Could not read from socket", error);
        }
        if (!(revents & (POLLIN | POLLHUP))) return false;

        uint8_t buffer[ReceiveBufferSize];
        sockaddr_storage from{};
        iovec part{buffer, sizeof buffer};
        alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        // MSG_TRUNC gives the datagram's real size, so a cut one is noticed.
        const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return false;
            throw NetworkException("Could not receive datagram", errno);
        }
        if (filter && !keptBy(*filter, message)) return false;
        if (static_cast<size_t>(n) > sizeof buffer) {
            // One stray datagram must not end discovery on this interface.
            logError("Could not receive datagram", EMSGSIZE);
            return false;
        }
        if (from.ss_family == AF_INET) {
            sender = fromNetworkOrder(reinterpret_cast<const sockaddr_in&>(from).sin_addr.s_addr);
            data.assign(buffer, buffer + n);
        } else {
            sender = IPv4Address{};
            data.clear();
        }
        return true;
    }

    // Whether the arrival interface and destination of a datagram on a
    // wildcard listener belong to its entry; without them, it does not.
    static bool keptBy(const SocketEntry& entry, msghdr& message) {
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            return entry.keeps(static_cast<unsigned>(info.ipi_ifindex), info.ipi_addr.s_addr);
        }
        return false;
    }

    // 0 or the errno of the failed send. An entry without a destination
    // sends nothing: that is logged, not a failure.
    static int sendOn(const SocketEntry& entry, const std::vector<uint8_t>& data) {
        if (!entry.hasDestination()) {
            logError("Could not send datagram over " + entry.name(), EDESTADDRREQ);
            return 0;
        }
        for (;;) {
            const ssize_t n = ::sendto(entry.socket.get(), data.data(), data.size(), MSG_NOSIGNAL,
                                       reinterpret_cast<const sockaddr*>(&entry.destination),
                                       sizeof entry.destination);
            if (n >= 0) return 0;
            if (errno != EINTR) return errno;
        }
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    bool running_ = false;
    unsigned busy_ = 0;
    std::unique_ptr<vxplatform::Waker> finish_;
    std::vector<SocketEntry> entries_;
};

}  // namespace

std::unique_ptr<Connection> createConnection(const std::vector<IPv4Address>& interfaceAddresses) {
    return std::make_unique<ConnectionLinux>(interfaceAddresses);
}

std::vector<NetworkInterfaceInfo> listNetworkInterfaces() {
    std::vector<vxplatform::NetInterface> interfaces;
    try {
        interfaces = vxplatform::listNetInterfaces(false);
    } catch (const std::system_error& e) {
        throw NetworkException("Could not get interface list", e.code().value());
    }
    std::vector<NetworkInterfaceInfo> list;
    for (const auto& iface : interfaces)
        list.push_back({iface.name, fromNetworkOrder(iface.address), fromNetworkOrder(iface.netmask),
                        iface.name});
    return list;
}

}  // namespace veltraxnd
