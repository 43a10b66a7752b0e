#include <gtest/gtest.h>

#include "sim/ControllerModel.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using vxsim::ControllerModel;
using vxsim::SystemSetup;
namespace status = vxsim::channelStatus;
namespace refusal = vxsim::refusal;

namespace {

int32_t positionOf(const ControllerModel& model, size_t channel) {
    int32_t position = 0;
    EXPECT_EQ(model.position(channel, &position), 0);
    return position;
}

}  // namespace

TEST(ControllerModel, StandardSetupCyclesPositionerClassesAndEndsWithEndEffectors) {
    SystemSetup setup = SystemSetup::standard(5, true, 2);
    ASSERT_EQ(setup.channels.size(), 5u);
    EXPECT_EQ(setup.channels[0].moduleWord & 0xF000, 0x2000);
    EXPECT_EQ(setup.channels[1].moduleWord & 0xF000, 0x6000);
    EXPECT_EQ(setup.channels[2].moduleWord & 0xF000, 0xB000);
    EXPECT_EQ(setup.channels[3].moduleWord & 0xF000, 0x9000);
    EXPECT_EQ(setup.channels[4].moduleWord & 0xF000, 0x9000);
    ControllerModel model(setup);
    EXPECT_EQ(model.channelAt(setup.channels[3].moduleWord), 3);
    EXPECT_EQ(model.channelAt(0x1234), -1);
    EXPECT_EQ(model.kind(0), vxsim::ModuleKind::Positioner);
    EXPECT_EQ(model.kind(4), vxsim::ModuleKind::EndEffector);
}

TEST(ControllerModel, ClosedLoopMoveRunsTowardItsTargetAndHolds) {
    ControllerModel model(SystemSetup::standard(1, false));
    auto settings = model.settings(0);
    settings.moveSpeed = 1000000;  // 200 ms for the move below
    model.updateSettings(0, settings);

    ASSERT_EQ(model.gotoPosition(0, 200000, 60000, false), 0);
    EXPECT_EQ(model.status(0), status::kTargeting);
    EXPECT_LT(positionOf(model, 0), 200000);
    EXPECT_TRUE(vxtest::waitUntil([&] { return positionOf(model, 0) > 0; }));
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kHolding; }));
    EXPECT_EQ(positionOf(model, 0), 200000);
}

TEST(ControllerModel, MoveWithoutHoldTimeEndsStopped) {
    ControllerModel model(SystemSetup::standard(1, false));
    ASSERT_EQ(model.gotoPosition(0, -5000, 0, false), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), -5000);
}

TEST(ControllerModel, RelativeMovesAccumulateOnlyWhenAsked) {
    ControllerModel model(SystemSetup::standard(1, false));
    auto settings = model.settings(0);
    settings.moveSpeed = 20000;  // a 1000 move takes 50 ms
    model.updateSettings(0, settings);

    model.setFlags(0, 0x08, 0x08);
    ASSERT_EQ(model.gotoPosition(0, 1000, 0, true), 0);
    ASSERT_EQ(model.gotoPosition(0, 1000, 0, true), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), 2000) << "the second move adds to the first target";

    model.setFlags(0, 0x08, 0x00);
    ASSERT_EQ(model.gotoPosition(0, 1000, 0, true), 0);
    ASSERT_EQ(model.gotoPosition(0, 1000, 0, true), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_LT(positionOf(model, 0), 3500) << "the second move starts from where the first is";
}

TEST(ControllerModel, PositionLimitsClampTargets) {
    ControllerModel model(SystemSetup::standard(1, false));
    auto settings = model.settings(0);
    settings.minPosition = -100;
    settings.maxPosition = 100;
    model.updateSettings(0, settings);
    ASSERT_EQ(model.gotoPosition(0, 5000, 0, false), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), 100);
}

TEST(ControllerModel, ClosedLoopNeedsAnEnabledSensor) {
    SystemSetup setup = SystemSetup::standard(2, false);
    setup.channels[1].sensorType = 0;
    ControllerModel model(setup);
    int32_t position;
    EXPECT_EQ(model.position(1, &position), refusal::kNoSensor);
    EXPECT_EQ(model.gotoPosition(1, 10, 0, false), refusal::kNoSensor);
    EXPECT_EQ(model.stepMove(1, 10, 100, 1000), 0) << "open-loop moves need no sensor";

    model.setSensorEnabled(0);
    EXPECT_EQ(model.position(0, &position), refusal::kSensorDisabled);
    model.setSensorEnabled(1);
    EXPECT_EQ(model.position(0, &position), 0);
}

