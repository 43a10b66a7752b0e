#include "sim/DiscoveryDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>

#include "DiscoveryCodec.h"
#include "platform/Ipv4.h"
#include "platform/NetInterfaces.h"
#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace vxsim {

namespace {

using namespace discovery;
using vxplatform::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr uint16_t BroadcastPort = 65111;
constexpr uint16_t MulticastPort = 65110;
constexpr const char* MulticastGroup = "239.1.1.21";
constexpr uint32_t AnyDeviceType = 0xFFFFFFFF;

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    return sa;
}

UniqueFd udpSocket() {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) fail("socket");
    return fd;
}

void setInt(const UniqueFd& fd, int level, int name, int value) {
    if (::setsockopt(fd.get(), level, name, &value, sizeof value) != 0) fail("setsockopt");
}

void bindTo(const UniqueFd& fd, uint32_t address, uint16_t port) {
    const sockaddr_in sa = socketAddress(address, port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) fail("bind");
}

uint32_t parseAddress(const std::string& text) {
    const std::optional<uint32_t> address = vxplatform::parseIpv4(text);
    if (!address) throw std::system_error(EINVAL, std::generic_category(), text);
    return *address;
}

std::vector<uint8_t> configPayload(const DiscoveryNetConfig& c) {
    std::vector<uint8_t> out{static_cast<uint8_t>(c.dhcp ? 1 : 0)};
    for (const auto* part : {&c.ip, &c.gateway, &c.subnetMask}) out.insert(out.end(), part->begin(), part->end());
    return out;
}

std::vector<uint8_t> resultPayload(uint16_t code) {
    return {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
}

}  // namespace

struct DiscoveryDevice::State {
    struct Outgoing {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        sockaddr_in destination;
    };

    uint32_t address = 0;
    uint32_t broadcast = 0;
    UniqueFd broadcastListener;
    UniqueFd multicastListener;
    UniqueFd sender;
    vxplatform::Waker wake;

    mutable std::mutex mutex;
    mutable std::condition_variable requestArrived;
    DiscoveryIdentity identity;
    DiscoveryNetConfig netConfig;
    bool silent = false;
    bool malformedAnswers = false;
    DiscoveryRoute replyRoute = DiscoveryRoute::Unicast;
    std::chrono::milliseconds replyDelay{0};
    std::vector<DiscoveryRequest> requests;
    sockaddr_in lastRequester{};
    std::deque<Outgoing> outgoing;  // in order of due time
    // Last: stopped and joined before the sockets go.
    vxplatform::OwnedThread thread;

    // Destination of a datagram on `route`; address 0 when there is none.
    sockaddr_in destinationFor(DiscoveryRoute route, const sockaddr_in& requester) const {
        switch (route) {
        case DiscoveryRoute::Broadcast:
            return socketAddress(broadcast, BroadcastPort);
        case DiscoveryRoute::LimitedBroadcast:
            // The sender is bound to the interface address, which picks the
            // interface this leaves by.
            return socketAddress(INADDR_BROADCAST, BroadcastPort);
        case DiscoveryRoute::Multicast:
            return socketAddress(parseAddress(MulticastGroup), MulticastPort);
        case DiscoveryRoute::Unicast:
            break;
        }
        return requester;
    }

    void sendNow(const std::vector<uint8_t>& bytes, const sockaddr_in& destination) {
        if (destination.sin_addr.s_addr == 0) return;
        // A lost datagram is what a network does; the host must live with it.
        [[maybe_unused]] ssize_t n = ::sendto(sender.get(), bytes.data(), bytes.size(), 0,
                                              reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    }

    Datagram identityDatagram(uint8_t opCode) const {
        Datagram d;
        d.opCode = opCode;
        d.deviceType = identity.deviceType;
        d.serialNumber = identity.serialNumber;
        d.payload = discoverPayload(identity.protocolId, identity.available, identity.port, identity.info);
        return d;
    }

    // Under the mutex: the answer to one request, if it gets one.
    bool answer(const Datagram& request, Datagram& reply) {
        if (silent) return false;
        if (!request.serialNumber.empty() && request.serialNumber != identity.serialNumber) return false;
        if (request.deviceType != AnyDeviceType && request.deviceType != identity.deviceType) return false;

        reply.deviceType = identity.deviceType;
        reply.serialNumber = identity.serialNumber;
        reply.token = request.token;
        uint16_t result = ResultSuccess;
        switch (request.opCode) {
        case OpDiscoverRequest:
            reply = identityDatagram(OpDiscoverReply);
            reply.token = request.token;
            return true;
        case OpGetConfiguration:
            reply.opCode = OpConfiguration;
            reply.payload = malformedAnswers ? std::vector<uint8_t>{} : configPayload(netConfig);
            return true;
        case OpSetConfiguration: {
            const auto& p = request.payload;
            if (p.size() >= 13) {
                netConfig.dhcp = p[0] != 0;
                std::copy(p.begin() + 1, p.begin() + 5, netConfig.ip.begin());
                std::copy(p.begin() + 5, p.begin() + 9, netConfig.gateway.begin());
                std::copy(p.begin() + 9, p.begin() + 13, netConfig.subnetMask.begin());
            } else {
                result = ResultInvalidParameter;
            }
            break;
        }
        case OpResetConfiguration:
            netConfig = DiscoveryNetConfig{};
            break;
        case OpSetDeviceInfo: {
            const auto& p = request.payload;
            if (p.size() >= 2 && p[0] <= 63 && p.size() >= p[0] + 2u)
                identity.info.assign(reinterpret_cast<const char*>(&p[1]), p[0]);
            else
                result = ResultInvalidParameter;
            break;
        }
        default:
            return false;  // answers of other devices, our own echoes
        }
        reply.opCode = OpResult;
        reply.payload = malformedAnswers ? std::vector<uint8_t>{} : resultPayload(result);
        return true;
    }

    void receiveOn(int fd, bool viaMulticast) {
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                     &fromLength);
        Datagram request;
        if (n <= 0 || !decode(buffer, static_cast<size_t>(n), request)) return;
        // Our own broadcasts and those of devices beside us come back too.
        if (request.opCode >= OpResult) return;

        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back({request.opCode, request.deviceType, request.serialNumber, request.token, viaMulticast,
                            vxplatform::formatIpv4(from.sin_addr.s_addr), ntohs(from.sin_port)});
        requestArrived.notify_all();
        lastRequester = from;
        Datagram reply;
        if (!answer(request, reply)) return;
        const auto due = Clock::now() + replyDelay;
        Outgoing item{due, encode(reply), destinationFor(replyRoute, from)};
        auto at = std::upper_bound(outgoing.begin(), outgoing.end(), due,
                                   [](Clock::time_point t, const Outgoing& o) { return t < o.due; });
        outgoing.insert(at, std::move(item));
    }

