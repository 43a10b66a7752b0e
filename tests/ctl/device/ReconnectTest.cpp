// A device whose connection is lost: one "connection lost" event and
// refused sends without auto-reconnect; with it, a new connection within the
// budget that waiting sends go out on, reported by one "connection lost and
// remade" event, the "connection lost" event after the budget, and a close
// that does not wait for the attempts.

#include <gtest/gtest.h>

#include <future>
#include <ostream>

#include "ctl/device/SimulatedDevice.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;
using Clock = std::chrono::steady_clock;

// Connections the host has made to the controller so far.
int connectionsMade(SimulatedController& controller) {
    if (controller.carrier() == Carrier::Tcp) return static_cast<int>(controller.sim().tcp().accepted());
    VxFtdiLineState state{};
    controller.sim().usb().api().lineState(controller.sim().usb().adapter(), &state);
    return state.opens;
}

// One event says that the connection was lost and made again.
void expectRemadeOnce(Device& device) {
    VX_CTL_Event event{};
    ASSERT_EQ(device.waitForEvent(&event, 0), VX_CTL_OK);
    EXPECT_EQ(event.type, VX_CTL_EVENT_CONNECTION_REMADE);
    EXPECT_EQ(event.idx, 0u);
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

class LostConnection : public ::testing::TestWithParam<Carrier> {
protected:
    void SetUp() override {
        ASSERT_EQ(device_.open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
    }

    SimulatedController controller_{GetParam()};
    Device device_;
};

TEST_P(LostConnection, WithoutAutoReconnectPostsOneEventAndRefusesSends) {
    controller_.endpoint().disconnectAll();
    VX_CTL_Event event{};
    ASSERT_EQ(device_.waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, VX_CTL_EVENT_CONNECTION_LOST);
    EXPECT_EQ(event.idx, 0u);
    EXPECT_EQ(event.value.i64, 0);
    // The transport reports the lost link again and again; it was lost once.
    EXPECT_EQ(device_.waitForEvent(&event, 1000), VX_CTL_TIMEOUT);
    EXPECT_FALSE(device_.connected());
    EXPECT_EQ(ctltest::sendStop(device_), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_EQ(connectionsMade(controller_), 1);
    EXPECT_TRUE(controller_.released());
}

TEST_P(LostConnection, IsMadeAgainAtOnceWhenTheControllerAnswers) {
    device_.setAutoReconnect(true);
    controller_.endpoint().disconnectAll();
    ASSERT_TRUE(vxtest::waitUntil([&] { return connectionsMade(controller_) == 2 && device_.connected(); }, 5000ms));
    // The handshake is not repeated on the new connection; a USB line, which
    // may hold the head of a frame, is brought to a frame boundary by a
    // version request first.
    EXPECT_EQ(ctltest::sendStop(device_), VX_CTL_OK);
    EXPECT_TRUE(vxtest::waitUntil([&] { return controller_.stopsReceived() == 1; }, 5000ms));
    EXPECT_EQ(controller_.endpoint().requests().size(), GetParam() == Carrier::Usb ? 4u : 3u);
    EXPECT_TRUE(controller_.endpoint().rejected().empty());
    expectRemadeOnce(device_);
}

INSTANTIATE_TEST_SUITE_P(Carriers, LostConnection, ::testing::Values(Carrier::Tcp, Carrier::Usb),
                         [](const auto& info) { return ctltest::carrierText(info.param); });

// A send that fails, refused by the driver or on a line that stopped taking
// bytes: the link is broken. Without auto-reconnect the connection is given
// up with one "connection lost" event and later calls are refused at once;
// with it the frame goes out on a new connection and the device answers.
struct FailedSendCase {
    const char* name;
    bool stalled;  // else the driver refuses the write
    bool autoReconnect;
};

const FailedSendCase kFailedSends[] = {
    {"RefusedWithoutAutoReconnect", false, false},
    {"RefusedWithAutoReconnect", false, true},
    {"StalledWithoutAutoReconnect", true, false},
    {"StalledWithAutoReconnect", true, true},
};

void PrintTo(const FailedSendCase& row, std::ostream* out) { *out << row.name; }

class FailedSend : public ::testing::TestWithParam<FailedSendCase> {};

TEST_P(FailedSend, IsALostLink) {
    const FailedSendCase& row = GetParam();
    SimulatedController controller(Carrier::Usb);
    Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), "tx-timeout 200"), VX_CTL_OK);
    device.setAutoReconnect(row.autoReconnect);
    const VxFtdiDoubleApi& ftdi = controller.sim().usb().api();
    if (row.stalled) {
        ASSERT_EQ(ftdi.stallOpenHandles(controller.sim().usb().adapter()), 0);
    } else {
        ftdi.failCall("FT_Write", VXFTDI_OTHER_ERROR, 1);
    }
    EXPECT_EQ(ctltest::sendStop(device), row.autoReconnect ? VX_CTL_OK : VX_CTL_COMMUNICATION_FAILED);
    VX_CTL_Event event{};
    if (row.autoReconnect) {
        EXPECT_TRUE(vxtest::waitUntil([&] { return controller.stopsReceived() == 1; }, 5000ms));
        EXPECT_EQ(connectionsMade(controller), 2);
        EXPECT_TRUE(device.connected());
        int32_t channels = 0;
        EXPECT_EQ(device.readChannelCount(&channels), VX_CTL_OK);
        EXPECT_EQ(channels, 3);
        expectRemadeOnce(device);
        return;
    }
    ASSERT_EQ(device.waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, VX_CTL_EVENT_CONNECTION_LOST);
    EXPECT_FALSE(device.connected());
    // The adapter is closed: no later call can wait on the line.
    EXPECT_TRUE(controller.released());
    EXPECT_EQ(ctltest::sendStop(device), VX_CTL_COMMUNICATION_FAILED);
    int32_t channels = 0;
    EXPECT_EQ(device.readChannelCount(&channels), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
    EXPECT_EQ(controller.stopsReceived(), 0u);
    EXPECT_EQ(connectionsMade(controller), 1);
}

INSTANTIATE_TEST_SUITE_P(Device, FailedSend, ::testing::ValuesIn(kFailedSends),
                         [](const auto& info) { return std::string(info.param.name); });

// A controller that refuses connections for a while.
class Reconnection : public ::testing::Test {
protected:
    void open(const vxctl::DeviceTiming& timing = {}) {
        device_ = std::make_unique<Device>(timing);
        ASSERT_EQ(device_->open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
        device_->setAutoReconnect(true);
    }
    // Drops the connection and refuses new ones; true once the device tries.
    bool refuse() {
        controller_.sim().refuseTcp();
        return vxtest::waitUntil([&] { return device_->reconnecting(); }, 5000ms);
    }
    std::future<VX_CTL_Result> sendLater() {
        return std::async(std::launch::async, [this] { return ctltest::sendStop(*device_); });
    }

    SimulatedController controller_{Carrier::Tcp};
    std::unique_ptr<Device> device_;
};

TEST_F(Reconnection, ASendWaitsForItAndGoesOutOnTheNewConnection) {
    open();
    ASSERT_TRUE(refuse());
    auto sent = sendLater();
    controller_.sim().acceptTcp();
    ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(sent.get(), VX_CTL_OK);
    EXPECT_TRUE(vxtest::waitUntil([&] { return controller_.stopsReceived() == 1; }, 5000ms));
    EXPECT_EQ(controller_.sim().tcp().accepted(), 1u);
    EXPECT_TRUE(device_->connected());
    expectRemadeOnce(*device_);
}

TEST_F(Reconnection, GivesUpAfterItsBudgetWithOneEvent) {
    EXPECT_EQ(vxctl::DeviceTiming{}.reconnectBudget, 10000ms);
    EXPECT_EQ(vxctl::DeviceTiming{}.reconnectInterval, 1000ms);
    open({2000ms, 1200ms, 300ms});
    const auto start = Clock::now();
    ASSERT_TRUE(refuse());
    auto sent = sendLater();
    VX_CTL_Event event{};
    ASSERT_EQ(device_->waitForEvent(&event, 10000), VX_CTL_OK);
    EXPECT_GE(Clock::now() - start, 1200ms);
    EXPECT_EQ(event.type, VX_CTL_EVENT_CONNECTION_LOST);
    EXPECT_EQ(sent.get(), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_FALSE(device_->reconnecting());
    EXPECT_FALSE(device_->connected());
    // Nothing tries any more, and no second event comes, once the controller
    // answers again: attempts every 300 ms would show within this wait.
    controller_.sim().acceptTcp();
    EXPECT_EQ(device_->waitForEvent(&event, 1000), VX_CTL_TIMEOUT);
    EXPECT_EQ(controller_.sim().tcp().accepted(), 0u);
    EXPECT_EQ(ctltest::sendStop(*device_), VX_CTL_COMMUNICATION_FAILED);
}

TEST_F(Reconnection, ACloseDuringItReturnsPromptly) {
    open();
    ASSERT_TRUE(refuse());
    auto sent = sendLater();
    const auto start = Clock::now();
    device_->close(true);
    EXPECT_LT(Clock::now() - start, 2000ms);
    EXPECT_EQ(sent.get(), VX_CTL_CANCELED);
    EXPECT_FALSE(device_->connected());
}

}  // namespace