TEST(ControllerModel, RotaryChannelsSpeakInAnglesAndRevolutions) {
    SystemSetup setup = SystemSetup::standard(2, false);
    setup.channels[1].rotary = true;
    setup.maximumSpeed = 2000000000;  // micro-degrees per second
    ControllerModel model(setup);
    int32_t position;
    uint32_t angle;
    int32_t revolution;
    EXPECT_EQ(model.position(1, &position), refusal::kWrongSensorType);
    EXPECT_EQ(model.angle(0, &angle, &revolution), refusal::kWrongSensorType);

    ASSERT_EQ(model.gotoAngle(1, 90000000, -1, 0, false), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(1) == status::kStopped; }));
    ASSERT_EQ(model.angle(1, &angle, &revolution), 0);
    EXPECT_EQ(angle, 90000000u);
    EXPECT_EQ(revolution, -1);

    ASSERT_EQ(model.gotoAngle(1, 300000000, 0, 0, true), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(1) == status::kStopped; }));
    ASSERT_EQ(model.angle(1, &angle, &revolution), 0);
    EXPECT_EQ(angle, 30000000u);
    EXPECT_EQ(revolution, 0);
}

TEST(ControllerModel, StepScanAndGripperMovesEndTheirStates) {
    ControllerModel model(SystemSetup::standard(2, false, 1));
    ASSERT_EQ(model.stepMove(0, 200, 4000, 1000), 0);  // 200 ms
    EXPECT_EQ(model.status(0), status::kStepping);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.status(0) == status::kStopped; }));
    EXPECT_EQ(positionOf(model, 0), 200 * 4000 / 4);
    EXPECT_EQ(model.stepMove(0, 1, 4096, 1000), refusal::kAmplitudeTooHigh);
    EXPECT_EQ(model.stepMove(0, 1, 100, 20001), refusal::kFrequencyTooHigh);

    ASSERT_EQ(model.scanMove(0, 4095, 4095000000u, false), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.voltageLevel(0) == 4095; }));
    EXPECT_EQ(model.scanMove(0, 4096, 1000, false), refusal::kScanTargetTooHigh);
    EXPECT_EQ(model.scanMove(0, 1, 0, false), refusal::kScanSpeedTooLow);

    ASSERT_EQ(model.gotoGripperOpening(1, 1000, 100000, false), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.gripperOpening(1) == 1000; }));
    ASSERT_EQ(model.gotoGripperOpening(1, -400, 100000, true), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.gripperOpening(1) == 600; }));
    EXPECT_EQ(model.gotoPosition(1, 0, 0, false), refusal::kUnknownCommand);
}

TEST(ControllerModel, ReferenceSearchMakesThePositionKnown) {
    ControllerModel model(SystemSetup::standard(1, false));
    EXPECT_EQ(model.physicalPositionKnown(0), 0);
    ASSERT_EQ(model.findReferenceMark(0, 0, true, 60000), 0);
    EXPECT_EQ(model.status(0), status::kFindingReference);
    EXPECT_TRUE(vxtest::waitUntil([&] { return model.physicalPositionKnown(0) == 1; }));
    EXPECT_EQ(model.status(0), status::kHolding);
    model.stop(0);
    EXPECT_EQ(model.physicalPositionKnown(0), 1) << "stopping keeps a found reference";
}

TEST(ControllerModel, StopFreezesAMoveWhereItIs) {
    ControllerModel model(SystemSetup::standard(1, false));
    auto settings = model.settings(0);
    settings.moveSpeed = 1000;
    model.updateSettings(0, settings);
    ASSERT_EQ(model.gotoPosition(0, 1000000, 0, false), 0);
    model.stop(0);
    EXPECT_EQ(model.status(0), status::kStopped);
    int32_t stopped = positionOf(model, 0);
    EXPECT_LT(stopped, 1000000);
    EXPECT_EQ(positionOf(model, 0), stopped);
}

TEST(ControllerModel, CompletionsAreReportedOnceForChannelsThatAskForThem) {
    ControllerModel model(SystemSetup::standard(2, false));
    EXPECT_FALSE(model.nextCompletion().has_value());
    model.setFlags(0, 0x02, 0x02);
    ASSERT_EQ(model.gotoPosition(0, 1000, 0, false), 0);
    ASSERT_EQ(model.gotoPosition(1, 1000, 0, false), 0);
    auto next = model.nextCompletion();
    ASSERT_TRUE(next.has_value());
    EXPECT_TRUE(model.takeCompletions(*next - 1h).empty());
    EXPECT_EQ(model.takeCompletions(*next + 1s), std::vector<size_t>{0});
    EXPECT_TRUE(model.takeCompletions(*next + 2s).empty());
    EXPECT_FALSE(model.nextCompletion().has_value());
}

TEST(ControllerModel, ResetRestoresChannelsButKeepsStoredConfiguration) {
    ControllerModel model(SystemSetup::standard(1, true));
    model.setSynchronous(false);
    model.setSensorType(0, 9);
    model.setIndexMapEntry(3, 7);
    model.reset();
    EXPECT_TRUE(model.synchronous());
    EXPECT_EQ(model.sensorType(0), 1);
    EXPECT_EQ(model.indexMapEntry(3), 7);
}
