// A device whose connection goes while other threads send on it. The I/O
// library gives a closed handle's number to the next open, here a second
// device's: none of the first device's frames may reach the second
// controller, whether the first device is opened again by its caller or
// connects again by itself.

#include <gtest/gtest.h>

#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "ctl/device/SimulatedDevice.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;

struct ReusePath {
    const char* name;
    bool autoReconnect;
};

const ReusePath kReusePaths[] = {
    {"OpenedAgain", false},
    {"Reconnected", true},
};

class HandleReuse : public ::testing::TestWithParam<ReusePath> {};

bool handleClosed(VX_IO_Handle handle) {
    return VX_IO_GetProperty(handle, nullptr, nullptr, nullptr) == VX_IO_INVALID_HANDLE;
}

TEST_P(HandleReuse, AFreedHandleNeverCarriesTheFormerDevicesFrames) {
    constexpr int kRounds = 30;
    constexpr int kSenders = 2;
    SimulatedController first(Carrier::Tcp);
    SimulatedController second(Carrier::Tcp);
    vxctl::DeviceTiming timing;
    timing.reconnectInterval = 100ms;
    Device device(timing);
    ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
    device.setAutoReconnect(GetParam().autoReconnect);

    // Joined before the device goes, also when an assertion ends the test.
    std::vector<std::jthread> senders;
    for (int i = 0; i < kSenders; ++i)
        senders.emplace_back([&](std::stop_token stop) {
            // Yielding, so that a refused send's quick return does not keep
            // the device's mutex from an open in progress.
            while (!stop.stop_requested()) {
                ctltest::sendStop(device);
                std::this_thread::yield();
            }
        });
    for (int round = 0; round < kRounds && !HasFatalFailure(); ++round) {
        SCOPED_TRACE(round);
        const VX_IO_Handle freed = device.ioHandle();
        if (GetParam().autoReconnect) {
            first.sim().refuseTcp();
        } else {
            first.endpoint().disconnectAll();
        }
        ASSERT_TRUE(vxtest::waitUntil([&] { return handleClosed(freed); }, 5000ms));
        // A reconnection attempt may hold the number for a moment: the
        // second device is opened until it has it.
        std::unique_ptr<Device> other;
        ASSERT_TRUE(vxtest::waitUntil(
            [&] {
                other = std::make_unique<Device>();
                return other->open(second.locator().c_str(), nullptr) == VX_CTL_OK && other->ioHandle() == freed;
            },
            5000ms));
        other.reset();
        // Whatever reached the second controller arrived before its
        // connection ended.
        ASSERT_TRUE(second.released());
        EXPECT_EQ(second.stopsReceived(), 0u);
        EXPECT_EQ(second.endpoint().rejected().size(), 0u);
        if (GetParam().autoReconnect) {
            first.sim().acceptTcp();
            ASSERT_TRUE(vxtest::waitUntil([&] { return device.connected(); }, 5000ms));
        } else {
            ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
        }
    }
    senders.clear();
    EXPECT_GT(first.stopsReceived(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, HandleReuse, ::testing::ValuesIn(kReusePaths),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
