#include "sim/EthernetCarrier.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>

#include "EthernetCodec.h"
#include "platform/OwnedThread.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"

namespace vxsim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace ethernet;

constexpr std::chrono::milliseconds FloodInterval{10};

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

struct EthernetCarrier::State {
    struct Member {
        EthernetController model;
        EthernetFaults faults;
    };
    struct Flood {
        Clock::time_point until;
        Clock::time_point next;
        MacAddress to{};
        MacAddress from{};
        bool otherEtherType = true;
    };

    vxplatform::UniqueFd socket;
    int interfaceIndex = 0;
    vxplatform::Waker waker;
    Observer observer;

    mutable std::mutex mutex;
    mutable std::condition_variable frameArrived;
    std::vector<Member> members;
    std::vector<std::vector<uint8_t>> frames;
    std::multimap<Clock::time_point, Frame> outgoing;  // by due time
    std::optional<Flood> flood;

    vxplatform::OwnedThread thread;

    void send(const Frame& frame) {
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_ifindex = interfaceIndex;
        to.sll_halen = ETH_ALEN;
        std::copy(frame.begin(), frame.begin() + ETH_ALEN, to.sll_addr);
        // A lost frame is what a network does; the host must live with it.
        [[maybe_unused]] ssize_t n =
            ::sendto(socket.get(), frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    // Under the mutex: what the controllers do with one request.
    void serve(const Request& request, Clock::time_point now) {
        static const EthernetFaults NoFaults;
        for (Member& member : members) {
            if (request.destination != BroadcastMac && request.destination != member.model.mac()) continue;
            const bool faulty = member.faults.requests.empty() || std::count(member.faults.requests.begin(), member.faults.requests.end(), request.opcode) != 0;
            const EthernetFaults& f = faulty ? member.faults : NoFaults;
            const std::optional<EthernetConfig> answer = member.model.serve(request.opcode, request.payload);
            if (f.flood.count() > 0) flood = Flood{now + f.flood, now, request.source, member.model.mac()};
            if (!answer || f.silent) continue;
            const Frame reply = encodeReply(request.source, f.replyFrom.value_or(member.model.mac()),
                                            f.status.value_or(StatusSuccess), *answer);
            for (unsigned i = 0; i < f.copies; ++i) outgoing.emplace(now + f.delay, reply);
        }
    }

    void receiveAll() {
        uint8_t buffer[2048];
        for (;;) {
            sockaddr_ll from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(socket.get(), buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0) return;
            if (from.sll_pkttype == PACKET_OUTGOING) continue;
            std::vector<uint8_t> frame(buffer, buffer + n);
            {
                std::lock_guard<std::mutex> lock(mutex);
                frames.push_back(frame);
                if (const auto request = decodeRequest(buffer, static_cast<size_t>(n))) serve(*request, Clock::now());
                frameArrived.notify_all();
            }
            if (observer) observer(frame);
        }
    }

    // Sends what is due; gives the time of the next thing to send.
    std::optional<Clock::time_point> sendDue() {
        std::vector<Frame> due;
        std::optional<Clock::time_point> next;
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto now = Clock::now();
            while (!outgoing.empty() && outgoing.begin()->first <= now) {
                due.push_back(outgoing.begin()->second);
                outgoing.erase(outgoing.begin());
            }
            if (flood && flood->until <= now) flood.reset();
            if (flood && flood->next <= now) {
                due.push_back(encodeForeign(flood->to, flood->from, flood->otherEtherType));
                flood->otherEtherType = !flood->otherEtherType;
                flood->next = now + FloodInterval;
            }
            if (!outgoing.empty()) next = outgoing.begin()->first;
            if (flood) next = next ? std::min(*next, flood->next) : flood->next;
        }
        for (const Frame& frame : due) send(frame);
        return next;
    }

    void run() {
        std::optional<Clock::time_point> next;
        while (!thread.stopRequested()) {
            std::chrono::milliseconds timeout(-1);
            if (next) {
                // Rounded up, so that a wake-up never comes before its time.
                timeout = std::max(std::chrono::milliseconds(0),
                                   std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()));
            }
            if (vxplatform::waitFd(socket.get(), POLLIN, &waker, timeout) == vxplatform::WaitResult::Ready)
                receiveAll();
            next = sendDue();
        }
    }
};

EthernetCarrier::EthernetCarrier(const std::string& interfaceName, Observer observer)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.observer = std::move(observer);
    s.interfaceIndex = static_cast<int>(::if_nametoindex(interfaceName.c_str()));
    if (s.interfaceIndex == 0) fail(interfaceName.c_str());
    s.socket = vxplatform::UniqueFd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ConfigEtherType)));
    if (!s.socket.valid()) fail("packet socket");
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ConfigEtherType);
    at.sll_ifindex = s.interfaceIndex;
    if (::bind(s.socket.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) fail("bind");
    if (!s.thread.start([&s] { s.run(); }, [&s] { s.waker.wake(); }))
        throw std::system_error(EAGAIN, std::generic_category(), "carrier thread");
}

EthernetCarrier::~EthernetCarrier() { state_->thread.stop(); }

size_t EthernetCarrier::addController(const EthernetController& controller, const EthernetFaults& faults) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->members.push_back({controller, faults});
    return state_->members.size() - 1;
}

void EthernetCarrier::setFaults(size_t index, const EthernetFaults& faults) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->members.at(index).faults = faults;
}

EthernetController EthernetCarrier::controller(size_t index) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->members.at(index).model;
}

std::vector<std::vector<uint8_t>> EthernetCarrier::frames() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->frames;
}

bool EthernetCarrier::waitForFrames(size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->frameArrived.wait_for(lock, deadline, [&] { return state_->frames.size() >= count; });
}

}  // namespace vxsim
