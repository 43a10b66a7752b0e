// Movement commands sent at once, and how the simulated device reports
// their ends through the event queue.

#include <gtest/gtest.h>

#include "ctl/device/SimulatedDevice.h"
#include "event/EventText.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::CommandType;
using vxctl::Device;

constexpr VX_CTL_EventType kMovementFinished = 0x0001;
constexpr VX_CTL_Result kInvalidChannelIndex = 0x0022;
constexpr VX_CTL_Result kMovementOverridden = 0x0110;

class Movement : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device_.open(controller_.locator().c_str(), nullptr), VX_CTL_OK); }
    vxsim::Gen2Model& model() { return controller_.sim().model(); }
    // The next event, which must be the end of a movement.
    std::string finished(uint32_t channel, VX_CTL_Result result) {
        VX_CTL_Event event{};
        EXPECT_EQ(device_.waitForEvent(&event, 5000), VX_CTL_OK);
        EXPECT_EQ(event.type, kMovementFinished);
        EXPECT_EQ(event.idx, channel);
        EXPECT_EQ(event.value.i32, static_cast<int32_t>(result));
        return vxctl::eventInfo(event);
    }

    SimulatedController controller_{Carrier::Tcp};
    Device device_;
};

TEST_F(Movement, EachCommandEndsWithTheDevicesEvent) {
    model().setMotionTimes({30ms, 30ms, 30ms});
    const struct {
        CommandType type;
        uint8_t channel;
        int64_t target;
        VX_CTL_Result result;
        int64_t position;
    } rows[] = {
        {CommandType::Move, 1, 500, VX_CTL_OK, 500},
        {CommandType::Calibrate, 1, 0, VX_CTL_OK, 500},
        {CommandType::Reference, 1, 0, VX_CTL_OK, 0},
        {CommandType::Move, 0, -1LL << 40, VX_CTL_OK, -1LL << 40},
        {CommandType::Move, 3, 1, kInvalidChannelIndex, 0},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(device_.movementCommand(row.type, row.channel, row.target, 0), VX_CTL_OK);
        finished(row.channel, row.result);
        if (row.channel < vxsim::Gen2Simulator::kDefaultChannelCount) {
            EXPECT_EQ(model().position(row.channel), row.position) << int{row.channel};
        }
    }
}

TEST_F(Movement, AStopOrANewCommandEndsTheRunningOne) {
    model().setMotionTimes({10s, 10s, 10s});
    ASSERT_EQ(device_.movementCommand(CommandType::Move, 2, 1000000, 0), VX_CTL_OK);
    ASSERT_EQ(device_.movementCommand(CommandType::Reference, 2, 0, 0), VX_CTL_OK);
    EXPECT_EQ(finished(2, kMovementOverridden), "movement finished, channel: 2 (movement overridden)");
    ASSERT_EQ(device_.movementCommand(CommandType::Stop, 2, 0, 0), VX_CTL_OK);
    EXPECT_EQ(finished(2, VX_CTL_ABORTED), "movement finished, channel: 2 (aborted)");
    EXPECT_FALSE(model().moving(2));
    // Nothing runs: a stop reports nothing.
    ASSERT_EQ(device_.movementCommand(CommandType::Stop, 2, 0, 0), VX_CTL_OK);
    VX_CTL_Event event{};
    EXPECT_EQ(device_.waitForEvent(&event, 200), VX_CTL_TIMEOUT);
}

}  // namespace
