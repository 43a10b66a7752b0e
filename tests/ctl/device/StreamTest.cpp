// The trajectory stream against the simulated controller: sizes, flow
// control by the device's status counts, and how a stream ends.

#include <gtest/gtest.h>

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

}  // namespace
