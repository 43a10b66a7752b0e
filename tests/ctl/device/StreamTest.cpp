// The trajectory stream against the simulated controller: sizes, flow
// control by the device's status counts, and how a stream ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "ctl/device/SimulatedDevice.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;
namespace command = vxsim::gen2::command;

constexpr VX_CTL_EventType kStreamFinished = 0x8000;
constexpr VX_CTL_Result kInsufficientFrames = 0x0302;

class Stream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(device_.open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
        ASSERT_EQ(device_.openStream(&handle_, 0), VX_CTL_OK);
        ASSERT_NE(handle_, 0u);
        EXPECT_EQ(handle_, controller_.endpoint().streamHandle());
    }
    VX_CTL_Result frame(size_t units, VX_CTL_StreamHandle handle = 0) {
        const std::vector<uint8_t> bytes(units * 9, 0x5A);
        return device_.streamFrame(handle ? handle : handle_, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    std::future<VX_CTL_Result> frameLater(size_t units) {
        return std::async(std::launch::async, [this, units] { return frame(units); });
    }
    static bool stillWaiting(std::future<VX_CTL_Result>& call) {
        return call.wait_for(100ms) == std::future_status::timeout;
    }
    size_t framesReceived() {
        size_t count = 0;
        for (const auto& request : controller_.endpoint().requests())
            if (request.type == command::kStreamFrame) ++count;
        return count;
    }
    // The device's end of the stream, taken from the queue once it is in.
    void finish(VX_CTL_StreamHandle handle, uint16_t code) {
        controller_.endpoint().injectEvent(0, kStreamFinished, static_cast<int32_t>(handle << 24 | code));
        VX_CTL_Event event{};
        ASSERT_EQ(device_.waitForEvent(&event, 5000), VX_CTL_OK);
        ASSERT_EQ(event.type, kStreamFinished);
    }

    SimulatedController controller_{Carrier::Tcp};
    Device device_;
    VX_CTL_StreamHandle handle_ = 0;
};

TEST_F(Stream, FramesWaitForCapacityFromTheDevicesCounts) {
    auto first = frameLater(1);
    EXPECT_TRUE(stillWaiting(first));
    controller_.endpoint().sendStreamStatus(1, 0);
    EXPECT_EQ(first.get(), VX_CTL_OK);

    // 2 + 1 counted, 1 sent: room for 2 at once.
    controller_.endpoint().sendStreamStatus(2, 1);
    auto second = frameLater(2);
    EXPECT_EQ(second.get(), VX_CTL_OK);

    auto third = frameLater(3);
    controller_.endpoint().sendStreamStatus(3, 2);  // room for 2 of 3
    EXPECT_TRUE(stillWaiting(third));
    controller_.endpoint().sendStreamStatus(4, 2);
    EXPECT_EQ(third.get(), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return framesReceived() == 3; }, 5000ms));
}

TEST_F(Stream, SizesOutsideWholeUnitsUpTo247BytesAreRefused) {
    const struct {
        uint32_t size;
        VX_CTL_Result expected;
    } rows[] = {{252, VX_CTL_INVALID_PARAMETER}, {10, VX_CTL_INVALID_FRAME_SIZE}, {0, VX_CTL_INVALID_FRAME_SIZE}};
    const std::vector<uint8_t> bytes(252, 1);
    for (const auto& row : rows) EXPECT_EQ(device_.streamFrame(handle_, bytes.data(), row.size), row.expected) << row.size;
    EXPECT_EQ(frame(1, handle_ + 1), VX_CTL_INVALID_STREAM_HANDLE);
    EXPECT_EQ(framesReceived(), 0u);
}

TEST_F(Stream, AnAbortEndsTheStreamAndItsWaitingFrame) {
    auto waiting = frameLater(1);
    EXPECT_TRUE(stillWaiting(waiting));
    const VX_CTL_StreamHandle old = handle_;
    ASSERT_EQ(device_.abortStream(old), VX_CTL_OK);
    EXPECT_EQ(waiting.get(), VX_CTL_ABORTED);
    EXPECT_EQ(frame(1, old), VX_CTL_INVALID_STREAM_HANDLE);

    // The new stream counts from nothing: the old frames and a late end of
    // the old stream do not touch it.
    ASSERT_EQ(device_.openStream(&handle_, 0), VX_CTL_OK);
    EXPECT_NE(handle_, old);
    controller_.endpoint().injectEvent(0, kStreamFinished, static_cast<int32_t>(old << 24 | kInsufficientFrames));
    controller_.endpoint().sendStreamStatus(2, 0);
    EXPECT_EQ(frame(2), VX_CTL_OK);
}

