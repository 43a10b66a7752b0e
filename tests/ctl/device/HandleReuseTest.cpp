// A device whose connection goes while other threads send on it. The I/O
// library gives a closed handle's number to the next open, here a second
// device's: none of the first device's frames may reach the second
// controller, whether the first device is opened again by its caller or
// connects again by itself.

#include <gtest/gtest.h>

#include <atomic>
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
    constexpr int kSenders = 3;
    SimulatedController first(Carrier::Tcp);
    SimulatedController second(Carrier::Tcp);
    vxctl::DeviceTiming timing;
    timing.reconnectInterval = 20ms;
    Device device(timing);
    ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
    device.setAutoReconnect(GetParam().autoReconnect);

    std::atomic<bool> stop{false};
    std::vector<std::thread> senders;
    for (int i = 0; i < kSenders; ++i)
        senders.emplace_back([&] {
            while (!stop.load()) ctltest::sendStop(device);
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
        {
            Device other;
            ASSERT_EQ(other.open(second.locator().c_str(), nullptr), VX_CTL_OK);
            ASSERT_EQ(other.ioHandle(), freed);
        }
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
    stop = true;
    for (std::thread& sender : senders) sender.join();
    EXPECT_GT(first.stopsReceived(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, HandleReuse, ::testing::ValuesIn(kReusePaths),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
