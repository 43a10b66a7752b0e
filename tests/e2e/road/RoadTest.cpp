// An application's session through the whole stack: the public interface of
// the controller API, the device I/O library and its transport, the
// simulated controller at the far end; synchronous and asynchronous.

#include <string>
#include <vector>

#include "e2e/Simulated.h"
#include "support/QmxLog.h"

namespace {

using namespace e2e;

constexpr uint32_t kStatusTargeting = 4;
constexpr uint8_t kSensorDisabled = 140;
constexpr uint8_t kSetPosition = 0xB4;

// Two positioners and a gripper, with a hand control module.
vxsim::SystemSetup threeChannels() { return vxsim::SystemSetup::standard(3, true, 1); }

// What the library tells its log handler while a system opens.
class LogCapture {
public:
    LogCapture() {
        vxtest::QmxLog::attach();
        VX_SetLogLevel(1);
    }
    ~LogCapture() { vxtest::QmxLog::detach(); }
    std::vector<std::string> taken() { return vxtest::QmxLog::lines(); }
};

class Road : public ::testing::TestWithParam<Carrier> {
protected:
    Road() : sim(GetParam(), threeChannels()) {}

    // Waits for the controller's answers to `count` requests, in order.
    std::vector<VX_packet> collect(size_t count) {
        std::vector<VX_packet> packets;
        for (size_t i = 0; i < count; ++i) {
            VX_packet packet{};
            EXPECT_EQ(VX_ReceiveNextPacket_A(system, 2000, &packet), 0u);
            EXPECT_NE(packet.packetType, static_cast<uint32_t>(VX_PACKET_NONE)) << "packet " << i;
            packets.push_back(packet);
        }
        return packets;
    }
    void expectQueueEmpty() {
        VX_packet packet{1, 2, 3, 4, 5, 6};
        EXPECT_EQ(VX_ReceiveNextPacket_A(system, 0, &packet), 0u);
        EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_NONE));
        EXPECT_EQ(packet.channelIndex, 0u);
        EXPECT_EQ(packet.data1, 0u);
        EXPECT_EQ(packet.data2, 0);
        EXPECT_EQ(packet.data3, 0);
        EXPECT_EQ(packet.data4, 0u);
    }

    SimulatedSystem sim;
    OpenedSystem system;
};

TEST_P(Road, OpenDescribesTheSystemToTheLogAndKeepsItsLocator) {
    LogCapture log;
    ASSERT_EQ(system.open(sim.locator()), 0u);
    ASSERT_GE(system.index(), 32u);
    ASSERT_LT(system.index(), 64u);

    const std::string prefix = "Opened System " + std::to_string(system.index()) + ":\n";
    std::string description;
    for (const std::string& line : log.taken())
        if (line.rfind(prefix, 0) == 0) description = line;
    ASSERT_FALSE(description.empty());
    EXPECT_NE(description.find("Unique system locator: " + sim.locator()), std::string::npos);
    EXPECT_NE(description.find("Number of Channels: 3"), std::string::npos);
    EXPECT_NE(description.find("HCM FW: 1.3.2"), std::string::npos);

    char locator[128];
    unsigned int size = sizeof locator;
    ASSERT_EQ(VX_GetSystemLocator(system, locator, &size), 0u);
    EXPECT_EQ(locator, sim.locator());
    EXPECT_EQ(size, sim.locator().size());
}

