// The main road of an application on a second-generation system, through
// QMXControl and the libraries it loads, in both modes and over both
// carriers: open, settings, a closed-loop move to its end, status,
// position, close; and both generations open in one process.

#include "integration/gen2/Gen2System.h"
#include "sim/Gen1Simulator.h"

namespace {

using namespace gen2road;

constexpr auto kMoveDeadline = 5000ms;

class Road : public ::testing::TestWithParam<Carrier> {
protected:
    Road() : controller(GetParam()) {}

    SimulatedController controller;
    OpenedSystem system;
};

TEST_P(Road, SynchronousOpenSettingsMoveStatusPositionClose) {
    ASSERT_EQ(system.open(controller.locator(), controller.options()), VX_OK);

    unsigned int channels = 0;
    ASSERT_EQ(VX_GetNumberOfChannels(system, &channels), VX_OK);
    EXPECT_EQ(channels, kChannels);
    for (unsigned int ch = 0; ch < channels; ++ch) {
        unsigned int type = 99;
        EXPECT_EQ(VX_GetChannelType(system, ch, &type), VX_OK);
        EXPECT_EQ(type, static_cast<unsigned int>(VX_CHANNEL_POSITIONER));
    }

    ASSERT_EQ(VX_SetClosedLoopMoveSpeed_S(system, 1, 500000), VX_OK);
    unsigned int speed = 0;
    ASSERT_EQ(VX_GetClosedLoopMoveSpeed_S(system, 1, &speed), VX_OK);
    EXPECT_EQ(speed, 500000u);
    ASSERT_EQ(VX_SetClosedLoopMoveAcceleration_S(system, 1, 10000), VX_OK);
    unsigned int acceleration = 0;
    ASSERT_EQ(VX_GetClosedLoopMoveAcceleration_S(system, 1, &acceleration), VX_OK);
    EXPECT_EQ(acceleration, 10000u);

    ASSERT_EQ(VX_GotoPositionAbsolute_S(system, 1, 250000, 0), VX_OK);
    unsigned int status = 99;
    ASSERT_EQ(VX_GetStatus_S(system, 1, &status), VX_OK);
    EXPECT_EQ(status, kStatusTargeting);
    EXPECT_TRUE(vxtest::waitUntil(
        [&] { return VX_GetStatus_S(system, 1, &status) == VX_OK && status == kStatusStopped; }, kMoveDeadline));
    int position = 0;
    ASSERT_EQ(VX_GetPosition_S(system, 1, &position), VX_OK);
    EXPECT_EQ(position, 250000);
    EXPECT_EQ(controller.model().position(1), 250000 * kPicometresPerNanometre);
    // The other channels stayed.
    ASSERT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK);
    EXPECT_EQ(position, 0);

    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
    EXPECT_TRUE(controller.endpoint().rejected().empty());
}

TEST_P(Road, AsynchronousMoveEndsWithItsCompletionPacket) {
    ASSERT_EQ(system.open(controller.locator(), controller.options(true)), VX_OK);
    VX_packet packet{};

    ASSERT_EQ(VX_SetReportOnComplete_A(system, 2, 1), VX_OK);
    ASSERT_EQ(VX_SetClosedLoopMoveSpeed_A(system, 2, 300000), VX_OK);
    ASSERT_EQ(VX_GetClosedLoopMoveSpeed_A(system, 2), VX_OK);
    ASSERT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 2000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_CLOSED_LOOP_MOVE_SPEED));
    EXPECT_EQ(packet.channelIndex, 2u);
    EXPECT_EQ(packet.data1, 300000u);

    const auto start = Clock::now();
    ASSERT_EQ(VX_GotoPositionAbsolute_A(system, 2, -100000, 0), VX_OK);
    ASSERT_EQ(VX_GetStatus_A(system, 2), VX_OK);
    ASSERT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 2000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_STATUS));
    EXPECT_EQ(packet.data1, kStatusTargeting);

    ASSERT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 5000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_MOVEMENT_COMPLETED));
    EXPECT_EQ(packet.channelIndex, 2u);
    EXPECT_LT(elapsedSince(start), kMoveDeadline);

    ASSERT_EQ(VX_GetPosition_A(system, 2), VX_OK);
    ASSERT_EQ(VX_GetStatus_A(system, 2), VX_OK);
    ASSERT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 2000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    EXPECT_EQ(packet.data2, -100000);
    ASSERT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 2000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_STATUS));
    EXPECT_EQ(packet.data1, kStatusStopped);
    // Nothing else came.
    EXPECT_EQ(receiveSkipping(system, VX_PACKET_OTHER, 100, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_NONE));

    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
    EXPECT_TRUE(controller.endpoint().rejected().empty());
}

INSTANTIATE_TEST_SUITE_P(Gen2, Road, ::testing::Values(Carrier::Tcp, Carrier::Usb), carrierName);

TEST(BothGenerations, OpenAndMoveSideBySideInOneProcess) {
    vxsim::Gen1Simulator first(vxsim::SystemSetup::standard(2, false));
    first.serveTcp();
    SimulatedController second(Carrier::Usb);

    OpenedSystem one;
    OpenedSystem two;
    ASSERT_EQ(one.open(first.tcpLocator(), ""), VX_OK);
    ASSERT_EQ(two.open(second.locator(), ""), VX_OK);
    unsigned int channels = 0;
    ASSERT_EQ(VX_GetNumberOfChannels(one, &channels), VX_OK);
    EXPECT_EQ(channels, 2u);
    ASSERT_EQ(VX_GetNumberOfChannels(two, &channels), VX_OK);
    EXPECT_EQ(channels, kChannels);

    ASSERT_EQ(VX_GotoPositionAbsolute_S(one, 0, 1000, 0), VX_OK);
    ASSERT_EQ(VX_GotoPositionAbsolute_S(two, 0, 2000, 0), VX_OK);
    int position = 0;
    EXPECT_TRUE(vxtest::waitUntil([&] { return VX_GetPosition_S(one, 0, &position) == VX_OK && position == 1000; },
                                  kMoveDeadline));
    EXPECT_TRUE(vxtest::waitUntil([&] { return VX_GetPosition_S(two, 0, &position) == VX_OK && position == 2000; },
                                  kMoveDeadline));
    EXPECT_EQ(second.model().position(0), 2000 * kPicometresPerNanometre);

    EXPECT_EQ(one.close(), VX_OK);
    // The second generation's system is untouched by the first's close.
    ASSERT_EQ(VX_GetPosition_S(two, 0, &position), VX_OK);
    EXPECT_EQ(position, 2000);
    EXPECT_EQ(two.close(), VX_OK);
    EXPECT_TRUE(second.hostGone());
}

}  // namespace
