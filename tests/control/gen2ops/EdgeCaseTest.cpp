#include <array>
#include <cstring>

#include "control/gen2ops/OpsFixture.h"

namespace {

using namespace gen2ops;

class Sync : public OpsTest {
protected:
    void SetUp() override {
        OpsTest::SetUp();
        openIn(1);
    }
};

class Async : public OpsTest {
protected:
    void SetUp() override {
        OpsTest::SetUp();
        openIn(2);
    }
};

TEST_F(Sync, RoundedDivisionsGoHalfAwayFromZero) {
    struct Case {
        int64_t stored;
        uint32_t acceleration;  // / 1000000
        int32_t speed;          // / 1000
    };
    for (const Case c : {Case{1499999, 1, 1500}, Case{1500000, 2, 1500}, Case{-1500000, static_cast<uint32_t>(-2), -1500},
                         Case{-1499999, static_cast<uint32_t>(-1), -1500}, Case{499, 0, 0}, Case{-500, 0, -1}}) {
        ASSERT_EQ(sim_.model().write({0, key::kMoveAcceleration}, c.stored), 0);
        ASSERT_EQ(sim_.model().write({0, key::kMoveVelocity}, c.stored), 0);
        uint32_t acceleration = 0, speed = 0;
        EXPECT_EQ(system_.getClosedLoopMoveAcceleration(0, true, &acceleration), VX_OK);
        EXPECT_EQ(system_.getClosedLoopMoveSpeed(0, true, &speed), VX_OK);
        EXPECT_EQ(acceleration, c.acceleration) << c.stored;
        EXPECT_EQ(static_cast<int32_t>(speed), c.speed) << c.stored;
    }
}

TEST_F(Sync, SensorTypesComeFromTheFirstPairWithTheCode) {
    for (const auto& [code, type] : {std::pair{325, 16u}, {0, 3u}, {301, 21u}, {328, 17u}}) {
        ASSERT_EQ(sim_.model().write({0, key::kPositionerType}, int32_t{code}), 0);
        uint32_t found = 0;
        EXPECT_EQ(system_.getSensorType(0, true, &found), VX_OK);
        EXPECT_EQ(found, type) << code;
    }
    ASSERT_EQ(sim_.model().write({0, key::kPositionerType}, int32_t{999}), 0);
    uint32_t found = 0;
    EXPECT_EQ(system_.getSensorType(0, true, &found), VX_COMPATIBILITY_ERROR);
}

TEST_F(Sync, StatusFollowsTheFirstRuleThatAppliesAndTheLastMovesMode) {
    const auto statusOf = [&](int32_t state) {
        sim_.model().define({1, key::kChannelState}, state, true);
        uint32_t status = 99;
        EXPECT_EQ(system_.getStatus(1, true, &status), VX_OK);
        return status;
    };
    EXPECT_EQ(statusOf(0x5), 6u);
    EXPECT_EQ(statusOf(0x18), 7u);
    EXPECT_EQ(statusOf(0x13), 5u);
    EXPECT_EQ(statusOf(0x3), 4u);
    EXPECT_EQ(statusOf(0x2), 3u);
    EXPECT_EQ(statusOf(0x0), 0u);
    ASSERT_EQ(system_.stepMove(1, 5, 100, 100, true), VX_OK);
    EXPECT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(1); }));
    EXPECT_EQ(statusOf(0x1), 1u);
    ASSERT_EQ(system_.gotoPosition(1, 5, 0, false, true), VX_OK);
    EXPECT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(1); }));
    EXPECT_EQ(statusOf(0x1), 2u);
    uint32_t known = 7;
    sim_.model().define({1, key::kChannelState}, int32_t{0x100}, true);
    EXPECT_EQ(system_.getPhysicalPositionKnown(1, true, &known), VX_OK);
    EXPECT_EQ(known, 0u);
}

