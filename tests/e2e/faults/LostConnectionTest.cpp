// The controller's connection goes away in the middle of a call: the call
// learns of it as soon as the transport does, every later call fails at
// once, and closing and opening again brings the system back.

#include <functional>
#include <vector>

#include "e2e/Simulated.h"

namespace {

using namespace e2e;
using vxsim::Fault;
using vxsim::RequestMatch;

// Far below the 2000 ms answer wait: nobody waits for an answer that
// cannot come.
constexpr auto kFast = 500ms;
// The USB transport looks at a silent device every 250 ms.
constexpr auto kLossNoticed = 1500ms;

constexpr uint8_t kGetPosition = 0x90;
constexpr uint8_t kHandControlTable = 0x17;

struct LaterCall {
    const char* name;
    std::function<VX_STATUS(VX_SystemIndex)> call;
};

// Synchronous calls of every answer path: value queries, commands that are
// acknowledged, system-wide and hand control module requests.
const std::vector<LaterCall>& laterCalls() {
    static const std::vector<LaterCall> calls{
        {"GetPosition", [](VX_SystemIndex s) { int v; return VX_GetPosition_S(s, 0, &v); }},
        {"GetStatus", [](VX_SystemIndex s) { unsigned v; return VX_GetStatus_S(s, 1, &v); }},
        {"GotoPositionAbsolute",
         [](VX_SystemIndex s) { return VX_GotoPositionAbsolute_S(s, 0, 1000, 0); }},
        {"SetClosedLoopMoveSpeed",
         [](VX_SystemIndex s) { return VX_SetClosedLoopMoveSpeed_S(s, 1, 5000); }},
        {"GetSensorEnabled",
         [](VX_SystemIndex s) { unsigned v; return VX_GetSensorEnabled_S(s, &v); }},
        {"SetSensorEnabled", [](VX_SystemIndex s) { return VX_SetSensorEnabled_S(s, 1); }},
        {"ReadSpeedLevelTableSize",
         [](VX_SystemIndex s) { unsigned v; return VX_ReadSpeedLevelTableSize_S(s, &v); }},
        {"Stop", [](VX_SystemIndex s) { return VX_Stop_S(s, 0); }},
    };
    return calls;
}

class LostConnection : public ::testing::TestWithParam<Carrier> {
protected:
    LostConnection() : sim(GetParam(), vxsim::SystemSetup::standard(2, true)) {}

    // After the loss a call either finds the lasting read error or fails to
    // send; both without waiting.
    void expectFailsFast(const LaterCall& later) {
        const auto start = Clock::now();
        const VX_STATUS status = later.call(system);
        EXPECT_TRUE(status == 10 || status == sendFailureStatus(GetParam()))
            << later.name << " gave " << status;
        EXPECT_LT(elapsedSince(start), kFast) << later.name;
    }

    SimulatedSystem sim;
    OpenedSystem system;
};

TEST_P(LostConnection, CallInFlightGetsTheReadErrorAndLaterCallsFailAtOnce) {
    ASSERT_EQ(system.open(sim.locator()), 0u);
    sim.endpoint().addFault(Fault::disconnect(RequestMatch{sim.moduleWord(0), kGetPosition}, 1));

    int position = 4711;
    const auto start = Clock::now();
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), 10u);
    EXPECT_LT(elapsedSince(start), kLossNoticed);
    EXPECT_EQ(position, 4711);

    for (int round = 0; round < 2; ++round)
        for (const LaterCall& later : laterCalls()) expectFailsFast(later);

    // Calls that need no controller still answer from what the open learnt.
    unsigned int channels = 0;
    EXPECT_EQ(VX_GetNumberOfChannels(system, &channels), 0u);
    EXPECT_EQ(channels, 2u);

    EXPECT_EQ(system.close(), 0u);
    EXPECT_TRUE(sim.hostGone());
}

TEST_P(LostConnection, SystemOpensAgainAfterTheClose) {
    ASSERT_EQ(system.open(sim.locator()), 0u);
    sim.endpoint().addFault(Fault::disconnect(RequestMatch{0x0002, kHandControlTable}, 1));
    unsigned int size = 0;
    EXPECT_EQ(VX_ReadSpeedLevelTableSize_S(system, &size), 10u);
    EXPECT_EQ(system.close(), 0u);
    ASSERT_TRUE(sim.hostGone());

    ASSERT_EQ(system.open(sim.locator()), 0u);
    EXPECT_EQ(VX_ReadSpeedLevelTableSize_S(system, &size), 0u);
    EXPECT_EQ(size, sim.model().speedLevelTableSize());
    ASSERT_EQ(VX_SetPosition_S(system, 1, -25000), 0u);
    int position = 0;
    EXPECT_EQ(VX_GetPosition_S(system, 1, &position), 0u);
    EXPECT_EQ(position, -25000);
}

TEST_P(LostConnection, WaitingReceiveOfAnAsynchronousSystemGetsTheReadError) {
    ASSERT_EQ(system.open(sim.locator(), "async"), 0u);
    ASSERT_EQ(VX_GetPosition_A(system, 0), 0u);
    VX_packet packet{};
    ASSERT_EQ(VX_LookAtNextPacket_A(system, 2000, &packet), 0u);
    ASSERT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    sim.endpoint().addFault(Fault::disconnect(RequestMatch{sim.moduleWord(1), kGetPosition}, 1));
    ASSERT_EQ(VX_GetPosition_A(system, 1), 0u);

    // The answer queued before the loss is still handed out.
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 2000, &packet), 0u);
    EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
    EXPECT_EQ(packet.channelIndex, 0u);

    const auto start = Clock::now();
    EXPECT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), 10u);
    EXPECT_LT(elapsedSince(start), kLossNoticed);
    EXPECT_EQ(VX_ReceiveNextPacket_A(system, 0, &packet), 10u);
    const VX_STATUS send = VX_GetStatus_A(system, 0);
    EXPECT_TRUE(send == 0 || send == sendFailureStatus(GetParam())) << send;
    EXPECT_EQ(system.close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, LostConnection, ::testing::Values(Carrier::Tcp, Carrier::Usb),
                         carrierName);

}  // namespace
