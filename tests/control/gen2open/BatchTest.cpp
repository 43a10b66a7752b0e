#include <gtest/gtest.h>

#include <memory>

#include "control/gen2open/Gen2Fixture.h"
#include "systems/gen2/CtlBatches.h"

namespace {

using namespace gen2test;
namespace key = qmx::ctlkey;

constexpr uint32_t kWaitMs = 5000;

class BatchTest : public Gen2Test {
protected:
    void openSystem(const char* options = "") { ASSERT_EQ(system_.open(locator_.c_str(), options), VX_OK); }

    qmx::SystemVeltraxCTL system_;
};

TEST_F(BatchTest, RequestsOfOneGroupGoInOrderAndTheirResultsAreTakenInThatOrder) {
    openSystem();
    sim_.endpoint().clearRequests();
    qmx::CommandGroup group(system_);
    ASSERT_EQ(group.open(), VX_OK);
    const uint32_t handle = group.transmitHandle();
    ASSERT_NE(handle, 0u);
    qmx::ReadQueue batch(system_, handle);
    ASSERT_EQ(batch.request(key::kMoveMode, 0), VX_OK);
    ASSERT_EQ(batch.request(key::kMovementType, 2), VX_OK);
    ASSERT_EQ(batch.request(key::kChannelOptions, 1), VX_OK);
    ASSERT_EQ(group.close(), VX_OK);
    EXPECT_EQ(group.transmitHandle(), 0u);

    int32_t values[3] = {};
    for (int32_t& value : values) ASSERT_EQ(batch.popI32(&value), VX_OK);
    EXPECT_EQ(values[0], 4);
    EXPECT_EQ(values[1], 3);
    EXPECT_EQ(values[2], 0x18);
    EXPECT_EQ(batch.popI32(&values[0]), VX_OTHER_ERROR);  // none left

    std::vector<std::pair<uint32_t, uint8_t>> reads;
    for (const auto& request : sim_.endpoint().requests())
        if (request.type == vxsim::gen2::command::kReadProperty) {
            reads.emplace_back(request.key, request.index);
            EXPECT_EQ(request.handle, handle);
        }
    const std::vector<std::pair<uint32_t, uint8_t>> expected = {
        {key::kMoveMode, 0}, {key::kMovementType, 2}, {key::kChannelOptions, 1}};
    EXPECT_EQ(reads, expected);
}

TEST_F(BatchTest, RequestsWhoseResultsWereNotTakenAreCancelled) {
    openSystem();
    // Far more requests than the library has IDs: each batch frees its own.
    for (int round = 0; round < 300; ++round) {
        qmx::ReadQueue batch(system_);
        ASSERT_EQ(batch.request(key::kMoveMode, 0), VX_OK) << round;
        ASSERT_EQ(batch.request(0x0FFF0001, 0), VX_OK) << round;  // a key the controller lacks
        ASSERT_EQ(batch.request(key::kMoveMode, 1), VX_OK) << round;
        int32_t value = 0;
        ASSERT_EQ(batch.popI32(&value), VX_OK);
        EXPECT_EQ(batch.popI32(&value), VX_OTHER_ERROR);  // "invalid key" has no status of its own
        EXPECT_EQ(batch.pending(), 1u);
    }
    qmx::WriteQueue writes(system_);
    for (int round = 0; round < 300; ++round) {
        qmx::WriteQueue uncommitted(system_);
        ASSERT_EQ(uncommitted.requestI32(key::kMoveMode, 0, round), VX_OK) << round;
    }
}

TEST_F(BatchTest, AWriteTheControllerReportsAbortedCountsAsDone) {
    openSystem();
    sim_.model().answerWrites({0, key::kMoveMode}, 0x19);
    sim_.model().answerWrites({1, key::kMoveMode}, 0x23);
    qmx::WriteQueue batch(system_);
    ASSERT_EQ(batch.requestI32(key::kMoveMode, 0, 1), VX_OK);
    ASSERT_EQ(batch.requestI32(key::kMoveMode, 1, 1), VX_OK);
    ASSERT_EQ(batch.requestI64(key::kMoveVelocity, 0, 5), VX_OK);
    // The second is refused; the commit stops there, the third is cancelled.
    EXPECT_EQ(batch.commit(true), VX_PERMISSION_DENIED);
    EXPECT_EQ(batch.pending(), 1u);
}

TEST_F(BatchTest, AsynchronousWritesFailAsErrorPacketsOfTheirChannel) {
    openSystem("async");
    sim_.model().answerWrites({0, key::kMoveMode}, 0x19);
    sim_.model().answerWrites({1, key::kMoveMode}, 0x0202);
    qmx::WriteQueue batch(system_);
    ASSERT_EQ(batch.requestI32(key::kMoveMode, 0, 1), VX_OK);
    ASSERT_EQ(batch.requestI32(key::kMoveMode, 1, 1), VX_OK);
    ASSERT_EQ(batch.requestI32(key::kMoveMode, 2, 7), VX_OK);
    EXPECT_EQ(batch.commit(false), VX_OK);
    EXPECT_EQ(batch.pending(), 0u);
    VX_packet packet{};
    ASSERT_EQ(system_.receiveNextPacket(kWaitMs, &packet, true), VX_OK);
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, uint32_t{VX_RANGE_LIMIT_REACHED});
    ASSERT_TRUE(vxtest::waitUntil([&] {
        const auto value = sim_.model().value({2, key::kMoveMode});
        return value && std::get<int32_t>(*value) == 7;
    }));
    ASSERT_EQ(system_.receiveNextPacket(0, &packet, true), VX_OK);
    EXPECT_EQ(packet.packetType, 0u);
}