TEST_F(Sync, MovesTravelInTheSimulatorAndTheStatusShowsThem) {
    sim_.model().setMotionTimes({std::chrono::milliseconds(300), std::chrono::milliseconds(300),
                                 std::chrono::milliseconds(300)});
    ASSERT_EQ(system_.gotoPosition(0, 40, 0, false, true), VX_OK);
    uint32_t status = 0;
    EXPECT_EQ(system_.getStatus(0, true, &status), VX_OK);
    EXPECT_EQ(status, 4u);  // targeting
    ASSERT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(0); }));
    ASSERT_EQ(system_.gotoPosition(0, -15, 0, true, true), VX_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(0); }));
    int32_t position = 0;
    EXPECT_EQ(system_.getPosition(0, true, &position), VX_OK);
    EXPECT_EQ(position, 25);
    ASSERT_EQ(system_.findReferenceMark(0, 0, 0, 0, true), VX_OK);
    EXPECT_EQ(system_.getStatus(0, true, &status), VX_OK);
    EXPECT_EQ(status, 7u);  // finding the reference mark
    ASSERT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(0); }));
    uint32_t known = 0;
    EXPECT_EQ(system_.getPhysicalPositionKnown(0, true, &known), VX_OK);
    EXPECT_EQ(known, 1u);
}

TEST_F(Sync, AFailedMoveReportsTheChannelsErrorCode) {
    constexpr uint16_t kEndStop = 0x0200;
    sim_.model().failMovements(0, kEndStop);
    EXPECT_EQ(system_.gotoPosition(0, 40, 0, false, true), qmx::mapCtlResult(kEndStop));
    EXPECT_EQ(system_.calibrateSensor(0, true), qmx::mapCtlResult(kEndStop));
    sim_.model().failMovements(0, 0);
    EXPECT_EQ(system_.gotoPosition(0, 40, 0, false, true), VX_OK);
}

TEST_F(Sync, ScaleReadsBackWhatWasSetWithinARevolution) {
    for (const int32_t shift : {359999999, -359999999, 12345, 0}) {
        ASSERT_EQ(system_.setScale(2, shift, 1, true), VX_OK);
        int32_t read = 0;
        uint32_t inverted = 0;
        EXPECT_EQ(system_.getScale(2, true, &read, &inverted), VX_OK);
        EXPECT_EQ(read, shift);
        EXPECT_EQ(inverted, 1u);
    }
    // A whole revolution more is the same offset.
    ASSERT_EQ(system_.setScale(2, 360000005, 0, true), VX_OK);
    EXPECT_EQ(stored(2, key::kLogicalScaleOffset), PropertyValue{int64_t{5000}});
}

TEST_F(Sync, ReferenceOptionsFollowTheDirectionAndAutoZero) {
    const std::array<int32_t, 8> byDirection = {0, 1, 2, 3, 8, 9, 10, 11};
    for (uint32_t direction = 0; direction < byDirection.size(); ++direction) {
        for (const uint32_t autoZero : {0u, 1u}) {
            ASSERT_EQ(system_.findReferenceMark(1, direction, 60000, autoZero, true), VX_OK);
            EXPECT_EQ(stored(1, key::kReferencingOptions),
                      PropertyValue{byDirection[direction] + (autoZero == 1 ? 4 : 0)})
                << direction << " " << autoZero;
            EXPECT_EQ(stored(1, key::kHoldTime), PropertyValue{int32_t{-1}});
        }
    }
    EXPECT_EQ(system_.findReferenceMark(1, 0, 60001, 0, true), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.findReferenceMark(1, 0, 0, 2, true), VX_INVALID_PARAMETER);
}