TEST_P(Road, SynchronousSessionMovesClosedLoopAndReadsThePositionBack) {
    ASSERT_EQ(system.open(sim.locator()), 0u);
    EXPECT_TRUE(sim.model().synchronous());

    unsigned int channels = 0;
    ASSERT_EQ(VX_GetNumberOfChannels(system, &channels), 0u);
    ASSERT_EQ(channels, 3u);
    const unsigned int expectedTypes[] = {VX_CHANNEL_POSITIONER, VX_CHANNEL_POSITIONER,
                                          VX_CHANNEL_END_EFFECTOR};
    for (unsigned int channel = 0; channel < channels; ++channel) {
        unsigned int type = 99;
        EXPECT_EQ(VX_GetChannelType(system, channel, &type), 0u);
        EXPECT_EQ(type, expectedTypes[channel]) << channel;
    }
    unsigned int positionerType = 0;
    ASSERT_EQ(VX_GetPositionerType_S(system, 0, &positionerType), 0u);
    EXPECT_EQ(positionerType, sim.model().sensorType(0));
    char name[64];
    unsigned int nameSize = sizeof name;
    EXPECT_EQ(VX_GetPositionerTypeName(system, positionerType, name, &nameSize), 0u);
    EXPECT_GT(nameSize, 0u);
    unsigned int version = 0;
    EXPECT_EQ(VX_GetFirmwareVersion(1, system, 0, &version), 0u);
    EXPECT_EQ(version, sim.model().setup().interfaceFirmwareVersion);

    // 1 mm/s: the 100 um move takes about 100 ms.
    ASSERT_EQ(VX_SetClosedLoopMoveSpeed_S(system, 0, 1000000), 0u);
    unsigned int speed = 0;
    EXPECT_EQ(VX_GetClosedLoopMoveSpeed_S(system, 0, &speed), 0u);
    EXPECT_EQ(speed, 1000000u);
    ASSERT_EQ(VX_GotoPositionAbsolute_S(system, 0, 100000, 0), 0u);
    unsigned int status = 0;
    EXPECT_EQ(VX_GetStatus_S(system, 0, &status), 0u);
    EXPECT_EQ(status, kStatusTargeting);

    int position = 0;
    EXPECT_TRUE(vxtest::waitUntil([&] {
        return VX_GetPosition_S(system, 0, &position) == 0 && position == 100000;
    }));
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), 0u);
    EXPECT_EQ(position, 100000);
    EXPECT_EQ(modelPosition(sim.model(), 0), 100000);
    EXPECT_EQ(VX_GetStatus_S(system, 0, &status), 0u);
    EXPECT_NE(status, kStatusTargeting);

    ASSERT_EQ(VX_GotoPositionRelative_S(system, 0, -40000, 0), 0u);
    EXPECT_TRUE(vxtest::waitUntil([&] {
        return VX_GetPosition_S(system, 0, &position) == 0 && position == 60000;
    }));
    EXPECT_EQ(position, 60000);
    EXPECT_EQ(modelPosition(sim.model(), 1), 0) << "only channel 0 moved";

    // Refusals: the library's own checks, then the controller's answer.
    EXPECT_EQ(VX_GotoPositionAbsolute_S(system, 2, 100, 0), 19u);
    EXPECT_EQ(VX_GetPosition_S(system, 3, &position), 6u);
    EXPECT_EQ(VX_GetPosition_A(system, 0), 13u);
    ASSERT_EQ(VX_SetSensorEnabled_S(system, 0), 0u);
    EXPECT_EQ(VX_GotoPositionAbsolute_S(system, 0, 0, 0), kSensorDisabled);
    ASSERT_EQ(VX_SetSensorEnabled_S(system, 1), 0u);
    EXPECT_EQ(VX_GotoPositionAbsolute_S(system, 0, 0, 0), 0u);

    const VX_SystemIndex closed = system.index();
    EXPECT_EQ(system.close(), 0u);
    EXPECT_EQ(VX_GetPosition_S(closed, 0, &position), 5u);
    EXPECT_EQ(VX_CloseSystem(closed), 5u);
    EXPECT_TRUE(sim.hostGone());
}

