#include <functional>

#include "Gen1Fixture.h"

namespace gen1test {

namespace {

using Call = std::function<VX_STATUS(qmx::System&)>;
using S = qmx::System;

struct Refusal {
    const char* name;
    Call call;
    VX_STATUS status;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

// A three-channel synchronous system (positioner 0x2100, positioner 0x6101,
// end effector 0x9102).
class CommandChecks : public Gen1Test {
protected:
    void openSystem(const std::string& options = "") {
        simulateTcp(SystemSetup::standard(3, true, 1));
        ASSERT_EQ(openTcp(options), 0u);
        ASSERT_TRUE(vxtest::waitUntil([&] { return model().synchronous() == options.empty(); }));
    }
    // Runs `call` and proves that it sent nothing: the next request the
    // controller sees is a status query's.
    VX_STATUS refusedSilently(const Call& call) {
        endpoint().clearRequests();
        VX_STATUS status = call(*system);
        uint32_t value;
        const bool sync = model().synchronous();
        EXPECT_EQ(system->getStatus(0, sync, &value), 0u);
        EXPECT_TRUE(endpoint().waitForRequests(1, 2000ms));
        auto requests = endpoint().requests();
        EXPECT_EQ(requests.size(), 1u);
        if (!requests.empty()) {
            EXPECT_EQ(requests.front(), gen1Packet(word(0), 0xA0));
        }
        if (!sync) {
            VX_packet packet;
            system->receiveNextPacket(2000, &packet, true);
        }
        return status;
    }
};

const Refusal kValueRefusals[] = {
    {"MinAngle", [](S& s) { return s.setAngleLimit(0, 360000000, 0, 0, 0, true); }, 9},
    {"MinRevolution", [](S& s) { return s.setAngleLimit(0, 0, 32768, 0, 0, true); }, 9},
    {"MaxAngle", [](S& s) { return s.setAngleLimit(0, 0, 0, 360000000, 0, true); }, 9},
    {"MaxRevolution", [](S& s) { return s.setAngleLimit(0, 0, 0, 0, -32769, true); }, 9},
    {"MaxFrequencyLow", [](S& s) { return s.setClosedLoopMaxFrequency(0, 49, true); }, 9},
    {"MaxFrequencyHigh", [](S& s) { return s.setClosedLoopMaxFrequency(0, 18501, true); }, 9},
    {"Acceleration", [](S& s) { return s.setClosedLoopMoveAcceleration(0, 100000001, true); }, 9},
    {"Speed", [](S& s) { return s.setClosedLoopMoveSpeed(0, 100000001, true); }, 9},
    {"EndEffectorType", [](S& s) { return s.setEndEffectorType(2, 256, 0, 0, true); }, 9},
    {"SafeDirection", [](S& s) { return s.setSafeDirection(0, 2, true); }, 9},
    {"ScaleInverted", [](S& s) { return s.setScale(0, 0, 2, true); }, 9},
    {"SensorEnabled", [](S& s) { return s.setSensorEnabled(3, true); }, 9},
    {"SensorType", [](S& s) { return s.setSensorType(0, 256, true); }, 9},
    {"StepWhileScan", [](S& s) { return s.setStepWhileScan(0, 2, true); }, 9},
    {"ReferenceDirection", [](S& s) { return s.findReferenceMark(0, 8, 0, 0, true); }, 9},
    {"ReferenceAutoZero", [](S& s) { return s.findReferenceMark(0, 0, 0, 2, true); }, 9},
    {"ReferenceHoldTime", [](S& s) { return s.findReferenceMark(0, 0, 60001, 0, true); }, 9},
    {"AbsoluteAngle", [](S& s) { return s.gotoAngle(0, 360000000, 0, 0, 0x88, true); }, 9},
    {"RelativeAngleHigh", [](S& s) { return s.gotoAngle(0, 360000000, 0, 0, 0x98, true); }, 9},
    {"RelativeAngleLow", [](S& s) { return s.gotoAngle(0, -360000000, 0, 0, 0x98, true); }, 9},
    {"AngleRevolution", [](S& s) { return s.gotoAngle(0, 0, 32768, 0, 0x88, true); }, 9},
    {"AngleHoldTime", [](S& s) { return s.gotoAngle(0, 0, 0, 60001, 0x88, true); }, 9},
    {"AngleOpcode", [](S& s) { return s.gotoAngle(0, 0, 0, 0, 0x77, true); }, 255},
    {"ForceHigh", [](S& s) { return s.gotoGripperForceAbsolute(2, 100001, 1, 0, true); }, 9},
    {"ForceLow", [](S& s) { return s.gotoGripperForceAbsolute(2, -100001, 1, 0, true); }, 9},
    {"ForceSpeedZero", [](S& s) { return s.gotoGripperForceAbsolute(2, 0, 0, 0, true); }, 9},
    {"ForceSpeedHigh", [](S& s) { return s.gotoGripperForceAbsolute(2, 0, 225001, 0, true); }, 9},
    {"Opening", [](S& s) { return s.gotoGripperOpeningAbsolute(2, 22501, 1, true); }, 9},
    {"OpeningSpeed", [](S& s) { return s.gotoGripperOpeningAbsolute(2, 0, 0, true); }, 9},
    {"OpeningDifference", [](S& s) { return s.gotoGripperOpeningRelative(2, 22501, 1, true); }, 9},
    {"OpeningDifferenceSpeed", [](S& s) { return s.gotoGripperOpeningRelative(2, 0, 225001, true); }, 9},
    {"PositionHoldTime", [](S& s) { return s.gotoPosition(0, 0, 60001, false, true); }, 9},
    {"ScanTarget", [](S& s) { return s.scanMoveAbsolute(0, 4096, 1, true); }, 9},
    {"ScanSpeedZero", [](S& s) { return s.scanMoveAbsolute(0, 0, 0, true); }, 9},
    {"ScanSpeedHigh",
     [](S& s) { return s.scanMoveAbsolute(0, 0, static_cast<int32_t>(4095000001u), true); }, 9},
    {"ScanDifferenceHigh", [](S& s) { return s.scanMoveRelative(0, 32768, 1, true); }, 9},
    {"ScanDifferenceLow", [](S& s) { return s.scanMoveRelative(0, -32769, 1, true); }, 9},
    {"StepsHigh", [](S& s) { return s.stepMove(0, 30001, 0, 1, true); }, 9},
    {"StepsLow", [](S& s) { return s.stepMove(0, -30001, 0, 1, true); }, 9},
    {"Amplitude", [](S& s) { return s.stepMove(0, 1, 4096, 1, true); }, 9},
    {"FrequencyZero", [](S& s) { return s.stepMove(0, 1, 0, 0, true); }, 9},
    {"FrequencyHigh", [](S& s) { return s.stepMove(0, 1, 0, 20001, true); }, 9},
    {"CaptureBuffer", [](S& s) { return s.getCaptureBuffer(0, 256, true, nullptr); }, 9},
    {"Debugging", [](S& s) { return s.setDebuggingEnabled(0, 2, true); }, 9},
    {"DebugRead", [](S& s) { return s.readDebugValue(0, 256, true, nullptr); }, 9},
    {"DebugWrite", [](S& s) { return s.writeDebugValue(0, 256, 0, true); }, 9},
    {"TuningRead", [](S& s) { return s.readTuningParameter(0, 256, true, nullptr); }, 9},
    {"TuningWrite", [](S& s) { return s.writeTuningParameter(0, 256, 0, true); }, 9},
    {"ConfigRead", [](S& s) { return s.readConfigParameter(0, 256, true, nullptr); }, 9},
    {"ConfigWrite", [](S& s) { return s.writeConfigParameter(0, 256, 0, true); }, 9},
    {"HcmEnabled", [](S& s) { return s.setHCMEnabled(3); }, 9},
    // The fixed order: mode, channel, class, values.
    {"ModeFirst", [](S& s) { return s.stepMove(5, 99999, 0, 0, false); }, 13},
    {"ChannelSecond", [](S& s) { return s.stepMove(5, 99999, 0, 0, true); }, 6},
    {"ClassThird", [](S& s) { return s.stepMove(2, 99999, 0, 0, true); }, 19},
    {"AsynchronousOnly", [](S& s) { return s.setReportOnComplete(0, 1); }, 13},
    {"AsynchronousOnlyTrigger", [](S& s) { return s.triggerCommand(1); }, 13},
    {"AsynchronousOnlyAppend", [](S& s) { return s.appendTriggeredCommand(0, 1); }, 13},
    {"AsynchronousOnlyClear", [](S& s) { return s.clearTriggeredCommandQueue(0); }, 13},
    {"AnyChannelCountsChannels", [](S& s) { return s.getStatus(3, true, nullptr); }, 6},
    {"ChannelTypeCountsChannels", [](S& s) { return s.getChannelType(3, nullptr); }, 6},
    {"FeaturesCountChannels",
     [](S& s) {
         uint32_t size = 8;
         uint8_t bytes[8];
         return s.getFeaturePermissions(3, bytes, &size);
     },
     6},
    {"VoltageOnEndEffector", [](S& s) { return s.getVoltageLevel(2, true, nullptr); }, 19},
    {"OpeningOnPositioner", [](S& s) { return s.getGripperOpening(0, true, nullptr); }, 19},
    {"ForceOnPositioner", [](S& s) { return s.getForce(1, true, nullptr); }, 19},
    {"ZeroForceOnPositioner", [](S& s) { return s.setZeroForce(0, true); }, 19},
    {"EndEffectorTypeOnPositioner", [](S& s) { return s.getEndEffectorType(0, true, nullptr, nullptr, nullptr); }, 19},
    {"PositionOnEndEffector", [](S& s) { return s.getPosition(2, true, nullptr); }, 19},
    {"SensorEnabledFlag", [](S& s) { return s.getSensorEnabled(false, nullptr); }, 13},
};

class RefusedCommands : public CommandChecks, public ::testing::WithParamInterface<Refusal> {};

}  // namespace

TEST_P(RefusedCommands, ReturnTheirStatusAndSendNothing) {
    openSystem();
    EXPECT_EQ(refusedSilently(GetParam().call), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Checks, RefusedCommands, ::testing::ValuesIn(kValueRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(CommandChecks, AsynchronousOnlyOperationsCheckChannelAndClass) {
    openSystem("async");
    EXPECT_EQ(refusedSilently([](S& s) { return s.setReportOnComplete(2, 1); }), 19u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.setReportOnTriggered(0, 2); }), 9u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.appendTriggeredCommand(2, 1); }), 19u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.clearTriggeredCommandQueue(3); }), 6u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.triggerCommand(256); }), 9u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.getPosition(0, true, nullptr); }), 13u);
    EXPECT_EQ(refusedSilently([](S& s) { return s.readSpeedLevelTableSize(nullptr); }), 13u);
    EXPECT_EQ(refusedSilently([](S& s) {
                  uint32_t size = 256;
                  uint8_t data[256];
                  return s.readHCMConfigSlot(0, data, &size);
              }),
              13u);
}