TEST_F(Sync, PositionerTypeNamesReportTheirSizeAndNeedRoomForTheTerminator) {
    // "SR-1209" is 7 characters long.
    std::array<char, 16> name{};
    uint32_t size = 7;
    EXPECT_EQ(system_.getPositionerTypeName(301, name.data(), &size), VX_QUERY_BUFFER_SIZE);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(name[0], '\0');
    size = 8;
    EXPECT_EQ(system_.getPositionerTypeName(301, name.data(), &size), VX_OK);
    EXPECT_STREQ(name.data(), "SR-1209");
    size = 16;
    EXPECT_EQ(system_.getPositionerTypeName(777, name.data(), &size), VX_INVALID_PARAMETER);

    std::array<uint32_t, 4> list{};
    size = 2;
    EXPECT_EQ(system_.getPositionerTypeList(list.data(), &size), VX_QUERY_BUFFER_SIZE);
    EXPECT_EQ(size, 3u);
    size = 4;
    EXPECT_EQ(system_.getPositionerTypeList(list.data(), &size), VX_OK);
    EXPECT_EQ(list, (std::array<uint32_t, 4>{300, 301, 302, 0}));
    uint32_t value = 0;
    EXPECT_EQ(system_.getPositionerTypeProperty(302, 1, &value), VX_OK);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(system_.getPositionerTypeProperty(302, 2, &value), VX_OK);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(system_.getPositionerTypeProperty(302, 3, &value), VX_INVALID_PROPERTY);
}

TEST_F(Sync, FirmwareVersionsByKind) {
    uint32_t version = 0;
    EXPECT_EQ(system_.getFirmwareVersion(5, 0, &version), VX_OK);
    EXPECT_NE(version, 0u);
    EXPECT_EQ(system_.getFirmwareVersion(9, 0, &version), VX_WRONG_CHANNEL_TYPE);
    EXPECT_EQ(system_.getFirmwareVersion(4, 0, &version), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.getFirmwareVersion(2, 3, &version), VX_INVALID_CHANNEL_INDEX);
}

TEST_F(Sync, CachedOptionWordsChangeOneBitEachTime) {
    ASSERT_EQ(system_.setAccumulateRelativePositions(2, 0, true), VX_OK);
    EXPECT_EQ(stored(2, key::kChannelOptions), PropertyValue{int32_t{0x21}});
    ASSERT_EQ(system_.setAccumulateRelativePositions(2, 1, true), VX_OK);
    EXPECT_EQ(stored(2, key::kChannelOptions), PropertyValue{int32_t{0x20}});
    ASSERT_EQ(system_.setStepWhileScan(2, 0, true), VX_OK);
    EXPECT_EQ(stored(2, key::kChannelOptions), PropertyValue{int32_t{0x24}});
    EXPECT_EQ(system_.channelRecords()[2].channelOptions, 0x24);
}

TEST_F(Sync, SetSensorTypeFollowsTheChannelsNewSettings) {
    sim_.model().write({0, key::kMoveMode}, int32_t{3});
    sim_.model().write({0, key::kMoveControlOptions}, int32_t{0x7});
    ASSERT_EQ(system_.setSensorType(0, 16, true), VX_OK);
    EXPECT_EQ(stored(0, key::kPositionerType), PropertyValue{int32_t{325}});
    EXPECT_EQ(system_.channelRecords()[0].moveMode, 3);
    EXPECT_EQ(system_.channelRecords()[0].moveControlOptions, 0x7);
}

TEST_F(Async, SetSensorTypeFollowsTheChannelsNewSettingsInMode2Too) {
    sim_.model().write({1, key::kMoveMode}, int32_t{2});
    ASSERT_EQ(system_.setSensorType(1, 3, false), VX_OK);
    EXPECT_EQ(system_.channelRecords()[1].moveMode, 2);
}

TEST_F(Sync, HandControlModuleModesAreSwappedAndWaitedFor) {
    for (const auto& [mode, written] : {std::pair{0u, 1}, {1u, 0}, {2u, 2}}) {
        EXPECT_EQ(system_.setHCMEnabled(mode), VX_OK);
        EXPECT_EQ(stored(0, key::kHandControlModuleMode), PropertyValue{int32_t{written}});
    }
}

