#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "control/gen2open/Gen2Fixture.h"

namespace {

using namespace gen2test;

constexpr uint16_t kMovementFinished = 0x0001;
constexpr uint32_t kNoLimit = 0xFFFFFFFF;
constexpr uint32_t kWaitMs = 5000;

class AsyncTest : public Gen2Test {
protected:
    void SetUp() override {
        Gen2Test::SetUp();
        ASSERT_EQ(system_->open(locator_.c_str(), "async"), qmx::kOk);
    }

    // A packet that an injected event turned into, or a time-out's zeroed one.
    VX_packet next(uint32_t timeoutMs = kWaitMs) {
        VX_packet packet{};
        EXPECT_EQ(system_->receiveNextPacket(timeoutMs, &packet, true), qmx::kOk);
        return packet;
    }

    std::unique_ptr<qmx::SystemVeltraxCTL> system_ = std::make_unique<qmx::SystemVeltraxCTL>();
};

TEST_F(AsyncTest, BothThreadsRunUntilCloseJoinsThemAndTheDestructorToo) {
    EXPECT_EQ(system_->mode(), 2u);
    EXPECT_TRUE(system_->threadsRunning());
    EXPECT_EQ(system_->close(), qmx::kOk);
    EXPECT_FALSE(system_->threadsRunning());
    EXPECT_TRUE(released());

    ASSERT_EQ(system_->open(locator_.c_str(), "reset async"), qmx::kOk);
    EXPECT_TRUE(system_->threadsRunning());
    // Going without a close: the destructor closes and joins.
    system_.reset();
    EXPECT_TRUE(released());
}

TEST_F(AsyncTest, AReceiveWithoutTimeOutIsWokenByCancelAndByClose) {
    auto waiting = std::async(std::launch::async, [&] {
        VX_packet packet{};
        return system_->receiveNextPacket(kNoLimit, &packet, true);
    });
    // The cancel reaches a receive whether it waits already or comes later.
    EXPECT_EQ(system_->cancelWaitForPacket(), qmx::kOk);
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), qmx::kCanceled);

    auto closing = std::async(std::launch::async, [&] {
        VX_packet packet{};
        return system_->receiveNextPacket(kNoLimit, &packet, true);
    });
    EXPECT_EQ(system_->close(), qmx::kOk);
    ASSERT_EQ(closing.wait_for(5s), std::future_status::ready);
    // Closed under it (20), or before it began (2 not initialized).
    const VX_STATUS status = closing.get();
    EXPECT_TRUE(status == qmx::kCanceled || status == qmx::kUninitialized) << status;
}

TEST_F(AsyncTest, ATimeOutOfZeroGivesAZeroedPacketAtOnce) {
    VX_packet packet{7, 7, 7, 7, 7, 7};
    EXPECT_EQ(system_->receiveNextPacket(0, &packet, true), qmx::kOk);
    EXPECT_EQ(packet.packetType, 0u);
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(packet.data1, 0u);
    EXPECT_EQ(packet.data4, 0u);
}

// Taking or looking at a packet without a record to put it in is refused
// with 9 (invalid parameter).
TEST_F(AsyncTest, ANullRecordIsRefused) {
    for (const bool remove : {true, false}) EXPECT_EQ(system_->receiveNextPacket(0, nullptr, remove), 9u) << remove;
}

struct EventCase {
    uint32_t result;
    VX_STATUS status;
};

class MovementEvents : public AsyncTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(MovementEvents, AFailedMovementBecomesAnErrorPacketWithItsStatus) {
    sim_.endpoint().injectEvent(1, kMovementFinished, static_cast<int32_t>(GetParam().result));
    const VX_packet packet = next();
    EXPECT_EQ(packet.packetType, uint32_t{VX_PACKET_ERROR});
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Results, MovementEvents,
                         ::testing::Values(EventCase{0x0200, qmx::kEndStopReached}, EventCase{0x0103, qmx::kNoSensorPresent},
                                           EventCase{0x0104, qmx::kSensorDisabled},
                                           EventCase{0x0150, qmx::kCommandNotProcessable},
                                           EventCase{0x0201, qmx::kOtherError}, EventCase{0xF004, qmx::kTransmitError}));

TEST_F(AsyncTest, FinishedMovementsAndUnknownChannelsGiveNoPacketWithoutReportOnComplete) {
    sim_.endpoint().injectEvent(0, kMovementFinished, 0);
    sim_.endpoint().injectEvent(2, kMovementFinished, 0x19);
    sim_.endpoint().injectEvent(9, kMovementFinished, 0x0200);
    sim_.endpoint().injectEvent(2, 0x0002, 1);  // not a movement event
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0202);  // the marker
    const VX_packet packet = next();
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(packet.data1, uint32_t{qmx::kRangeLimitReached});
    EXPECT_EQ(next(0).packetType, 0u);
}

TEST_F(AsyncTest, ACancelComesBeforeQueuedPacketsAndIsTakenOnce) {
    VX_packet packet{};
    // A look leaves the packet queued; a discard takes it.
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0200);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return system_->receiveNextPacket(0, &packet, false) == qmx::kOk && packet.packetType != 0;
    }));
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(system_->discardPacket(), qmx::kOk);
    sim_.endpoint().injectEvent(1, kMovementFinished, 0x0202);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return system_->receiveNextPacket(0, &packet, false) == qmx::kOk && packet.packetType != 0;
    }));
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(system_->cancelWaitForPacket(), qmx::kOk);
    EXPECT_EQ(system_->receiveNextPacket(kWaitMs, &packet, true), qmx::kCanceled);
    packet = next();
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, uint32_t{qmx::kRangeLimitReached});
}

TEST_F(AsyncTest, AfterTheConnectionIsLostEveryReceiveGivesReadError) {
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0200);
    VX_packet packet{};
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return system_->receiveNextPacket(0, &packet, false) == qmx::kOk && packet.packetType != 0; }));
    sim_.refuseTcp();
    // The packet stays queued; once the loss is known it is not handed out.
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return system_->receiveNextPacket(0, &packet, false) == qmx::kReadError; }, 30000ms));
    EXPECT_EQ(system_->receiveNextPacket(0, &packet, true), qmx::kReadError);
    EXPECT_EQ(system_->receiveNextPacket(kWaitMs, &packet, true), qmx::kReadError);
    EXPECT_EQ(system_->receiveNextPacket(kNoLimit, &packet, true), qmx::kReadError);
}

class SyncQueue : public Gen2Test {};

TEST_F(SyncQueue, InSynchronousModeNoThreadRunsAndThePacketQueueIsTheWrongMode) {
    qmx::SystemVeltraxCTL system;
    ASSERT_EQ(system.open(locator_.c_str(), "reset"), qmx::kOk);
    EXPECT_EQ(system.mode(), 1u);
    EXPECT_FALSE(system.threadsRunning());
    VX_packet packet{};
    EXPECT_EQ(system.receiveNextPacket(0, &packet, true), qmx::kWrongMode);
    EXPECT_EQ(system.cancelWaitForPacket(), qmx::kWrongMode);
    EXPECT_EQ(system.discardPacket(), qmx::kWrongMode);
}

}  // namespace