TEST_F(CommandChecks, EveryCommandWantsAnOpenSystem) {
    simulateTcp(SystemSetup::standard(1, true));
    system = std::make_unique<qmx::System>();
    uint32_t u;
    int32_t i;
    EXPECT_EQ(system->getPosition(0, true, &i), 2u);
    EXPECT_EQ(system->stop(0, false), 2u);
    EXPECT_EQ(system->getSensorEnabled(true, &u), 2u);
    EXPECT_EQ(system->triggerCommand(0), 2u);
    EXPECT_EQ(system->setReportOnComplete(0, 0), 2u);
    EXPECT_EQ(system->setHCMEnabled(0), 2u);
    EXPECT_EQ(system->readSpeedLevelTableSize(&u), 2u);
    EXPECT_EQ(system->readHCMEepromType(&u), 2u);
    EXPECT_EQ(system->getChannelType(0, &u), 2u);
    EXPECT_EQ(system->getFeaturePermissions(0, nullptr, &u), 2u);
    EXPECT_EQ(system->getFirmwareVersion(1, 0, &u), 255u) << "no mode check, nothing known";
    EXPECT_EQ(endpoint().requestCount(), 0u);
}

TEST_F(CommandChecks, SensorEnabledNeedsAPositioner) {
    simulateTcp(SystemSetup::standard(1, true, 1));
    ASSERT_EQ(openTcp(), 0u);
    uint32_t mode;
    EXPECT_EQ(system->getSensorEnabled(true, &mode), 19u);
    EXPECT_EQ(system->setSensorEnabled(1, true), 0u) << "no positioner to tell";
}

