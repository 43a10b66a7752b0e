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
        ASSERT_EQ(system_->open(locator_.c_str(), "async"), VX_OK);
    }

    // A packet that an injected event turned into, or a time-out's zeroed one.
    VX_packet next(uint32_t timeoutMs = kWaitMs) {
        VX_packet packet{};
        EXPECT_EQ(system_->receiveNextPacket(timeoutMs, &packet, true), VX_OK);
        return packet;
    }

    std::unique_ptr<qmx::SystemVeltraxCTL> system_ = std::make_unique<qmx::SystemVeltraxCTL>();
};

TEST_F(AsyncTest, BothThreadsRunUntilCloseJoinsThemAndTheDestructorToo) {
    EXPECT_EQ(system_->mode(), 2u);
    EXPECT_TRUE(system_->threadsRunning());
    EXPECT_EQ(system_->close(), VX_OK);
    EXPECT_FALSE(system_->threadsRunning());
    EXPECT_TRUE(released());

    ASSERT_EQ(system_->open(locator_.c_str(), "reset async"), VX_OK);
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
    EXPECT_EQ(system_->cancelWaitForPacket(), VX_OK);
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), VX_CANCELED);

    auto closing = std::async(std::launch::async, [&] {
        VX_packet packet{};
        return system_->receiveNextPacket(kNoLimit, &packet, true);
    });
    EXPECT_EQ(system_->close(), VX_OK);
    ASSERT_EQ(closing.wait_for(5s), std::future_status::ready);
    // Closed under it (20), or before it began (2 not initialized).
    const VX_STATUS status = closing.get();
    EXPECT_TRUE(status == VX_CANCELED || status == VX_NOT_INITIALIZED) << status;
}

TEST_F(AsyncTest, ATimeOutOfZeroGivesAZeroedPacketAtOnce) {
    VX_packet packet{7, 7, 7, 7, 7, 7};
    EXPECT_EQ(system_->receiveNextPacket(0, &packet, true), VX_OK);
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
                         ::testing::Values(EventCase{0x0200, VX_END_STOP_REACHED}, EventCase{0x0103, VX_NO_SENSOR_PRESENT},
                                           EventCase{0x0104, VX_SENSOR_DISABLED},
                                           EventCase{0x0150, VX_COMMAND_NOT_PROCESSABLE},
                                           EventCase{0x0201, VX_OTHER_ERROR}, EventCase{0xF004, VX_TRANSMIT_ERROR}));

TEST_F(AsyncTest, FinishedMovementsAndUnknownChannelsGiveNoPacketWithoutReportOnComplete) {
    sim_.endpoint().injectEvent(0, kMovementFinished, 0);
    sim_.endpoint().injectEvent(2, kMovementFinished, 0x19);
    sim_.endpoint().injectEvent(9, kMovementFinished, 0x0200);
    sim_.endpoint().injectEvent(2, 0x0002, 1);  // not a movement event
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0202);  // the marker
    const VX_packet packet = next();
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(packet.data1, uint32_t{VX_RANGE_LIMIT_REACHED});
    EXPECT_EQ(next(0).packetType, 0u);
}

TEST_F(AsyncTest, ACancelComesBeforeQueuedPacketsAndIsTakenOnce) {
    VX_packet packet{};
    // A look leaves the packet queued; a discard takes it.
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0200);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return system_->receiveNextPacket(0, &packet, false) == VX_OK && packet.packetType != 0;
    }));
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(system_->discardPacket(), VX_OK);
    sim_.endpoint().injectEvent(1, kMovementFinished, 0x0202);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return system_->receiveNextPacket(0, &packet, false) == VX_OK && packet.packetType != 0;
    }));
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(system_->cancelWaitForPacket(), VX_OK);
    EXPECT_EQ(system_->receiveNextPacket(kWaitMs, &packet, true), VX_CANCELED);
    packet = next();
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, uint32_t{VX_RANGE_LIMIT_REACHED});
}

TEST_F(AsyncTest, AfterTheConnectionIsLostEveryReceiveGivesReadError) {
    sim_.endpoint().injectEvent(0, kMovementFinished, 0x0200);
    VX_packet packet{};
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return system_->receiveNextPacket(0, &packet, false) == VX_OK && packet.packetType != 0; }));
    sim_.refuseTcp();
    // The packet stays queued; once the loss is known it is not handed out.
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return system_->receiveNextPacket(0, &packet, false) == VX_READ_ERROR; }, 30000ms));
    EXPECT_EQ(system_->receiveNextPacket(0, &packet, true), VX_READ_ERROR);
    EXPECT_EQ(system_->receiveNextPacket(kWaitMs, &packet, true), VX_READ_ERROR);
    EXPECT_EQ(system_->receiveNextPacket(kNoLimit, &packet, true), VX_READ_ERROR);
}

class SyncQueue : public Gen2Test {};

TEST_F(SyncQueue, InSynchronousModeNoThreadRunsAndThePacketQueueIsTheWrongMode) {
    qmx::SystemVeltraxCTL system;
    ASSERT_EQ(system.open(locator_.c_str(), "reset"), VX_OK);
    EXPECT_EQ(system.mode(), 1u);
    EXPECT_FALSE(system.threadsRunning());
    VX_packet packet{};
    EXPECT_EQ(system.receiveNextPacket(0, &packet, true), VX_WRONG_MODE);
    EXPECT_EQ(system.cancelWaitForPacket(), VX_WRONG_MODE);
    EXPECT_EQ(system.discardPacket(), VX_WRONG_MODE);
}

}  // namespace
