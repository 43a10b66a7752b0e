#include <array>
#include <functional>
#include <string>
#include <tuple>

#include "control/gen2ops/OpsFixture.h"

namespace {

using namespace gen2ops;
using System = qmx::SystemVeltraxCTL;

// A setter or move, what its one command group holds, in order.
struct WriteCase {
    std::string name;
    std::function<VX_STATUS(System&, bool sync)> call;
    std::vector<Step> group;
};

const std::vector<WriteCase>& writeCases() {
    static const std::vector<WriteCase> cases = {
        {"AccumulateRelative", [](System& s, bool y) { return s.setAccumulateRelativePositions(0, 0, y); },
         {write32(key::kChannelOptions, 0, 0x11)}},
        {"AngleLimit", [](System& s, bool y) { return s.setAngleLimit(2, 90000000, -1, 0, 1, y); },
         {write64(key::kRangeLimitMin, 2, -270000000000), write64(key::kRangeLimitMax, 2, 360000000000)}},
        {"ChannelProperty", [](System& s, bool y) { return s.setChannelProperty(1, 0x01020001, 1, y); },
         {write32(key::kChannelValue19, 1, 2)}},
        {"MaxFrequency", [](System& s, bool y) { return s.setClosedLoopMaxFrequency(0, 5000, y); },
         {write32(key::kMaxClosedLoopFrequency, 0, 5000)}},
        {"Acceleration", [](System& s, bool y) { return s.setClosedLoopMoveAcceleration(0, 5, y); },
         {write64(key::kMoveAcceleration, 0, 5000000)}},
        {"Speed", [](System& s, bool y) { return s.setClosedLoopMoveSpeed(0, 0xFFFFFFFF, y); },
         {write64(key::kMoveVelocity, 0, -1000)}},
        {"RotaryPosition", [](System& s, bool y) { return s.setPosition(2, 359999999, y); },
         {write64(key::kPosition, 2, 359999999000)}},
        {"PositionLimit", [](System& s, bool y) { return s.setPositionLimit(1, -5, 7, y); },
         {write64(key::kRangeLimitMin, 1, -5000), write64(key::kRangeLimitMax, 1, 7000)}},
        {"SafeDirection", [](System& s, bool y) { return s.setSafeDirection(0, 1, y); },
         {write32(key::kSafeDirection, 0, 1)}},
        {"LinearScale", [](System& s, bool y) { return s.setScale(0, -5, 1, y); },
         {write64(key::kLogicalScaleOffset, 0, -5000), write32(key::kLogicalScaleInversion, 0, 1)}},
        // Kept within one revolution, with the sign of the shift.
        {"RotaryScale", [](System& s, bool y) { return s.setScale(2, -400000000, 0, y); },
         {write64(key::kLogicalScaleOffset, 2, -40000000000), write32(key::kLogicalScaleInversion, 2, 0)}},
        {"SensorEnabled", [](System& s, bool y) { return s.setSensorEnabled(2, y); },
         {write32(key::kSensorPowerMode, 0, 2), write32(key::kSensorPowerMode, 1, 2),
          write32(key::kSensorPowerMode, 2, 2)}},
        {"SensorTypeWithCode", [](System& s, bool y) { return s.setSensorType(0, 1, y); },
         {write32(key::kPositionerType, 0, 300)}},
        {"SensorTypeWithoutCode", [](System& s, bool y) { return s.setSensorType(0, 3, y); },
         {write32(key::kPositionerType, 0, 3)}},
        {"SensorTypeUnknown", [](System& s, bool y) { return s.setSensorType(0, 200, y); },
         {write32(key::kPositionerType, 0, 200)}},
        {"StepWhileScan", [](System& s, bool y) { return s.setStepWhileScan(1, 0, y); },
         {write32(key::kChannelOptions, 1, 0x1C)}},
        {"TuningParameter", [](System& s, bool y) { return s.writeTuningParameter(0, 6, -5, y); },
         {write64(key::kRangeValue23, 0, -5000)}},
        {"ConfigParameter", [](System& s, bool y) { return s.writeConfigParameter(1, 5, 1, y); },
         {write32(key::kReferencingValue0E, 1, 1)}},
        {"GotoPosition", [](System& s, bool y) { return s.gotoPosition(0, 12, 60000, false, y); },
         {write32(key::kMoveMode, 0, 0), write32(key::kHoldTime, 0, -1), move(0, 12000)}},
        {"GotoPositionRelative", [](System& s, bool y) { return s.gotoPosition(1, -3, 7, true, y); },
         {write32(key::kMoveMode, 1, 1), write32(key::kHoldTime, 1, 7), move(1, -3000)}},
        {"GotoAngle", [](System& s, bool y) { return s.gotoAngle(2, 90000000, -1, 5, 0x88, y); },
         {write32(key::kMoveMode, 2, 0), write32(key::kHoldTime, 2, 5), move(2, -270000000000)}},
        {"GotoAngleRelative", [](System& s, bool y) { return s.gotoAngle(2, -359999999, 0, 0, 0x98, y); },
         {write32(key::kMoveMode, 2, 1), write32(key::kHoldTime, 2, 0), move(2, -359999999000)}},
        {"ScanAbsolute", [](System& s, bool y) { return s.scanMoveAbsolute(0, 2048, 1, y); },
         {write32(key::kMoveMode, 0, 2), write64(key::kScanVelocity, 0, 16), move(0, 32775)}},
        {"ScanRelative", [](System& s, bool y) { return s.scanMoveRelative(0, 4095, 4095, y); },
         {write32(key::kMoveMode, 0, 3), write64(key::kScanVelocity, 0, 65535), move(0, 65535)}},
        {"Step", [](System& s, bool y) { return s.stepMove(1, -100, 100, 2000, y); },
         {write32(key::kMoveMode, 1, 4), write32(key::kStepAmplitude, 1, 1600), write32(key::kStepFrequency, 1, 2000),
          move(1, -100)}},
        {"Calibrate", [](System& s, bool y) { return s.calibrateSensor(0, y); },
         {write32(key::kCalibrationOptions, 0, 0), command(wire::kCalibrate, 0)}},
        {"Reference", [](System& s, bool y) { return s.findReferenceMark(0, 4, 0, 1, y); },
         {write32(key::kHoldTime, 0, 0), write32(key::kReferencingOptions, 0, 12), command(wire::kReference, 0)}},
        {"Stop", [](System& s, bool y) { return s.stop(1, y); }, {command(wire::kStop, 1)}},
        {"StepOfNoSteps", [](System& s, bool y) { return s.stepMove(1, 0, 4095, 100, y); }, {command(wire::kStop, 1)}},
    };
    return cases;
}

class Writes : public OpsTest, public ::testing::WithParamInterface<std::tuple<uint32_t, size_t>> {};

TEST_P(Writes, SendOneGroupWithTheWritesInOrderAndEndWithoutError) {
    const auto [mode, at] = GetParam();
    const WriteCase& c = writeCases()[at];
    openIn(mode);
    EXPECT_EQ(c.call(system_, mode == 1), VX_OK);
    EXPECT_EQ(oneGroup(), c.group);
    // Every write was confirmed: no error packet follows in mode 2.
    if (mode == 2) {
        for (const Step& step : c.group) {
            if (step.type != wire::kWriteProperty) continue;
            EXPECT_TRUE(vxtest::waitUntil([&] { return stored(step.index, step.key) == *step.value; })) << step;
        }
        VX_packet packet{};
        ASSERT_EQ(system_.receiveNextPacket(0, &packet, true), VX_OK);
        EXPECT_NE(packet.packetType, uint32_t{VX_PACKET_ERROR});
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, Writes,
                         ::testing::Combine(::testing::Values(1u, 2u), ::testing::Range<size_t>(0, writeCases().size())),
                         [](const auto& info) {
                             return writeCases()[std::get<1>(info.param)].name + "InMode" +
                                    std::to_string(std::get<0>(info.param));
                         });


// A getter: what the controller holds, what it reads in one group, and
// the packet; a synchronous call's outputs are the packet's words too.
struct ReadCase {
    std::string name;
    std::function<void(vxsim::Gen2Model&)> given;
    std::function<VX_STATUS(System&, bool sync, VX_packet* out)> call;
    std::vector<Step> group;
    VX_packet packet;
};

// What the controller holds; its read-only values are defined anew.
void set(vxsim::Gen2Model& model, uint8_t index, uint32_t k, PropertyValue value) {
    if (k == key::kVoltageLevel || k == key::kChannelState)
        model.define({index, k}, std::move(value), true);
    else
        ASSERT_EQ(model.write({index, k}, value), vxsim::gen2result::kOk);
}

const std::vector<ReadCase>& readCases() {
    static const std::vector<ReadCase> cases = {
        {"AngleLimit",
         [](auto& m) {
             set(m, 2, key::kRangeLimitMin, int64_t{-1000});
             set(m, 2, key::kRangeLimitMax, int64_t{360000000000});
         },
         [](System& s, bool y, VX_packet* p) {
             return s.getAngleLimit(2, y, &p->data1, &p->data2, &p->data4, &p->data3);
         },
         {read(key::kRangeLimitMin, 2), read(key::kRangeLimitMax, 2)},
         {VX_PACKET_ANGLE_LIMIT, 2, 359999999, -1, 1, 0}},
        {"ChannelProperty", [](auto& m) { set(m, 1, key::kMoveVelocity, int64_t{-5500}); },
         [](System& s, bool y, VX_packet* p) {
             p->data1 = 0x08070031;
             return s.getChannelProperty(1, 0x08070031, y, &p->data2);
         },
         {read(key::kMoveVelocity, 1)}, {VX_PACKET_CHANNEL_PROPERTY, 1, 0x08070031, -6, 0, 0}},
        {"Acceleration", [](auto& m) { set(m, 0, key::kMoveAcceleration, int64_t{-1500000}); },
         [](System& s, bool y, VX_packet* p) { return s.getClosedLoopMoveAcceleration(0, y, &p->data1); },
         {read(key::kMoveAcceleration, 0)},
         {VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION, 0, static_cast<uint32_t>(-2), 0, 0, 0}},
        {"Speed", [](auto& m) { set(m, 0, key::kMoveVelocity, int64_t{-5499}); },
         [](System& s, bool y, VX_packet* p) { return s.getClosedLoopMoveSpeed(0, y, &p->data1); },
         {read(key::kMoveVelocity, 0)}, {VX_PACKET_CLOSED_LOOP_MOVE_SPEED, 0, static_cast<uint32_t>(-5), 0, 0, 0}},
        {"PositionLimit",
         [](auto& m) {
             set(m, 1, key::kRangeLimitMin, int64_t{-1500});
             set(m, 1, key::kRangeLimitMax, int64_t{2499});
         },
         [](System& s, bool y, VX_packet* p) { return s.getPositionLimit(1, y, &p->data2, &p->data3); },
         {read(key::kRangeLimitMin, 1), read(key::kRangeLimitMax, 1)}, {VX_PACKET_POSITION_LIMIT, 1, 0, -2, 2, 0}},
        {"SafeDirection", [](auto& m) { set(m, 0, key::kSafeDirection, int32_t{7}); },
         [](System& s, bool y, VX_packet* p) { return s.getSafeDirection(0, y, &p->data1); },
         {read(key::kSafeDirection, 0)}, {VX_PACKET_SAFE_DIRECTION, 0, 1, 0, 0, 0}},
        {"Scale",
         [](auto& m) {
             set(m, 2, key::kLogicalScaleOffset, int64_t{2500});
             set(m, 2, key::kLogicalScaleInversion, int32_t{1});
         },
         [](System& s, bool y, VX_packet* p) { return s.getScale(2, y, &p->data2, &p->data1); },
         {read(key::kLogicalScaleOffset, 2), read(key::kLogicalScaleInversion, 2)}, {VX_PACKET_SCALE, 2, 1, 3, 0, 0}},
        {"SensorEnabled", [](auto& m) { set(m, 0, key::kSensorPowerMode, int32_t{2}); },
         [](System& s, bool y, VX_packet* p) { return s.getSensorEnabled(y, &p->data1); },
         {read(key::kSensorPowerMode, 0)}, {VX_PACKET_SENSOR_ENABLED, 0, 2, 0, 0, 0}},
        {"SensorType", [](auto& m) { set(m, 1, key::kPositionerType, int32_t{325}); },
         [](System& s, bool y, VX_packet* p) { return s.getSensorType(1, y, &p->data1); },
         {read(key::kPositionerType, 1)}, {VX_PACKET_SENSOR_TYPE, 1, 16, 0, 0, 0}},
        {"PositionerType", [](auto& m) { set(m, 1, key::kPositionerType, int32_t{999}); },
         [](System& s, bool y, VX_packet* p) { return s.getPositionerType(1, y, &p->data1); },
         {read(key::kPositionerType, 1)}, {VX_PACKET_POSITIONER_TYPE, 1, 999, 0, 0, 0}},
        {"Status", [](auto& m) { set(m, 0, key::kChannelState, int32_t{0x18}); },
         [](System& s, bool y, VX_packet* p) { return s.getStatus(0, y, &p->data1); },
         {read(key::kChannelState, 0)}, {VX_PACKET_STATUS, 0, 7, 0, 0, 0}},
        {"Position", [](auto& m) { set(m, 1, key::kPosition, int64_t{-1500}); },
         [](System& s, bool y, VX_packet* p) { return s.getPosition(1, y, &p->data2); },
         {read(key::kPosition, 1)}, {VX_PACKET_POSITION, 1, 0, -2, 0, 0}},
        {"Angle", [](auto& m) { set(m, 2, key::kPosition, int64_t{360000001000}); },
         [](System& s, bool y, VX_packet* p) { return s.getAngle(2, y, &p->data1, &p->data2); },
         {read(key::kPosition, 2)}, {VX_PACKET_ANGLE, 2, 1, 1, 0, 0}},
        {"PhysicalPositionKnown", [](auto& m) { set(m, 1, key::kChannelState, int32_t{0x80}); },
         [](System& s, bool y, VX_packet* p) { return s.getPhysicalPositionKnown(1, y, &p->data1); },
         {read(key::kChannelState, 1)}, {VX_PACKET_PHYSICAL_POSITION_KNOWN, 1, 1, 0, 0, 0}},
        {"VoltageLevel", [](auto& m) { set(m, 0, key::kVoltageLevel, int64_t{-33}); },
         [](System& s, bool y, VX_packet* p) { return s.getVoltageLevel(0, y, &p->data1); },
         {read(key::kVoltageLevel, 0)}, {VX_PACKET_VOLTAGE_LEVEL, 0, static_cast<uint32_t>(-2), 0, 0, 0}},
        {"TuningParameter", [](auto& m) { set(m, 1, key::kRangeValue23, int64_t{2500}); },
         [](System& s, bool y, VX_packet* p) {
             p->data1 = 6;
             return s.readTuningParameter(1, 6, y, reinterpret_cast<uint32_t*>(&p->data2));
         },
         {read(key::kRangeValue23, 1)}, {VX_PACKET_PARAMETER, 1, 6, 3, 0, 0}},
        {"ConfigParameter", [](auto& m) { set(m, 0, key::kSensorPowerMode, int32_t{2}); },
         [](System& s, bool y, VX_packet* p) {
             p->data1 = 1;
             return s.readConfigParameter(0, 1, y, reinterpret_cast<uint32_t*>(&p->data2));
         },
         {read(key::kSensorPowerMode, 0)}, {VX_PACKET_PARAMETER, 0, 1, 2, 0, 0}},
        {"DebugValue", [](auto& m) { set(m, 0, key::kChannelState, int32_t{0x8000}); },
         [](System& s, bool y, VX_packet* p) {
             p->data1 = 20;
             EXPECT_EQ(s.setDebuggingEnabled(0, 1, y), VX_OK);
             return s.readDebugValue(0, 20, y, reinterpret_cast<uint32_t*>(&p->data2));
         },
         {read(key::kChannelState, 0)}, {VX_PACKET_DEBUG_VALUE, 0, 20, 4095, 0, 0}},
    };
    return cases;
}

class Reads : public OpsTest, public ::testing::WithParamInterface<std::tuple<uint32_t, size_t>> {};

TEST_P(Reads, SendOneGroupOfReadsAndGiveThePacketOrTheOutputs) {
    const auto [mode, at] = GetParam();
    const ReadCase& c = readCases()[at];
    openIn(mode);
    c.given(sim_.model());
    VX_packet outputs{};
    ASSERT_EQ(c.call(system_, mode == 1, &outputs), VX_OK);
    EXPECT_EQ(oneGroup(), c.group);
    const VX_packet expected = c.packet;
    if (mode == 1) {
        EXPECT_EQ(outputs.data1, expected.data1);
        EXPECT_EQ(outputs.data2, expected.data2);
        EXPECT_EQ(outputs.data3, expected.data3);
        EXPECT_EQ(outputs.data4, expected.data4);
        return;
    }
    const VX_packet packet = next();
    EXPECT_EQ(packet.packetType, expected.packetType);
    EXPECT_EQ(packet.channelIndex, expected.channelIndex);
    EXPECT_EQ(packet.data1, expected.data1);
    EXPECT_EQ(packet.data2, expected.data2);
    EXPECT_EQ(packet.data3, expected.data3);
    EXPECT_EQ(packet.data4, expected.data4);
}

INSTANTIATE_TEST_SUITE_P(Operations, Reads,
                         ::testing::Combine(::testing::Values(1u, 2u), ::testing::Range<size_t>(0, readCases().size())),
                         [](const auto& info) {
                             return readCases()[std::get<1>(info.param)].name + "InMode" +
                                    std::to_string(std::get<0>(info.param));
                         });


// A refusal: its status, nothing sent; a refusal that comes from a table
// lookup opens a group first and cancels it.
struct RefusalCase {
    std::string name;
    std::function<VX_STATUS(System&, bool sync)> call;
    VX_STATUS status;
    bool cancelsAGroup = false;
};

const std::vector<RefusalCase>& refusalCases() {
    static const std::vector<RefusalCase> cases = {
        {"WrongMode", [](System& s, bool y) { return s.getStatus(0, !y, nullptr); }, VX_WRONG_MODE},
        {"Channel", [](System& s, bool y) { return s.setSafeDirection(3, 1, y); }, VX_INVALID_CHANNEL_INDEX},
        {"HoldTime", [](System& s, bool y) { return s.gotoPosition(0, 1, 60001, false, y); }, VX_INVALID_PARAMETER},
        {"AngleBelowRelative", [](System& s, bool y) { return s.gotoAngle(2, -360000000, 0, 0, 0x98, y); },
         VX_INVALID_PARAMETER},
        {"AngleBelowAbsolute", [](System& s, bool y) { return s.gotoAngle(2, -1, 0, 0, 0x88, y); },
         VX_INVALID_PARAMETER},
        {"RevolutionBeyond16Bits", [](System& s, bool y) { return s.gotoAngle(2, 0, 32768, 0, 0x88, y); },
         VX_INVALID_PARAMETER},
        {"LimitRevolutionBeyond16Bits", [](System& s, bool y) { return s.setAngleLimit(2, 0, -32769, 0, 0, y); },
         VX_INVALID_PARAMETER},
        {"RevolutionFarBeyond", [](System& s, bool y) { return s.setAngleLimit(2, 0, 0, 0, 30000000, y); },
         VX_INVALID_PARAMETER},
        {"ScanTargetTooLarge", [](System& s, bool y) { return s.scanMoveAbsolute(0, 0x7FFFFFFF, 1, y); },
         VX_INVALID_PARAMETER},
        {"ScanDifferenceTooSmall", [](System& s, bool y) { return s.scanMoveRelative(0, -0x7FFFFFFF, 1, y); },
         VX_INVALID_PARAMETER},
        {"StepAmplitudeTooLarge", [](System& s, bool y) { return s.stepMove(0, 5, 0x7FFFFFFF, 1, y); },
         VX_INVALID_PARAMETER},
        {"RotaryPosition", [](System& s, bool y) { return s.setPosition(2, 360000000, y); }, VX_INVALID_PARAMETER},
        {"NegativeRotaryPosition", [](System& s, bool y) { return s.setPosition(2, -1, y); }, VX_INVALID_PARAMETER},
        {"SensorMode", [](System& s, bool y) { return s.setSensorEnabled(3, y); }, VX_INVALID_PARAMETER},
        {"Direction", [](System& s, bool y) { return s.findReferenceMark(0, 8, 0, 0, y); }, VX_INVALID_PARAMETER},
        {"Accumulate", [](System& s, bool y) { return s.setAccumulateRelativePositions(0, 2, y); },
         VX_INVALID_PARAMETER},
        {"ScaleInversion", [](System& s, bool y) { return s.setScale(0, 0, 2, y); }, VX_INVALID_PARAMETER},
        {"ChannelPropertyValue", [](System& s, bool y) { return s.setChannelProperty(0, 0x01020001, 2, y); },
         VX_INVALID_PARAMETER, true},
        {"PositionOfRotary", [](System& s, bool y) { return s.getPosition(2, y, nullptr); }, VX_WRONG_SENSOR_TYPE},
        {"AngleOfLinear", [](System& s, bool y) { return s.getAngle(0, y, nullptr, nullptr); },
         VX_WRONG_SENSOR_TYPE},
        {"GotoAngleOfLinear", [](System& s, bool y) { return s.gotoAngle(0, 0, 0, 0, 0x88, y); },
         VX_WRONG_SENSOR_TYPE},
        {"UnknownProperty", [](System& s, bool y) { return s.setChannelProperty(0, 0x01020002, 1, y); },
         VX_INVALID_PROPERTY, true},
        {"UnknownPropertyRead", [](System& s, bool y) { return s.getChannelProperty(0, 0x01020002, y, nullptr); },
         VX_INVALID_PROPERTY, true},
        {"NotWritable", [](System& s, bool y) { return s.setChannelProperty(0, 0x08060013, 0, y); },
         VX_OTHER_ERROR, true},
        {"UnknownTuning", [](System& s, bool y) { return s.readTuningParameter(0, 3, y, nullptr); },
         qmx::kUnknownTuningParameter, true},
        {"UnknownTuningWrite", [](System& s, bool y) { return s.writeTuningParameter(0, 3, 0, y); },
         qmx::kUnknownTuningParameter, true},
        {"UnknownDebugValue",
         [](System& s, bool y) {
             EXPECT_EQ(s.setDebuggingEnabled(0, 1, y), VX_OK);
             return s.readDebugValue(0, 17, y, nullptr);
         },
         qmx::kUnknownDebugValue, true},
        {"DebugWriteWhileDebugging",
         [](System& s, bool y) {
             EXPECT_EQ(s.setDebuggingEnabled(0, 1, y), VX_OK);
             return s.writeDebugValue(0, 16, 1, y);
         },
         qmx::kUnknownDebugValue},
        {"DebugReadWithoutDebugging", [](System& s, bool y) { return s.readDebugValue(0, 20, y, nullptr); },
         VX_UNKNOWN_COMMAND},
        {"DebugWriteWithoutDebugging", [](System& s, bool y) { return s.writeDebugValue(0, 20, 1, y); },
         VX_UNKNOWN_COMMAND},
        {"Triggered", [](System& s, bool) { return s.appendTriggeredCommand(0, 1); }, VX_UNKNOWN_COMMAND},
        {"CaptureBuffer", [](System& s, bool y) { return s.getCaptureBuffer(0, 0, y, nullptr); },
         VX_UNKNOWN_COMMAND},
        {"HandControlSlot", [](System& s, bool) { return s.readHCMEepromType(nullptr); }, VX_UNKNOWN_COMMAND},
        {"ZeroForce", [](System& s, bool y) { return s.setZeroForce(0, y); }, VX_WRONG_CHANNEL_TYPE},
        {"Force", [](System& s, bool y) { return s.getForce(0, y, nullptr); }, VX_WRONG_CHANNEL_TYPE},
        {"Opcode", [](System& s, bool y) { return s.gotoAngle(2, 0, 0, 0, 0x89, y); }, VX_OTHER_ERROR},
        {"HandControlMode", [](System& s, bool) { return s.setHCMEnabled(3); }, VX_INVALID_PARAMETER},
    };
    return cases;
}

class Refusals : public OpsTest, public ::testing::WithParamInterface<std::tuple<uint32_t, size_t>> {};

TEST_P(Refusals, SendNothing) {
    const auto [mode, at] = GetParam();
    const RefusalCase& c = refusalCases()[at];
    openIn(mode);
    EXPECT_EQ(c.call(system_, mode == 1), c.status);
    // An empty group reaches the controller neither when opened nor when
    // cancelled.
    EXPECT_TRUE(commands().empty());
    if (c.cancelsAGroup) {
        // The cancelled group is gone: the next operation's group holds its
        // own write only.
        EXPECT_EQ(system_.setSafeDirection(0, 1, mode == 1), VX_OK);
        EXPECT_EQ(oneGroup(), std::vector<Step>{write32(key::kSafeDirection, 0, 1)});
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, Refusals,
                         ::testing::Combine(::testing::Values(1u, 2u), ::testing::Range<size_t>(0, refusalCases().size())),
                         [](const auto& info) {
                             return refusalCases()[std::get<1>(info.param)].name + "InMode" +
                                    std::to_string(std::get<0>(info.param));
                         });


TEST_F(OpsTest, BeforeOpenEveryCheckedOperationGivesNotInitializedAndTheFixedOnesTheirStatus) {
    EXPECT_EQ(system_.gotoPosition(0, 1, 0, false, true), VX_NOT_INITIALIZED);
    EXPECT_EQ(system_.getStatus(0, false, nullptr), VX_NOT_INITIALIZED);
    EXPECT_EQ(system_.setHCMEnabled(1), VX_NOT_INITIALIZED);
    uint8_t byte = 0;
    uint32_t size = 1;
    EXPECT_EQ(system_.getFeaturePermissions(0, &byte, &size), VX_NOT_INITIALIZED);
    EXPECT_EQ(system_.appendTriggeredCommand(0, 1), VX_UNKNOWN_COMMAND);
    EXPECT_EQ(system_.setZeroForce(0, true), VX_WRONG_CHANNEL_TYPE);
    EXPECT_EQ(system_.getEndEffectorType(0, true, nullptr, nullptr, nullptr), VX_WRONG_CHANNEL_TYPE);
    EXPECT_TRUE(sim_.endpoint().requests().empty());
}

}  // namespace