TEST_F(Async, HandControlModuleModeIsWaitedForInMode2) {
    EXPECT_EQ(system_.setHCMEnabled(0), VX_OK);
    EXPECT_EQ(stored(0, key::kHandControlModuleMode), PropertyValue{int32_t{1}});
    sim_.model().answerWrites({0, key::kHandControlModuleMode}, vxsim::gen2result::kPermissionDenied);
    EXPECT_EQ(system_.setHCMEnabled(1), qmx::mapCtlResult(vxsim::gen2result::kPermissionDenied));
}

TEST_F(Sync, DebugValuesNeedDebuggingAndKeepTheLastSample) {
    uint32_t value = 0;
    EXPECT_EQ(system_.readDebugValue(0, 23, true, &value), VX_UNKNOWN_COMMAND);
    ASSERT_EQ(system_.setDebuggingEnabled(0, 1, true), VX_OK);
    EXPECT_EQ(system_.setDebuggingEnabled(0, 2, true), VX_INVALID_PARAMETER);
    value = 7;
    EXPECT_EQ(system_.readDebugValue(0, 23, true, &value), VX_OK);
    EXPECT_EQ(value, 0u);
    const int64_t sample = static_cast<int64_t>(0x123456789ABCDEF0ull);
    sim_.model().define({0, key::kDebugSample}, sample, true);
    EXPECT_EQ(system_.readDebugValue(0, 22, true, &value), VX_OK);
    EXPECT_EQ(value, 0x9ABCDEF0u >> 20);
    EXPECT_EQ(system_.readDebugValue(0, 23, true, &value), VX_OK);
    EXPECT_EQ(value, (0x9ABCDEF0u >> 4) & 0xFFF);
    EXPECT_EQ(system_.readDebugValue(0, 16, true, &value), VX_OK);
    EXPECT_EQ(value, ((0x123456789ABCDEF0ull >> 36) & 0xFFF) * (1u << 17) + ((0x123456789ABCDEF0ull >> 52) & 0xFFF) +
                         0x10000800u);
    EXPECT_EQ(system_.readDebugValue(0, 21, true, &value), VX_OK);
    EXPECT_EQ(value, 0u);
    ASSERT_EQ(system_.setDebuggingEnabled(0, 0, true), VX_OK);
    EXPECT_EQ(system_.readDebugValue(0, 21, true, &value), VX_UNKNOWN_COMMAND);
}

