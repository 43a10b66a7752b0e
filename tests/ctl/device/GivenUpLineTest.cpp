// A connection given up on a busy line, behind the simulator's line-fault
// proxy: nothing reaches the controller twice, nothing sent after the loss
// is lost unseen, the other calls keep their deadlines, and the line can be
// opened again at once.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VeltraxCTL.h"
#include "device/Device.h"
#include "sim/Gen2Simulator.h"
#include "sim/LineProxy.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vxctl::Device;
using vxsim::LineFault;

enum class Carrier { Tcp, Serial };

// A frame of 256 bytes, the largest there is: a write of 59 values that
// nobody waits for, told apart by its first value.
constexpr VX_CTL_PropertyKey kWriteKey = 0x03010200;
constexpr size_t kValues = 59;

// A controller behind a line-fault proxy: TCP, or a serial line whose far
// end keeps what it received over the host's closes and opens.
class FaultyLine {
public:
    explicit FaultyLine(Carrier carrier, const char* serialOptions = "baudrate 921600\ntx-timeout 200") {
        sim_.serveTcp();
        vxsim::LineProxy::Options options;
        options.upstream = sim_.tcpLocator();
        options.serial = carrier == Carrier::Serial;
        proxy_ = std::make_unique<vxsim::LineProxy>(options);
        // A serial line that takes nothing for 200 ms is given up; its rate
        // is above any the tests throttle it to.
        if (carrier == Carrier::Serial) options_ = serialOptions;
    }

    vxsim::Gen2Simulator& sim() { return sim_; }
    vxsim::LineProxy& proxy() { return *proxy_; }
    const std::string& locator() const { return proxy_->locator(); }
    const std::string& options() const { return options_; }

    // How often the controller ran each write, by its first value.
    std::map<int32_t, int> writesRun() const {
        std::map<int32_t, int> runs;
        for (const auto& request : const_cast<vxsim::Gen2Simulator&>(sim_).endpoint().requests()) {
            if (request.type != vxsim::gen2::command::kWritePropertyArray || !request.value) continue;
            const auto* values = std::get_if<std::vector<int32_t>>(&*request.value);
            if (values && !values->empty()) ++runs[values->front()];
        }
        return runs;
    }

    // True once `bytes` more have passed towards the controller.
    bool passed(uint64_t bytes) {
        const uint64_t from = proxy_->counters().toUpstream;
        return vxtest::waitUntil([&] { return proxy_->counters().toUpstream >= from + bytes; }, 10000ms);
    }

private:
    vxsim::Gen2Simulator sim_;
    std::unique_ptr<vxsim::LineProxy> proxy_;
    std::string options_;
};

VX_CTL_Result sendWrite(Device& device, int32_t first, VX_CTL_TransmitHandle handle = 0) {
    std::vector<int32_t> values(kValues, 0);
    values[0] = first;
    return device.requestWriteProperty_i32(0, kWriteKey, values.data(), true, kValues, nullptr, handle);
}

// Waits for an event of `type`, skipping others; false when none came.
bool awaitEvent(Device& device, VX_CTL_EventType type, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        VX_CTL_Event event{};
        const VX_CTL_Result result = device.waitForEvent(&event, static_cast<uint32_t>(std::max<int64_t>(left, 0)));
        if (result == VX_CTL_OK && event.type == type) return true;
        if (result == VX_CTL_TIMEOUT) return false;
    }
}

// A flush of 1024 frames whose serial line stops midway, with reconnection
// on: the flush fails, and the frames that went out before the stop are not
// sent again on the new connection. (Over TCP on loopback the kernel takes
// such a block whole at once, so its send cannot fail midway.)
TEST(BlockGivenUp, ReachesTheControllerOnce) {
    constexpr int32_t kFrames = 1024;
    FaultyLine line(Carrier::Serial);
    Device device;
    ASSERT_EQ(device.open(line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    device.setAutoReconnect(true);
    VX_CTL_TransmitHandle buffer = 0;
    ASSERT_EQ(device.createOutputBuffer(&buffer), VX_CTL_OK);
    for (int32_t i = 0; i < kFrames; ++i) ASSERT_EQ(sendWrite(device, i, buffer), VX_CTL_OK);

    line.proxy().setFault(LineFault::throttle(20000, 0));
    auto flushed = std::async(std::launch::async, [&] { return device.endOutputBuffer(buffer, true); });
    ASSERT_TRUE(line.passed(16 * 1024));
    line.proxy().setFault(LineFault::stall());
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return device.reconnecting() || flushed.wait_for(0ms) == std::future_status::ready; }, 5000ms));
    line.proxy().setFault(LineFault::pass());
    ASSERT_EQ(flushed.wait_for(15s), std::future_status::ready);
    EXPECT_EQ(flushed.get(), VX_CTL_COMMUNICATION_FAILED);

    // A write after the reconnection marks the end of what the controller
    // receives.
    ASSERT_EQ(sendWrite(device, kFrames), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return line.writesRun().count(kFrames) == 1; }, 15000ms));
    const auto runs = line.writesRun();
    EXPECT_GT(runs.size(), 1u);
    int twice = 0;
    for (const auto& [first, count] : runs)
        if (count > 1) ++twice;
    EXPECT_EQ(twice, 0) << "of " << runs.size() << " frames received";
    EXPECT_TRUE(awaitEvent(device, VX_CTL_EVENT_CONNECTION_REMADE, 0ms));
}