// A device that confirms the abort but reports no end of the stream: the
// abort itself wakes the frame waiting for capacity, with 0x19.
TEST_F(Stream, AnAbortWakesTheWaitingFrameWithoutTheDevicesReport) {
    controller_.endpoint().addFault(
        vxsim::Gen2Fault::complete({vxsim::gen2::kCommandStart, command::kAbortStream}, 0));
    auto waiting = frameLater(1);
    EXPECT_TRUE(stillWaiting(waiting));
    ASSERT_EQ(device_.abortStream(handle_), VX_CTL_OK);
    const bool woken = waiting.wait_for(5s) == std::future_status::ready;
    // A frame still waiting would hold the test: the close ends it.
    if (!woken) device_.shutdown();
    EXPECT_TRUE(woken);
    EXPECT_EQ(waiting.get(), 0x19u);
}

TEST_F(Stream, AnEndWithAnErrorHoldsTheHandleUntilClosed) {
    controller_.endpoint().sendStreamStatus(5, 5);
    finish(handle_, kInsufficientFrames);
    EXPECT_EQ(frame(1), kInsufficientFrames);
    VX_CTL_StreamHandle other = 0;
    EXPECT_EQ(device_.openStream(&other, 0), VX_CTL_HANDLE_LIMIT_REACHED);
    ASSERT_EQ(device_.closeStream(handle_), VX_CTL_OK);
    EXPECT_EQ(frame(1), VX_CTL_INVALID_STREAM_HANDLE);
    ASSERT_EQ(device_.openStream(&other, 0), VX_CTL_OK);
    EXPECT_NE(other, handle_);
}

TEST_F(Stream, ALostConnectionEndsAWaitForCapacity) {
    auto waiting = frameLater(1);
    EXPECT_TRUE(stillWaiting(waiting));
    controller_.endpoint().disconnectAll();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), VX_CTL_COMMUNICATION_FAILED);
}

// The simulated device's own flow: it buffers four units, reports what it
// played, and ends the stream with 0x0302 when it runs dry.
TEST_F(Stream, TheDevicesPlayingPacesTheFramesUntilItRunsDry) {
    vxsim::Gen2Endpoint& device = controller_.endpoint();
    controller_.sim().model().setStreamCapacity(4);
    device.reportStream();
    EXPECT_EQ(frame(3), VX_CTL_OK);
    EXPECT_EQ(frame(1), VX_CTL_OK);
    auto waiting = frameLater(2);
    EXPECT_TRUE(stillWaiting(waiting));
    device.playStream(1);  // room for 1 of 2
    EXPECT_TRUE(stillWaiting(waiting));
    device.playStream(1);
    EXPECT_EQ(waiting.get(), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return controller_.sim().model().streamBuffered() == 4; }, 5000ms));

    device.playStream(5);
    VX_CTL_Event event{};
    ASSERT_EQ(device_.waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kStreamFinished);
    EXPECT_EQ(event.value.i32, static_cast<int32_t>(handle_ << 24 | kInsufficientFrames));
    EXPECT_EQ(frame(1), kInsufficientFrames);
    VX_CTL_StreamHandle other = 0;
    EXPECT_EQ(device_.openStream(&other, 0), VX_CTL_HANDLE_LIMIT_REACHED);
    ASSERT_EQ(device_.closeStream(handle_), VX_CTL_OK);
    ASSERT_EQ(device_.openStream(&other, 0), VX_CTL_OK);
    EXPECT_EQ(other, controller_.endpoint().streamHandle());
}