TEST_F(Sync, TheSpeedLevelTableIsCachedAndWrittenAsThreeArrays) {
    // Nothing is read before the first speed level operation.
    EXPECT_TRUE(requestsFor(key::kSpeedLevelSteps).empty());
    uint32_t size = 0;
    EXPECT_EQ(system_.readSpeedLevelTableSize(&size), VX_OK);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(requestsFor(key::kSpeedLevelSteps).size(), 1u);
    uint32_t steps = 0, amplitude = 0, frequency = 0;
    EXPECT_EQ(system_.readSpeedLevelTableEntry(1, &steps, &amplitude, &frequency), VX_OK);
    EXPECT_EQ(std::tuple(steps, amplitude, frequency), std::tuple(20u, 20u, 2000u));
    // Stored amplitudes are signed.
    EXPECT_EQ(system_.readSpeedLevelTableEntry(2, &steps, &amplitude, &frequency), VX_OK);
    EXPECT_EQ(static_cast<int32_t>(amplitude), -2);

    EXPECT_EQ(system_.writeSpeedLevelTableSize(21), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.writeSpeedLevelTableSize(-1), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.writeSpeedLevelTableSize(20), VX_OK);
    EXPECT_EQ(system_.readSpeedLevelTableSize(&size), VX_OK);
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(system_.readSpeedLevelTableEntry(19, &steps, &amplitude, &frequency), VX_OK);
    EXPECT_EQ(std::tuple(steps, amplitude, frequency), std::tuple(0u, 0u, 0u));
    EXPECT_EQ(system_.readSpeedLevelTableEntry(20, &steps, &amplitude, &frequency), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.readSpeedLevelTableEntry(-1, &steps, &amplitude, &frequency), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.writeSpeedLevelTableEntry(20, 1, 1, 1), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.writeSpeedLevelTableEntry(0, 1, 0x7FFFFFFF, 1), VX_INVALID_PARAMETER);

    EXPECT_EQ(system_.writeSpeedLevelTableSize(2), VX_OK);
    EXPECT_EQ(system_.writeSpeedLevelTableEntry(0, 5, 4095, 600), VX_OK);
    EXPECT_EQ(system_.readSpeedLevelTableEntry(0, &steps, &amplitude, &frequency), VX_OK);
    EXPECT_EQ(std::tuple(steps, amplitude, frequency), std::tuple(5u, 4095u, 600u));
    // Only the cache changed so far.
    EXPECT_EQ(stored(0, key::kSpeedLevelSteps), (PropertyValue{std::vector<int32_t>{10, 20, 30}}));

    sim_.endpoint().clearRequests();
    EXPECT_EQ(system_.writeSpeedLevelTableToEEPROM(), VX_OK);
    EXPECT_EQ(stored(0, key::kSpeedLevelSteps), (PropertyValue{std::vector<int32_t>{5, 20}}));
    EXPECT_EQ(stored(0, key::kSpeedLevelAmplitude), (PropertyValue{std::vector<int32_t>{65535, 320}}));
    EXPECT_EQ(stored(0, key::kSpeedLevelFrequency), (PropertyValue{std::vector<int32_t>{600, 2000}}));
    std::vector<uint32_t> keys;
    for (const auto& request : commands()) {
        EXPECT_EQ(request.type, wire::kWritePropertyArray);
        EXPECT_EQ(request.handle, 0);
        keys.push_back(request.key);
    }
    EXPECT_EQ(keys, (std::vector<uint32_t>{key::kSpeedLevelSteps, key::kSpeedLevelAmplitude, key::kSpeedLevelFrequency}));

    // Emptied, the cache sends nothing; the next use loads it again.
    EXPECT_EQ(system_.writeSpeedLevelTableSize(0), VX_OK);
    sim_.endpoint().clearRequests();
    EXPECT_EQ(system_.writeSpeedLevelTableToEEPROM(), VX_OK);
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(system_.readSpeedLevelTableSize(&size), VX_OK);
    EXPECT_EQ(size, 2u);
}

TEST_F(OpsTest, WithoutAHandControlModuleItsOperationsTimeOut) {
    openIn(1, false);
    uint32_t size = 0, value = 0;
    EXPECT_EQ(system_.readSpeedLevelTableSize(&size), VX_TIMEOUT);
    EXPECT_EQ(system_.writeSpeedLevelTableSize(1), VX_TIMEOUT);
    EXPECT_EQ(system_.writeSpeedLevelTableEntry(0, 1, 1, 1), VX_TIMEOUT);
    EXPECT_EQ(system_.readSpeedLevelTableEntry(0, &value, &value, &value), VX_TIMEOUT);
    EXPECT_EQ(system_.writeSpeedLevelTableToEEPROM(), VX_TIMEOUT);
    EXPECT_EQ(system_.readHCMEepromType(&value), VX_TIMEOUT);
    EXPECT_EQ(system_.getFirmwareVersion(5, 0, &value), VX_OTHER_ERROR);
    EXPECT_TRUE(commands().empty());
}