    void run() {
        for (;;) {
            int timeout = -1;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (thread.stopRequested()) return;
                const auto now = Clock::now();
                while (!outgoing.empty() && outgoing.front().due <= now) {
                    sendNow(outgoing.front().bytes, outgoing.front().destination);
                    outgoing.pop_front();
                }
                if (!outgoing.empty()) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(outgoing.front().due - now);
                    timeout = static_cast<int>(left.count());
                }
            }
            pollfd fds[3] = {{wake.fd(), POLLIN, 0},
                             {broadcastListener.get(), POLLIN, 0},
                             {multicastListener.get(), POLLIN, 0}};
            if (::poll(fds, 3, timeout) < 0 && errno != EINTR) return;
            if (fds[0].revents) wake.clear();
            if (fds[1].revents) receiveOn(fds[1].fd, false);
            if (fds[2].revents) receiveOn(fds[2].fd, true);
        }
    }
};

DiscoveryDevice::DiscoveryDevice(const std::string& interfaceAddress, DiscoveryIdentity identity)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.identity = std::move(identity);
    s.address = parseAddress(interfaceAddress);
    s.broadcast = vxplatform::broadcastAddressOf(s.address);
    if (s.broadcast == 0)
        throw std::system_error(EADDRNOTAVAIL, std::generic_category(), "no broadcast address for " + interfaceAddress);

    s.broadcastListener = udpSocket();
    setInt(s.broadcastListener, SOL_SOCKET, SO_REUSEADDR, 1);
    bindTo(s.broadcastListener, s.broadcast, BroadcastPort);

    const uint32_t group = parseAddress(MulticastGroup);
    s.multicastListener = udpSocket();
    setInt(s.multicastListener, SOL_SOCKET, SO_REUSEADDR, 1);
    bindTo(s.multicastListener, group, MulticastPort);
    setInt(s.multicastListener, IPPROTO_IP, IP_MULTICAST_ALL, 0);
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = group;
    membership.imr_interface.s_addr = s.address;
    if (::setsockopt(s.multicastListener.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
        fail("IP_ADD_MEMBERSHIP");

    s.sender = udpSocket();
    setInt(s.sender, SOL_SOCKET, SO_BROADCAST, 1);
    setInt(s.sender, IPPROTO_IP, IP_MULTICAST_LOOP, 0);
    in_addr outgoing{};
    outgoing.s_addr = s.address;
    if (::setsockopt(s.sender.get(), IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof outgoing) != 0)
        fail("IP_MULTICAST_IF");
    bindTo(s.sender, s.address, 0);

    if (!s.thread.start([&s] { s.run(); }, [&s] { s.wake.wake(); }))
        throw std::system_error(EAGAIN, std::generic_category(), "device thread");
}

DiscoveryDevice::~DiscoveryDevice() { state_->thread.stop(); }

DiscoveryIdentity DiscoveryDevice::identity() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->identity;
}

DiscoveryNetConfig DiscoveryDevice::netConfig() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->netConfig;
}

void DiscoveryDevice::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->silent = silent;
}

void DiscoveryDevice::setPort(uint16_t port) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->identity.port = port;
}

void DiscoveryDevice::setAvailable(bool available) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->identity.available = available;
}

void DiscoveryDevice::setInfo(const std::string& info) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->identity.info = info;
}

void DiscoveryDevice::setReplyRoute(DiscoveryRoute route) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->replyRoute = route;
}

void DiscoveryDevice::setReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->replyDelay = delay;
}

void DiscoveryDevice::setMalformedAnswers(bool malformed) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->malformedAnswers = malformed;
}

void DiscoveryDevice::sendInform(DiscoveryRoute route) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->sendNow(encode(state_->identityDatagram(OpDiscoverInform)),
                    state_->destinationFor(route, state_->lastRequester));
}

void DiscoveryDevice::sendRaw(const std::vector<uint8_t>& bytes, DiscoveryRoute route) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->sendNow(bytes, state_->destinationFor(route, state_->lastRequester));
}

std::vector<DiscoveryRequest> DiscoveryDevice::requests() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
}

bool DiscoveryDevice::waitForRequests(size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->requestArrived.wait_for(lock, deadline, [&] { return state_->requests.size() >= count; });
}

}  // namespace vxsim