// Leaves the controller holding the head of a frame: 100 of its 256 bytes
// pass, and the serial line is cut for the rest of it. Then writes are
// sent one after another on the stopped line until one of them waits past
// the time-out; its first value, once its send has returned.
int32_t writeUntilCut(FaultyLine& line, Device& device, VX_CTL_Result* result) {
    line.proxy().setFault(LineFault::drop(100));
    const uint64_t lost = line.proxy().counters().lost;
    EXPECT_EQ(sendWrite(device, -1), VX_CTL_OK);
    EXPECT_TRUE(vxtest::waitUntil([&] { return line.proxy().counters().lost >= lost + 156; }, 5000ms));
    line.proxy().setFault(LineFault::stall());
    for (int32_t first = 0;; ++first) {
        const auto start = Clock::now();
        *result = sendWrite(device, first);
        if (*result != VX_CTL_OK || Clock::now() - start > 150ms) return first;
    }
}

// A serial line that stops past its time-out, with reconnection on: the
// frame it cut goes once more on the new connection, after the controller
// was brought back to a frame boundary, and is run; the application hears
// that the connection was lost and made again.
TEST(SerialLineGivenUp, TheFrameSentAgainRunsAndTheLossIsReported) {
    FaultyLine line(Carrier::Serial);
    Device device;
    ASSERT_EQ(device.open(line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    device.setAutoReconnect(true);
    std::atomic<bool> reconnecting{false};
    std::jthread unstall([&](std::stop_token stop) {
        while (!stop.stop_requested() && !device.reconnecting()) std::this_thread::sleep_for(5ms);
        reconnecting = true;
        line.proxy().setFault(LineFault::pass());
    });
    VX_CTL_Result result = VX_CTL_OK;
    const int32_t cut = writeUntilCut(line, device, &result);
    EXPECT_EQ(result, VX_CTL_OK);
    EXPECT_TRUE(reconnecting);
    EXPECT_TRUE(awaitEvent(device, VX_CTL_EVENT_CONNECTION_REMADE, 15000ms));
    EXPECT_TRUE(vxtest::waitUntil([&] { return line.writesRun().count(cut) == 1; }, 5000ms));
    for (const auto& [first, count] : line.writesRun()) EXPECT_EQ(count, 1) << first;
    // The controller held the head of a frame, and dropped it by its CRC.
    EXPECT_FALSE(line.sim().endpoint().rejected().empty());
}

// After a serial line was given up and the device closed, the first open of
// the port succeeds: the controller's half frame does not swallow it.
TEST(SerialLineGivenUp, TheNextOpenSucceeds) {
    FaultyLine line(Carrier::Serial);
    {
        Device device;
        ASSERT_EQ(device.open(line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
        VX_CTL_Result result = VX_CTL_OK;
        writeUntilCut(line, device, &result);
        EXPECT_EQ(result, VX_CTL_COMMUNICATION_FAILED);
        EXPECT_TRUE(awaitEvent(device, VX_CTL_EVENT_CONNECTION_LOST, 5000ms));
    }
    line.proxy().setFault(LineFault::pass());
    Device device;
    EXPECT_EQ(device.open(line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    EXPECT_FALSE(line.sim().endpoint().rejected().empty());
}

// Flushes kept in flight on a TCP line that carries `rate` bytes a second:
// blocks of 1024 frames flushed until one does not go out at once (the
// kernel takes the first ones whole), and three more behind it, so that
// about 1 MiB waits for the line.
std::vector<std::future<VX_CTL_Result>> flushesInFlight(FaultyLine& line, Device& device, uint32_t rate) {
    line.proxy().setFault(LineFault::throttle(rate, 0));
    std::vector<std::future<VX_CTL_Result>> flushes;
    for (int block = 0; block < 64 && flushes.size() < 4; ++block) {
        VX_CTL_TransmitHandle buffer = 0;
        if (device.createOutputBuffer(&buffer) != VX_CTL_OK) break;
        for (int32_t i = 0; i < 1024; ++i) sendWrite(device, block * 1024 + i, buffer);
        auto flushed = std::async(std::launch::async, [&device, buffer] { return device.endOutputBuffer(buffer, true); });
        if (flushes.empty() && flushed.wait_for(300ms) == std::future_status::ready) continue;
        flushes.push_back(std::move(flushed));
    }
    return flushes;
}

// A TCP peer that closes its sending side while it still reads slowly, with
// a long send in flight: the connection is retired at once, and every other
// call of the device ends within its reply time (2000 ms) and 1 s, counted
// from the later of its start and the loss.
class HalfClosedPeer : public ::testing::TestWithParam<bool> {};

TEST_P(HalfClosedPeer, OtherCallsEndWithinTheirReplyTime) {
    constexpr auto kBound = 2000ms + 1000ms;
    FaultyLine line(Carrier::Tcp);
    Device device;
    ASSERT_EQ(device.open(line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    device.setAutoReconnect(GetParam());
    std::vector<std::future<VX_CTL_Result>> flushes = flushesInFlight(line, device, 2560);
    ASSERT_EQ(flushes.size(), 4u);
    for (auto& flush : flushes) ASSERT_EQ(flush.wait_for(0ms), std::future_status::timeout);

    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> lostAt{Clock::time_point::max().time_since_epoch().count()};
    // The longest any call took past the later of its start and the loss.
    std::atomic<int64_t> worstMs{0};
    std::vector<std::future<void>> callers;
    for (int i = 0; i < 2; ++i)
        callers.push_back(std::async(std::launch::async, [&] {
            while (!stop) {
                const auto start = Clock::now();
                int32_t channels = 0;
                device.readChannelCount(&channels);
                const auto from = std::max(start, Clock::time_point(Clock::duration(lostAt.load())));
                const int64_t late = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
                for (int64_t seen = worstMs; late > seen && !worstMs.compare_exchange_weak(seen, late);) {
                }
            }
        }));
    // Callers queued behind the flush now.
    std::this_thread::sleep_for(200ms);
    lostAt = Clock::now().time_since_epoch().count();
    line.proxy().setFault(LineFault::halfClose(2560));
    // The calls made meanwhile, on this connection and on any made again.
    std::this_thread::sleep_for(4000ms);
    stop = true;
    line.proxy().setFault(LineFault::pass());
    for (auto& caller : callers) ASSERT_EQ(caller.wait_for(kBound), std::future_status::ready);
    EXPECT_LE(worstMs.load(), std::chrono::milliseconds(kBound).count());
    for (auto& flush : flushes) {
        ASSERT_EQ(flush.wait_for(kBound), std::future_status::ready);
        const VX_CTL_Result result = flush.get();
        EXPECT_TRUE(result == VX_CTL_COMMUNICATION_FAILED || result == VX_CTL_CANCELED) << result;
    }
}

INSTANTIATE_TEST_SUITE_P(Device, HalfClosedPeer, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Reconnecting" : "NotReconnecting"; });

// VX_CTL_Close with two large flushes in flight on a slow serial line: it
// ends them, returns within the send time-out (1000 ms) and 500 ms, and the
// port opens again right after.
TEST(CloseWithFlushesInFlight, ReturnsInTimeAndThePortOpensAgain) {
    constexpr auto kBound = 1000ms + 500ms;
    FaultyLine line(Carrier::Serial, "baudrate 921600");
    VX_CTL_DeviceHandle handle = 0;
    ASSERT_EQ(VX_CTL_Open(&handle, line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    line.proxy().setFault(LineFault::throttle(11520, 0));
    std::vector<std::future<VX_CTL_Result>> flushes;
    for (int flush = 0; flush < 2; ++flush) {
        VX_CTL_TransmitHandle buffer = 0;
        ASSERT_EQ(VX_CTL_CreateOutputBuffer(handle, &buffer), VX_CTL_OK);
        std::vector<int32_t> values(kValues, 0);
        for (int32_t i = 0; i < 1024; ++i) {
            values[0] = flush * 1024 + i;
            ASSERT_EQ(VX_CTL_RequestWritePropertyArray_i32(handle, 0, kWriteKey, values.data(), kValues, nullptr, buffer),
                      VX_CTL_OK);
        }
        flushes.push_back(std::async(std::launch::async, [=] { return VX_CTL_FlushOutputBuffer(handle, buffer); }));
    }
    ASSERT_TRUE(line.passed(8 * 1024));
    for (auto& flush : flushes) ASSERT_EQ(flush.wait_for(0ms), std::future_status::timeout);

    const auto start = Clock::now();
    EXPECT_EQ(VX_CTL_Close(handle), VX_CTL_OK);
    EXPECT_LE(Clock::now() - start, kBound);
    // What the proxy itself still queues goes through at once.
    line.proxy().setFault(LineFault::pass());
    VX_CTL_DeviceHandle again = 0;
    EXPECT_EQ(VX_CTL_Open(&again, line.locator().c_str(), line.options().c_str()), VX_CTL_OK);
    for (auto& flush : flushes) {
        ASSERT_EQ(flush.wait_for(kBound), std::future_status::ready);
        const VX_CTL_Result result = flush.get();
        EXPECT_TRUE(result == VX_CTL_CANCELED || result == VX_CTL_COMMUNICATION_FAILED) << result;
    }
    if (again != 0) {
        EXPECT_EQ(VX_CTL_Close(again), VX_CTL_OK);
    }
}

}  // namespace