TEST_F(CommandChecks, ChannelTypeOfAnUnknownClassIsAnInternalError) {
    SystemSetup setup = SystemSetup::standard(1, false);
    setup.channels[0].moduleWord = 0x4101;
    simulateTcp(setup);
    ASSERT_EQ(openTcp(), 0u);
    uint32_t type = 5;
    EXPECT_EQ(system->getChannelType(0, &type), 12u);
    EXPECT_EQ(type, 5u);
    EXPECT_EQ(system->stop(0, true), 0u) << "any-channel commands still go";
}

struct AnswerCase {
    const char* name;
    Call call;
    RequestMatch match;
    Bytes answer;  // sent instead of the controller's own
    VX_STATUS status;
    // Another module's packet came first, so the call's own answer is still
    // owed: the next query of its kind drops its answer as that one.
    bool answerOwed = false;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class AnswerHandling : public CommandChecks, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerHandling, WrongAnswersAreProtocolErrorsAndErrorAnswersTheirCode) {
    openSystem();
    model().setPosition(0, 5);
    endpoint().addFault(Fault::replace(GetParam().match, GetParam().answer, 1));
    EXPECT_EQ(GetParam().call(*system), GetParam().status);
    int32_t position = 0;
    if (GetParam().answerOwed) {
        EXPECT_EQ(system->getPosition(0, true, &position), 15u);
    }
    EXPECT_EQ(system->getPosition(0, true, &position), 0u) << "the next command is not disturbed";
    EXPECT_EQ(position, 5);
}