TEST_F(Sync, FeaturePermissionsAreTheComplementOfTheGrant) {
    std::array<uint8_t, 2> bytes{};
    uint32_t size = 0;
    EXPECT_EQ(system_.getFeaturePermissions(0, bytes.data(), &size), VX_ID_LIST_TOO_SMALL);
    EXPECT_EQ(size, 0u);
    size = 2;
    EXPECT_EQ(system_.getFeaturePermissions(0, bytes.data(), &size), VX_OK);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(bytes[0], 0xFE);  // module 0: A 4, B bit 0 set
    size = 2;
    EXPECT_EQ(system_.getFeaturePermissions(2, bytes.data(), &size), VX_OK);
    EXPECT_EQ(bytes[0], 0xFF);  // module 1: B bit 0 clear
    EXPECT_EQ(system_.getFeaturePermissions(3, bytes.data(), &size), VX_INVALID_CHANNEL_INDEX);
}

TEST_F(Async, ReportOnCompleteTakesFlagsOnlyAndOnlyInMode2) {
    EXPECT_EQ(system_.setReportOnComplete(0, 2), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.setReportOnTriggered(0, 1), VX_OK);
    EXPECT_TRUE(system_.channelRecords()[0].reportOnTriggered);
}

TEST_F(Sync, ReportOnCompleteIsRefusedInMode1) { EXPECT_EQ(system_.setReportOnComplete(0, 1), VX_WRONG_MODE); }

TEST_F(Async, AFinishedMoveGivesMovementCompletedOnlyWithReportOnComplete) {
    // The channel's event state is set once the move's writes are confirmed:
    // the move must outlast that, or its end finds no state to reset.
    sim_.model().setMotionTimes({std::chrono::milliseconds(300), std::chrono::milliseconds(300),
                                 std::chrono::milliseconds(300)});
    ASSERT_EQ(system_.gotoPosition(0, 10, 0, false, false), VX_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return !sim_.model().moving(0) && system_.channelRecords()[0].eventState == 0; }));
    EXPECT_EQ(next(0).packetType, uint32_t{VX_PACKET_NONE});

    ASSERT_EQ(system_.setReportOnComplete(0, 1), VX_OK);
    ASSERT_EQ(system_.gotoPosition(0, 20, 0, false, false), VX_OK);
    VX_packet packet = next();
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_MOVEMENT_COMPLETED});
    EXPECT_EQ(packet.channelIndex, 0u);

    // A stopped move ends "aborted", which completes it too.
    sim_.model().setMotionTimes({std::chrono::seconds(30), std::chrono::seconds(30), std::chrono::seconds(30)});
    ASSERT_EQ(system_.gotoPosition(0, 30, 0, false, false), VX_OK);
    ASSERT_EQ(system_.stop(0, false), VX_OK);
    packet = next();
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_MOVEMENT_COMPLETED});
}

TEST_F(Async, FailedMovementsAreExplainedByWhatTheChannelWasDoing) {
    constexpr uint16_t kEndStop = 0x0200;
    // Long enough for the call to have noted what the channel does.
    sim_.model().setMotionTimes({std::chrono::milliseconds(200), std::chrono::milliseconds(200),
                                 std::chrono::milliseconds(200)});
    sim_.model().failMovements(1, kEndStop);
    ASSERT_EQ(system_.calibrateSensor(1, false), VX_OK);
    VX_packet packet = next();
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, uint32_t{VX_CALIBRATION_FAILED});
    ASSERT_EQ(system_.findReferenceMark(1, 0, 0, 0, false), VX_OK);
    packet = next();
    EXPECT_EQ(packet.data1, uint32_t{VX_COULD_NOT_FIND_REFERENCE_MARK});
    ASSERT_EQ(system_.gotoPosition(1, 5, 0, false, false), VX_OK);
    packet = next();
    EXPECT_EQ(packet.data1, qmx::mapCtlResult(kEndStop));
}

TEST_F(Async, GettersGiveTheirPacketsInOrder) {
    ASSERT_EQ(system_.getStatus(0, false, nullptr), VX_OK);
    ASSERT_EQ(system_.getSafeDirection(1, false, nullptr), VX_OK);
    ASSERT_EQ(system_.getAngle(2, false, nullptr, nullptr), VX_OK);
    ASSERT_EQ(system_.getSensorEnabled(false, nullptr), VX_OK);
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_STATUS});
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_SAFE_DIRECTION});
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_ANGLE});
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_SENSOR_ENABLED});
}