// A close waits for the device's answer; the handle stays until the device
// has played out the frames and reports the end.
TEST_F(Stream, AClosedStreamEndsWhenTheDeviceHasPlayedItsFrames) {
    vxsim::Gen2Endpoint& device = controller_.endpoint();
    device.reportStream();
    ASSERT_EQ(frame(2), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return controller_.sim().model().streamBuffered() == 2; }, 5000ms));
    device.addFault(vxsim::Gen2Fault::late({vxsim::gen2::kCommandStart, command::kCloseStream}, 300ms, 1));
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(device_.closeStream(handle_), VX_CTL_OK);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms);
    VX_CTL_StreamHandle other = 0;
    EXPECT_EQ(device_.openStream(&other, 0), VX_CTL_HANDLE_LIMIT_REACHED);

    device.playStream(2);
    VX_CTL_Event event{};
    ASSERT_EQ(device_.waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kStreamFinished);
    EXPECT_EQ(event.value.i32, static_cast<int32_t>(handle_ << 24));
    EXPECT_EQ(frame(1), VX_CTL_INVALID_STREAM_HANDLE);
    ASSERT_EQ(device_.openStream(&other, 0), VX_CTL_OK);
}

// A status right behind the open's reply already counts for the new stream.
TEST(StreamOpen, AStatusRightAfterTheReplyCountsForTheNewStream) {
    SimulatedController controller{Carrier::Tcp};
    controller.endpoint().setStreamStatusOnOpen(true);
    controller.sim().model().setStreamCapacity(2);
    Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    for (int round = 0; round < 20; ++round) {
        VX_CTL_StreamHandle handle = 0;
        ASSERT_EQ(device.openStream(&handle, 0), VX_CTL_OK);
        const uint8_t units[18] = {};
        auto sent = std::async(std::launch::async, [&] { return device.streamFrame(handle, units, sizeof units); });
        if (sent.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "the frame waits for a status that came already, round " << round;
            device.close(false);
            return;
        }
        EXPECT_EQ(sent.get(), VX_CTL_OK);
        ASSERT_EQ(device.abortStream(handle), VX_CTL_OK);
    }
}

TEST(StreamOpen, AReplyWithoutAHandleFailsAsAnInvalidPacket) {
    SimulatedController controller{Carrier::Tcp};
    Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    controller.endpoint().addFault(vxsim::Gen2Fault::complete({vxsim::gen2::kCommandStart, command::kOpenStream}, 0, 1));
    VX_CTL_StreamHandle handle = 0;
    EXPECT_EQ(device.openStream(&handle, 0), VX_CTL_INVALID_PACKET);
    EXPECT_EQ(handle, 0u);
    uint8_t data[9] = {};
    EXPECT_EQ(device.streamFrame(controller.endpoint().streamHandle(), data, sizeof data), VX_CTL_INVALID_STREAM_HANDLE);
}

// Two opens at once, the first answered last: its stream would have no
// owner, so it aborts it on the device and leaves the winner's alone. The
// device here lets the first stream go before the second open, so that it
// grants both.
TEST(StreamOpen, TheLoserOfTwoOpensGivesItsStreamUp) {
    SimulatedController controller{Carrier::Tcp};
    vxsim::Gen2Endpoint& endpoint = controller.endpoint();
    Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    endpoint.addFault(vxsim::Gen2Fault::late({vxsim::gen2::kCommandStart, command::kOpenStream}, 1000ms, 1));
    VX_CTL_StreamHandle lost = 0, won = 0;
    auto first = std::async(std::launch::async, [&] { return device.openStream(&lost, 0); });
    ASSERT_TRUE(vxtest::waitUntil([&] { return endpoint.streamHandle() != 0; }, 5000ms));
    const uint8_t firstHandle = endpoint.streamHandle();
    std::vector<vxsim::Gen2StreamReport> unreported;
    ASSERT_EQ(controller.sim().model().abortStream(firstHandle, &unreported), vxsim::gen2result::kOk);

    ASSERT_EQ(device.openStream(&won, 0), VX_CTL_OK);
    EXPECT_EQ(first.get(), VX_CTL_HANDLE_LIMIT_REACHED);
    EXPECT_EQ(lost, 0u);
    const auto requests = endpoint.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [&](const vxsim::Gen2Request& request) {
        return request.type == command::kAbortStream && request.handle == firstHandle;
    }));
    EXPECT_EQ(endpoint.streamHandle(), won);
    endpoint.reportStream();
    const uint8_t unit[9] = {};
    EXPECT_EQ(device.streamFrame(won, unit, sizeof unit), VX_CTL_OK);
}

}  // namespace