INSTANTIATE_TEST_SUITE_P(
    QueryAndCommand, AnswerHandling,
    ::testing::Values(
        AnswerCase{"QueryFromAnotherModule", [](S& s) { return s.getPosition(0, true, nullptr); },
                   {0x2100, 0x90}, gen1Packet(0x6101, 0xA4, {1, 0, 0, 0}), 14, true},
        AnswerCase{"QueryError", [](S& s) { return s.getPosition(0, true, nullptr); }, {0x2100, 0x90},
                   gen1Packet(0x2100, 0xF1, {129}), 129},
        AnswerCase{"QueryOtherOpcode", [](S& s) { return s.getPosition(0, true, nullptr); },
                   {0x2100, 0x90}, gen1Packet(0x2100, 0x81, {0}), 14},
        AnswerCase{"QueryOtherIndex", [](S& s) { return s.readTuningParameter(0, 4, true, nullptr); },
                   {0x2100, 0x51}, gen1Packet(0x2100, 0x55, {5, 0, 0, 0, 0}), 14},
        AnswerCase{"CommandFromAnotherModule", [](S& s) { return s.setPosition(0, 1, true); },
                   {0x2100, 0xB4}, gen1Packet(0x6101, 0xF0), 14},
        AnswerCase{"CommandError", [](S& s) { return s.setPosition(0, 1, true); }, {0x2100, 0xB4},
                   gen1Packet(0x2100, 0xF1, {148}), 148},
        AnswerCase{"QueryErrorWithCodeZero", [](S& s) { return s.getPosition(0, true, nullptr); },
                   {0x2100, 0x90}, gen1Packet(0x2100, 0xF1, {0}), 14},
        AnswerCase{"CommandErrorWithCodeZero", [](S& s) { return s.setPosition(0, 1, true); },
                   {0x2100, 0xB4}, gen1Packet(0x2100, 0xF1, {0}), 14},
        AnswerCase{"CommandOtherOpcode", [](S& s) { return s.setPosition(0, 1, true); },
                   {0x2100, 0xB4}, gen1Packet(0x2100, 0x81, {0}), 14},
        AnswerCase{"HandControlCommandFromAnotherModule",
                   [](S& s) { return s.writeSpeedLevelTableSize(3); }, {0x0002, 0x17},
                   gen1Packet(0x0008, 0xF0), 14},
        AnswerCase{"HandControlCommandError", [](S& s) { return s.writeSpeedLevelTableSize(3); },
                   {0x0002, 0x17}, gen1Packet(0x0002, 0xF1, {150}), 150},
        AnswerCase{"HandControlCommandOtherOpcode",
                   [](S& s) { return s.writeSpeedLevelTableToEEPROM(); }, {0x0002, 0x17},
                   gen1Packet(0x0002, 0x81, {0}), 14},
        AnswerCase{"TableSizeAddressIsNotChecked",
                   [](S& s) { return s.readSpeedLevelTableSize(nullptr); }, {0x0002, 0x17},
                   gen1Packet(0x0008, 0x17, {0, 3, 0, 0, 0, 0, 0}), 0},
        AnswerCase{"TableSizeError", [](S& s) { return s.readSpeedLevelTableSize(nullptr); },
                   {0x0002, 0x17}, gen1Packet(0x0002, 0xF1, {240}), 240},
        AnswerCase{"TableEntryOtherOpcode",
                   [](S& s) { return s.readSpeedLevelTableEntry(0, nullptr, nullptr, nullptr); },
                   {0x0002, 0x17}, gen1Packet(0x0002, 0xF0), 14},
        AnswerCase{"EepromTypeError", [](S& s) { return s.readHCMEepromType(nullptr); },
                   {0x0002, 0x2B}, gen1Packet(0x0002, 0xF1, {150}), 14}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

using AsynchronousReports = CommandChecks;

TEST_F(AsynchronousReports, CompletedMovementIsReportedWhenAsked) {
    openSystem("async");
    endpoint().clearRequests();
    ASSERT_EQ(system->setReportOnComplete(1, 1), 0u);
    ASSERT_EQ(system->gotoPosition(1, 1000, 0, false, false), 0u);
    VX_packet packet{};
    ASSERT_EQ(system->receiveNextPacket(2000, &packet, true), 0u);
    EXPECT_EQ(packet.packetType, 3u);
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(endpoint().requests()[0], gen1Packet(word(1), 0x32, {0x02, 0x02}));
}

TEST_F(AsynchronousReports, TriggeredCommandsAreReportedWhenAsked) {
    openSystem("async");
    endpoint().clearRequests();
    ASSERT_EQ(system->setReportOnTriggered(0, 1), 0u);
    ASSERT_EQ(system->appendTriggeredCommand(0, -5), 0u);
    ASSERT_EQ(system->appendTriggeredCommand(1, 6), 0u);
    ASSERT_EQ(system->clearTriggeredCommandQueue(1), 0u);
    ASSERT_EQ(system->triggerCommand(3), 0u);
    VX_packet packet{};
    ASSERT_EQ(system->receiveNextPacket(2000, &packet, true), 0u);
    EXPECT_EQ(packet.packetType, 21u);
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(model().triggeredCommands(1), 0u);
    const std::vector<Bytes> expected{
        gen1Packet(word(0), 0x32, {0x10, 0x10}), gen1Packet(word(0), 0x15, {0x01, 0xFB, 0xFF, 0xFF, 0xFF}),
        gen1Packet(word(1), 0x15, {0x01, 6, 0, 0, 0}), gen1Packet(word(1), 0x15, {0x02, 0, 0, 0, 0}),
        gen1Packet(0x0000, 0xB1, {3})};
    EXPECT_EQ(endpoint().requests(), expected);
}

TEST_F(AsynchronousReports, HandControlCanBeSwitchedInEitherMode) {
    for (const char* options : {"", "async"}) {
        openSystem(options);
        endpoint().clearRequests();
        ASSERT_EQ(system->setHCMEnabled(2), 0u);
        ASSERT_TRUE(endpoint().waitForRequests(1, 2000ms));
        EXPECT_EQ(endpoint().requests().front(), gen1Packet(0x0002, 0x21, {2}));
        EXPECT_EQ(model().handControlMode(), 2);
        system.reset();
    }
}

TEST_F(AsynchronousReports, PositionerTypeAnswerIsLabelledUntilTaken) {
    openSystem("async");
    model().setSensorType(0, 17);
    ASSERT_EQ(system->getPositionerType(0, false, nullptr), 0u);
    ASSERT_EQ(system->getSensorType(0, false, nullptr), 0u);
    VX_packet packet{};
    for (bool remove : {false, false, true}) {
        ASSERT_EQ(system->receiveNextPacket(2000, &packet, remove), 0u);
        EXPECT_EQ(packet.packetType, 22u) << "look or take, the first answer is the positioner's";
        EXPECT_EQ(packet.data1, 17u);
    }
    ASSERT_EQ(system->receiveNextPacket(2000, &packet, true), 0u);
    EXPECT_EQ(packet.packetType, 7u);

    // A discarded positioner-type answer does not relabel the next one.
    ASSERT_EQ(system->getPositionerType(0, false, nullptr), 0u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return system->queuedPackets() == 1; }));
    ASSERT_EQ(system->discardPacket(), 0u);
    ASSERT_EQ(system->getSensorType(0, false, nullptr), 0u);
    ASSERT_EQ(system->receiveNextPacket(2000, &packet, true), 0u);
    EXPECT_EQ(packet.packetType, 7u);
}

TEST_F(CommandChecks, PositionerTypeTableNeedsNoController) {
    simulateTcp(SystemSetup::standard(1, false));
    system = std::make_unique<qmx::System>();
    uint32_t list[64];
    uint32_t size = 55;
    EXPECT_EQ(system->getPositionerTypeList(list, &size), 23u);
    size = 64;
    ASSERT_EQ(system->getPositionerTypeList(list, &size), 0u);
    EXPECT_EQ(size, 56u);
    char name[64];
    uint32_t nameSize = sizeof name;
    EXPECT_EQ(system->getPositionerTypeName(57, name, &nameSize), 9u);
    uint32_t value;
    EXPECT_EQ(system->getPositionerTypeProperty(1, 3, &value), 156u);
    EXPECT_EQ(system->getPositionerTypeProperty(99, 1, &value), 9u);
    EXPECT_EQ(system->getPositionerTypeProperty(1, 2, &value), 0u);
    EXPECT_LE(value, 3u);
}

}  // namespace gen1test