TEST_F(Async, AFailingWriteBecomesAnErrorPacketForItsChannel) {
    sim_.model().answerWrites({1, key::kHoldTime}, vxsim::gen2result::kPermissionDenied);
    EXPECT_EQ(system_.gotoPosition(1, 5, 10, false, false), VX_OK);
    const VX_packet packet = next();
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, qmx::mapCtlResult(vxsim::gen2result::kPermissionDenied));
}

TEST_F(Async, MoreThan255QueuedPacketsOverflow) {
    constexpr int kPackets = 257;
    // The library takes only so many requests at a time; each is let in
    // once an earlier one was answered.
    for (int i = 0; i < kPackets; ++i)
        ASSERT_TRUE(vxtest::waitUntil([&] { return system_.getSafeDirection(0, false, nullptr) == VX_OK; }));
    VX_packet packet{};
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return system_.receiveNextPacket(0, &packet, false) == VX_INPUT_BUFFER_OVERFLOW; }));
    // It stays.
    EXPECT_EQ(system_.receiveNextPacket(0, &packet, true), VX_INPUT_BUFFER_OVERFLOW);
}

TEST_F(Async, BufferedOutputParksGroupsAndJobsUntilFlushed) {
    uint32_t mode = 7;
    EXPECT_EQ(system_.setBufferedOutput(2), VX_INVALID_PARAMETER);
    EXPECT_EQ(system_.flushOutput(), VX_OK);
    ASSERT_EQ(system_.setBufferedOutput(1), VX_OK);
    EXPECT_EQ(system_.getBufferedOutput(&mode), VX_OK);
    EXPECT_EQ(mode, 1u);
    ASSERT_EQ(system_.getStatus(0, false, nullptr), VX_OK);
    ASSERT_EQ(system_.setSafeDirection(1, 1, false), VX_OK);
    ASSERT_EQ(system_.getSafeDirection(1, false, nullptr), VX_OK);
    // Nothing was closed, nothing came back.
    for (const auto& request : commands()) EXPECT_NE(request.type, wire::kCloseCommandGroup);
    EXPECT_EQ(next(50).packetType, uint32_t{VX_PACKET_NONE});
    EXPECT_EQ(stored(1, key::kSafeDirection), PropertyValue{int32_t{0}});

    EXPECT_EQ(system_.flushOutput(), VX_OK);
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_STATUS});
    const VX_packet direction = next();
    EXPECT_EQ(direction.packetType, uint32_t{VX_PACKET_SAFE_DIRECTION});
    EXPECT_EQ(direction.data1, 1u);  // the write's group went first
    std::vector<uint8_t> closed;
    for (const auto& request : commands())
        if (request.type == wire::kCloseCommandGroup) closed.push_back(request.handle);
    EXPECT_EQ(closed.size(), 3u);
    EXPECT_TRUE(std::is_sorted(closed.begin(), closed.end()));
}

TEST_F(Async, AFlushThatStraddlesACloseAndAnOpenHandsNoOldJobToTheNewSession) {
    ASSERT_EQ(system_.setBufferedOutput(1), VX_OK);
    ASSERT_EQ(system_.getSafeDirection(1, false, nullptr), VX_OK);
    system_.setFlushPause([&] {
        EXPECT_EQ(system_.close(), VX_OK);
        EXPECT_EQ(system_.open(locator_.c_str(), "async"), VX_OK);
    });
    EXPECT_EQ(system_.flushOutput(), VX_OK);
    system_.setFlushPause({});
    // The first packet of the new session is the answer to its first request.
    ASSERT_EQ(system_.getStatus(0, false, nullptr), VX_OK);
    EXPECT_EQ(next().packetType, uint32_t{VX_PACKET_STATUS});
}

}  // namespace
