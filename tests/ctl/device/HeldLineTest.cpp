// A TCP line that holds every byte for longer than two reply times and then
// delivers what it held, in order, while many reads and a write are in
// flight: every reply reaches the request it was sent for, or none.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "device/Device.h"
#include "platform/UniqueFd.h"
#include "sim/Gen2Simulator.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using vxctl::Device;
using vxplatform::UniqueFd;
using Clock = std::chrono::steady_clock;

// A relay on loopback between the library and the controller. While held,
// it keeps reading both sides, as the kernels of a cut TCP link keep
// accepting and retransmitting, and passes nothing on; released, it
// delivers everything in order.
class HoldingRelay {
public:
    explicit HoldingRelay(uint16_t targetPort) : targetPort_(targetPort) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address = loopback(0);
        socklen_t size = sizeof(address);
        if (!listener_.valid() || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_.get(), 1) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("relay: no listening socket");
        port_ = ntohs(address.sin_port);
        wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        thread_ = std::thread([this] { run(); });
    }

    ~HoldingRelay() {
        stop_ = true;
        poke();
        thread_.join();
    }

    uint16_t port() const { return port_; }

    void hold(bool on) {
        held_ = on;
        poke();
    }

private:
    struct Side {
        UniqueFd fd;
        std::vector<uint8_t> toSend;  // what the other side sent, held
    };

    static sockaddr_in loopback(uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void poke() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof(one));
    }

    void accept() {
        UniqueFd host(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        UniqueFd controller(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_in address = loopback(targetPort_);
        if (!host.valid() || !controller.valid() ||
            ::connect(controller.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
            return;
        sides_[0] = {std::move(host), {}};
        sides_[1] = {std::move(controller), {}};
    }

    // False when the side closed.
    bool pass(Side& from, Side& to) {
        uint8_t buffer[4096];
        const ssize_t got = ::recv(from.fd.get(), buffer, sizeof(buffer), 0);
        if (got <= 0) return false;
        to.toSend.insert(to.toSend.end(), buffer, buffer + got);
        return true;
    }

    void deliver(Side& side) {
        size_t sent = 0;
        while (sent < side.toSend.size()) {
            const ssize_t n = ::send(side.fd.get(), side.toSend.data() + sent, side.toSend.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        side.toSend.clear();
    }

    void run() {
        while (!stop_) {
            pollfd fds[4] = {{listener_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
            if (sides_[0].fd.valid()) fds[2].fd = sides_[0].fd.get();
            if (sides_[1].fd.valid()) fds[3].fd = sides_[1].fd.get();
            if (::poll(fds, 4, -1) < 0) continue;
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t read = ::read(wake_.get(), &count, sizeof(count));
            }
            if (fds[0].revents & POLLIN) accept();
            bool open = true;
            if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) open = pass(sides_[0], sides_[1]) && open;
            if (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) open = pass(sides_[1], sides_[0]) && open;
            if (!held_ && sides_[0].fd.valid()) {
                deliver(sides_[0]);
                deliver(sides_[1]);
            }
            if (!open) {
                sides_[0] = {};
                sides_[1] = {};
            }
        }
    }

    const uint16_t targetPort_;
    uint16_t port_ = 0;
    UniqueFd listener_;
    UniqueFd wake_;
    Side sides_[2];
    std::atomic<bool> held_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

constexpr VX_CTL_PropertyKey kReadKeys[] = {0x03010100, 0x03010101};
constexpr int32_t kReadValues[] = {1111, 2222};
constexpr VX_CTL_PropertyKey kWriteKey = 0x03010102;

struct Tally {
    int readsOk = 0;
    int readsOkAfterRelease = 0;
    int wrongValues = 0;
    int writesOk = 0;
    int writesCompletedByARead = 0;
};

// Reads in flight, alternating the two keys, collected in turn.
Tally readInFlight(Device& device, const std::atomic<bool>& stop, const std::atomic<bool>& released) {
    constexpr size_t kInFlight = 16;
    Tally tally;
    while (!stop) {
        const bool afterRelease = released;
        std::vector<std::pair<VX_CTL_RequestID, size_t>> requests;
        for (size_t i = 0; i < kInFlight; ++i) {
            VX_CTL_RequestID id = 0;
            if (device.requestReadProperty(0, kReadKeys[i % 2], &id, 0) == VX_CTL_OK) requests.push_back({id, i % 2});
        }
        for (const auto& [id, key] : requests) {
            std::vector<int32_t> values;
            if (device.readProperty_i32(id, &values) != VX_CTL_OK) continue;
            ++tally.readsOk;
            if (afterRelease) ++tally.readsOkAfterRelease;
            if (values != std::vector<int32_t>{kReadValues[key]}) ++tally.wrongValues;
        }
    }
    return tally;
}

Tally writeInTurn(Device& device, const std::atomic<bool>& stop) {
    Tally tally;
    for (int32_t value = 0; !stop; ++value) {
        const VX_CTL_Result result = device.setProperty_i32(0, kWriteKey, &value, false, 1);
        if (result == VX_CTL_OK) ++tally.writesOk;
        // A write answered with values.
        if (result == 0x0010) ++tally.writesCompletedByARead;
    }
    return tally;
}

// The line is held for 4.5 s, over four reply times of 1 s, so that every
// request in flight times out and the IDs taken then must stay taken; the
// run lasts about 7 s in all.
TEST(HeldLine, DeliversNoReplyToAnotherRequest) {
    vxsim::Gen2Simulator sim;
    sim.serveTcp();
    for (size_t i = 0; i < 2; ++i) sim.model().define({0, kReadKeys[i]}, kReadValues[i]);
    sim.model().define({0, kWriteKey}, int32_t{0});
    HoldingRelay relay(sim.tcp().port());

    vxctl::DeviceTiming timing;
    timing.request = 1000ms;
    Device device(timing);
    const std::string locator = "network:127.0.0.1:" + std::to_string(relay.port());
    ASSERT_EQ(device.open(locator.c_str(), nullptr), VX_CTL_OK);

    std::atomic<bool> stop{false};
    std::atomic<bool> released{false};
    std::vector<std::future<Tally>> callers;
    for (int i = 0; i < 4; ++i)
        callers.push_back(std::async(std::launch::async, [&] { return readInFlight(device, stop, released); }));
    callers.push_back(std::async(std::launch::async, [&] { return writeInTurn(device, stop); }));

    std::this_thread::sleep_for(300ms);  // the load running, not a synchronisation
    relay.hold(true);
    std::this_thread::sleep_for(4500ms);  // the cut
    relay.hold(false);
    // Replies to reads sent after the release prove the line answers again.
    std::this_thread::sleep_for(1000ms);
    released = true;
    std::this_thread::sleep_for(1000ms);
    stop = true;

    Tally total;
    for (auto& caller : callers) {
        ASSERT_EQ(caller.wait_for(10s), std::future_status::ready);
        const Tally tally = caller.get();
        total.readsOk += tally.readsOk;
        total.readsOkAfterRelease += tally.readsOkAfterRelease;
        total.wrongValues += tally.wrongValues;
        total.writesOk += tally.writesOk;
        total.writesCompletedByARead += tally.writesCompletedByARead;
    }
    EXPECT_EQ(total.wrongValues, 0) << "of " << total.readsOk << " reads returning 0";
    EXPECT_EQ(total.writesCompletedByARead, 0);
    EXPECT_GT(total.readsOkAfterRelease, 0);
    EXPECT_GT(total.writesOk, 0);
    // Every ID held for a late reply was freed by the replies that came.
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.slotsInUse() == 0; }, 3000ms)) << device.slotsInUse();
}

}  // namespace