struct RangeCase {
    const char* name;
    const qmx::BatchEntry* entry;
    uint32_t key;
    int32_t stored;
    VX_STATUS status;
    int32_t value;
};

void PrintTo(const RangeCase& c, std::ostream* out) { *out << c.name; }

class ConvertedReads : public BatchTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(ConvertedReads, ValuesOutsideTheTableAreIncompatible) {
    openSystem();
    sim_.model().define({1, GetParam().key}, GetParam().stored);
    qmx::ReadQueue batch(system_);
    ASSERT_EQ(GetParam().entry->readRequest(batch, 1), VX_OK);
    int32_t value = -1;
    EXPECT_EQ(GetParam().entry->readResult(batch, 1, &value), GetParam().status);
    if (GetParam().status == VX_OK) {
        EXPECT_EQ(value, GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ConvertedReads,
    ::testing::Values(RangeCase{"Value48Of4", qmx::channelPropertyBatch(0x08070012), key::kChannelValue48, 4,
                                VX_COMPATIBILITY_ERROR, 0},
                      RangeCase{"Value48Of2", qmx::channelPropertyBatch(0x08070012), key::kChannelValue48, 2, VX_OK, 1},
                      RangeCase{"PowerModeOf3", qmx::channelPropertyBatch(0x080B0001), key::kSensorPowerMode, 3,
                                VX_COMPATIBILITY_ERROR, 0},
                      RangeCase{"TuningPowerModeOfMinus1", qmx::tuningParameterBatch(1), key::kSensorPowerMode, -1,
                                VX_COMPATIBILITY_ERROR, 0},
                      RangeCase{"PowerModeOf2", qmx::channelPropertyBatch(0x080B0001), key::kSensorPowerMode, 2, VX_OK, 2},
                      RangeCase{"Value19Of2IsOn", qmx::channelPropertyBatch(0x01020001), key::kChannelValue19, 2, VX_OK, 1},
                      RangeCase{"Value19Of1IsOn", qmx::channelPropertyBatch(0x01180001), key::kChannelValue19, 1, VX_OK, 1}));

TEST_F(BatchTest, ScaledValuesAreWrittenTimesAThousandAndReadBackRounded) {
    openSystem();
    sim_.model().define({0, key::kMoveVelocity}, int64_t{0});
    const qmx::BatchEntry* speed = qmx::channelPropertyBatch(0x08070031);
    qmx::WriteQueue writes(system_);
    ASSERT_EQ(speed->writeRequest(writes, 0, -5), VX_OK);
    ASSERT_EQ(writes.commit(true), VX_OK);
    EXPECT_EQ(std::get<int64_t>(*sim_.model().value({0, key::kMoveVelocity})), -5000);

    for (const auto& [stored, read] : {std::pair{int64_t{-5500}, -6}, std::pair{int64_t{-5499}, -5}}) {
        sim_.model().define({0, key::kMoveVelocity}, stored);
        qmx::ReadQueue batch(system_);
        ASSERT_EQ(speed->readRequest(batch, 0), VX_OK);
        int32_t value = 0;
        ASSERT_EQ(speed->readResult(batch, 0, &value), VX_OK);
        EXPECT_EQ(value, read);
    }

    // The cached option word is changed and written whole.
    const qmx::BatchEntry* accumulate = qmx::channelPropertyBatch(0x01050011);
    qmx::WriteQueue option(system_);
    ASSERT_EQ(accumulate->writeRequest(option, 1, 1), VX_OK);  // clears bit 3 of 0x18
    ASSERT_EQ(option.commit(true), VX_OK);
    EXPECT_EQ(std::get<int32_t>(*sim_.model().value({1, key::kChannelOptions})), 0x10);
    EXPECT_EQ(system_.channelRecords()[1].channelOptions, 0x10);
}

TEST_F(BatchTest, ACallOfAClosedSystemNeverReachesADeviceOpenedLater) {
    openSystem();
    ASSERT_EQ(system_.close(), VX_OK);
    qmx::SystemVeltraxCTL later;
    ASSERT_EQ(later.open(locator_.c_str(), ""), VX_OK);
    sim_.endpoint().clearRequests();
    qmx::ReadQueue batch(system_);
    EXPECT_EQ(batch.request(key::kMoveMode, 0), VX_CANCELED);
    qmx::WriteQueue writes(system_);
    EXPECT_EQ(writes.requestI32(key::kMoveMode, 0, 3), VX_CANCELED);
    qmx::CommandGroup group(system_);
    EXPECT_EQ(group.open(), VX_CANCELED);
    EXPECT_TRUE(sim_.endpoint().requests().empty());
}

TEST_F(BatchTest, TheJobWorkerTurnsFailuresIntoErrorPacketsAndOverflowIntoAStickyStatus) {
    openSystem("async");
    EXPECT_EQ(system_.submitJob(false,
                                [](VX_packet& packet) {
                                    packet.channelIndex = 2;
                                    return VX_STATUS{VX_COMMAND_NOT_PROCESSABLE};
                                }),
              VX_OK);
    EXPECT_EQ(system_.submitJob(false, [](VX_packet&) { return VX_STATUS{VX_OK}; }), VX_OK);  // no packet
    VX_packet packet{};
    ASSERT_EQ(system_.receiveNextPacket(kWaitMs, &packet, true), VX_OK);
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.channelIndex, 2u);
    EXPECT_EQ(packet.data1, uint32_t{VX_COMMAND_NOT_PROCESSABLE});

    for (int i = 0; i < 257; ++i) {
        system_.submitJob(false, [i](VX_packet& p) {
            p.packetType = VX_PACKET_OTHER;
            p.data1 = static_cast<uint32_t>(i);
            return VX_STATUS{VX_OK};
        });
    }
    EXPECT_TRUE(vxtest::waitUntil([&] { return system_.receiveNextPacket(0, &packet, false) == VX_INPUT_BUFFER_OVERFLOW; }));
    EXPECT_EQ(system_.receiveNextPacket(0, &packet, true), VX_INPUT_BUFFER_OVERFLOW);
}

// A transmit error waits a moment for a loss report; without one the job's
// error packet still comes, and the queue stays usable.
TEST_F(BatchTest, ATransmitErrorWithoutALossStillGivesItsErrorPacket) {
    openSystem("async");
    EXPECT_EQ(system_.submitJob(false, [](VX_packet&) { return VX_STATUS{VX_TRANSMIT_ERROR}; }), VX_OK);
    VX_packet packet{};
    ASSERT_EQ(system_.receiveNextPacket(kWaitMs, &packet, true), VX_OK);
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.data1, uint32_t{VX_TRANSMIT_ERROR});
    EXPECT_EQ(system_.receiveNextPacket(0, &packet, true), VX_OK);
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_NONE});
}

TEST_F(BatchTest, ASynchronousJobRunsAtOnceAndDeliversOnlyOnSuccess) {
    openSystem();
    uint32_t delivered = 0;
    EXPECT_EQ(system_.submitJob(true,
                                [](VX_packet& p) {
                                    p.data1 = 42;
                                    return VX_STATUS{VX_OK};
                                },
                                [&](const VX_packet& p) { delivered = p.data1; }),
              VX_OK);
    EXPECT_EQ(delivered, 42u);
    EXPECT_EQ(system_.submitJob(true, [](VX_packet&) { return VX_STATUS{VX_TIMEOUT}; },
                                [&](const VX_packet&) { delivered = 0; }),
              VX_TIMEOUT);
    EXPECT_EQ(delivered, 42u);
}

}  // namespace