TEST_P(Road, AsynchronousSessionCollectsAnswersAndReportsAsPackets) {
    ASSERT_EQ(system.open(sim.locator(), "async"), 0u);
    // The mode switch is the one start-up request that is not answered.
    EXPECT_TRUE(vxtest::waitUntil([&] { return !sim.model().synchronous(); }));
    int position = 0;
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), 13u);

    ASSERT_EQ(VX_SetReportOnComplete_A(system, 1, 1), 0u);
    ASSERT_EQ(VX_SetClosedLoopMoveSpeed_A(system, 1, 2000000), 0u);
    ASSERT_EQ(VX_GotoPositionAbsolute_A(system, 1, -50000, 0), 0u);
    std::vector<VX_packet> packets = collect(1);
    EXPECT_EQ(packets[0].packetType, static_cast<uint32_t>(VX_PACKET_MOVEMENT_COMPLETED));
    EXPECT_EQ(packets[0].channelIndex, 1u);

    ASSERT_EQ(VX_GetPosition_A(system, 1), 0u);
    ASSERT_EQ(VX_GetPosition_A(system, 0), 0u);
    ASSERT_EQ(VX_GetStatus_A(system, 1), 0u);
    ASSERT_EQ(VX_GetPositionerType_A(system, 0), 0u);
    ASSERT_EQ(VX_GetGripperOpening_A(system, 2), 0u);
    packets = collect(5);
    EXPECT_EQ(packets[0].packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    EXPECT_EQ(packets[0].channelIndex, 1u);
    EXPECT_EQ(packets[0].data2, -50000);
    EXPECT_EQ(packets[1].packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    EXPECT_EQ(packets[1].channelIndex, 0u);
    EXPECT_EQ(packets[1].data2, 0);
    EXPECT_EQ(packets[2].packetType, static_cast<uint32_t>(VX_PACKET_STATUS));
    EXPECT_EQ(packets[2].data1, sim.model().status(1));
    EXPECT_EQ(packets[3].packetType, static_cast<uint32_t>(VX_PACKET_POSITIONER_TYPE));
    EXPECT_EQ(packets[3].data1, sim.model().sensorType(0));
    EXPECT_EQ(packets[4].packetType, static_cast<uint32_t>(VX_PACKET_GRIPPER_OPENING));
    EXPECT_EQ(packets[4].channelIndex, 2u);

    // A look leaves the packet for the receive.
    ASSERT_EQ(VX_GetPosition_A(system, 1), 0u);
    VX_packet looked{};
    ASSERT_EQ(VX_LookAtNextPacket_A(system, 2000, &looked), 0u);
    packets = collect(1);
    EXPECT_EQ(looked.packetType, packets[0].packetType);
    EXPECT_EQ(looked.data2, packets[0].data2);
    expectQueueEmpty();

    // The controller refuses a move with its sensors off: an error packet.
    ASSERT_EQ(VX_SetSensorEnabled_A(system, 0), 0u);
    ASSERT_EQ(VX_GotoPositionAbsolute_A(system, 0, 1000, 0), 0u);
    packets = collect(1);
    EXPECT_EQ(packets[0].packetType, static_cast<uint32_t>(VX_PACKET_ERROR));
    EXPECT_EQ(packets[0].channelIndex, 0u);
    EXPECT_EQ(packets[0].data1, kSensorDisabled);

    EXPECT_EQ(system.close(), 0u);
    EXPECT_TRUE(sim.hostGone());
}

TEST_P(Road, BufferedRequestsLeaveTogetherWhenFlushed) {
    ASSERT_EQ(system.open(sim.locator(), "async"), 0u);
    ASSERT_EQ(VX_SetPosition_A(system, 0, 777), 0u);
    // Everything sent so far has arrived once the last request has.
    ASSERT_TRUE(vxtest::waitUntil([&] {
        const auto requests = sim.endpoint().requests();
        return !requests.empty() && requests.back()[2] == kSetPosition;
    }));
    sim.endpoint().clearRequests();
    ASSERT_EQ(VX_SetBufferedOutput_A(system, 1), 0u);
    for (unsigned int channel = 0; channel < 2; ++channel) {
        ASSERT_EQ(VX_GetPosition_A(system, channel), 0u);
        ASSERT_EQ(VX_GetStatus_A(system, channel), 0u);
    }
    expectQueueEmpty();
    EXPECT_EQ(sim.endpoint().requestCount(), 0u);

    ASSERT_EQ(VX_FlushOutput_A(system), 0u);
    const std::vector<VX_packet> packets = collect(4);
    EXPECT_EQ(sim.endpoint().requestCount(), 4u);
    EXPECT_EQ(packets[0].packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    EXPECT_EQ(packets[0].data2, 777);
    EXPECT_EQ(packets[1].packetType, static_cast<uint32_t>(VX_PACKET_STATUS));
    EXPECT_EQ(packets[2].channelIndex, 1u);
    EXPECT_EQ(packets[3].channelIndex, 1u);
    unsigned int mode = 0;
    EXPECT_EQ(VX_GetBufferedOutput_A(system, &mode), 0u);
    EXPECT_EQ(mode, 1u);
    EXPECT_EQ(system.close(), 0u);
}

TEST_P(Road, TwoHundredOutstandingRequestsAreAnsweredInOrder) {
    ASSERT_EQ(system.open(sim.locator(), "async"), 0u);
    constexpr unsigned int kRequests = 200;
    for (unsigned int i = 0; i < kRequests; ++i) ASSERT_EQ(VX_GetPosition_A(system, i % 2), 0u);
    const std::vector<VX_packet> packets = collect(kRequests);
    for (unsigned int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(packets[i].packetType, static_cast<uint32_t>(VX_PACKET_POSITION)) << i;
        EXPECT_EQ(packets[i].channelIndex, i % 2) << i;
    }
    expectQueueEmpty();
    EXPECT_EQ(system.close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, Road, ::testing::Values(Carrier::Tcp, Carrier::Usb), carrierName);

}  // namespace
