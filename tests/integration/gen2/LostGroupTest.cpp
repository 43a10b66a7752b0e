// Every call of a second-generation system sends its requests in a command
// group that the controller runs at once. When the group's "command group
// triggered" event and its replies never reach the host, the call ends
// with 15 shortly after the 2000 ms reply time, the system goes on
// answering, and the group's trigger and reply arriving late complete
// nothing.

#include <thread>

#include "integration/gen2/Gen2System.h"

namespace {

using namespace gen2road;
using vxsim::Gen2Fault;
using vxsim::Gen2Match;

constexpr auto kReplyTime = 2000ms;
constexpr auto kBound = 2500ms;
// What readPosition gives when no packet came.
constexpr VX_STATUS kNoPacket = 0xFFFFFFFF;

const Gen2Match kReads{vxsim::gen2::kCommandStart, vxsim::gen2::command::kReadProperty};

class LostGroup : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ASSERT_EQ(system.open(controller.locator(), controller.options(async())), VX_OK); }

    bool async() const { return GetParam(); }

    // VX_GetPosition_S, or VX_GetPosition_A and the packet that answers it:
    // the status, and on 0 the position of channel 0.
    VX_STATUS readPosition(int* position) {
        if (!async()) return VX_GetPosition_S(system, 0, position);
        if (const VX_STATUS status = VX_GetPosition_A(system, 0)) return status;
        VX_packet packet{};
        if (const VX_STATUS status = VX_ReceiveNextPacket_A(system, 5000, &packet)) return status;
        if (packet.packetType == 1) {
            EXPECT_EQ(packet.channelIndex, 0u);
            return packet.data1;
        }
        if (packet.packetType != 2) return kNoPacket;
        *position = packet.data2;
        return VX_OK;
    }

    void moveTo(int nanometres) {
        controller.model().command(vxsim::Gen2Movement::Move, 0, nanometres * kPicometresPerNanometre);
        ASSERT_TRUE(vxtest::waitUntil([&] { return !controller.model().moving(0); }, 5000ms));
    }

    SimulatedController controller{Carrier::Tcp};
    OpenedSystem system;
};

TEST_P(LostGroup, TheCallGivesFifteenInTimeAndTheLateTriggerAndReplyCompleteNothing) {
    controller.endpoint().loseNextGroup(true);
    int position = 4711;
    const auto start = Clock::now();
    EXPECT_EQ(readPosition(&position), 15u);
    const auto took = elapsedSince(start);
    EXPECT_GE(took, kReplyTime);
    EXPECT_LT(took, kBound);
    EXPECT_EQ(position, 4711);

    EXPECT_EQ(readPosition(&position), 0u);
    EXPECT_EQ(position, 0);

    // The lost group's trigger and its reply (position 0) arrive while the
    // next read waits for its own, slowed, reply.
    moveTo(5000);
    controller.endpoint().addFault(Gen2Fault::late(kReads, 500ms, 1));
    const size_t sent = controller.endpoint().requests().size();
    std::thread late([&] {
        // The next group: its open, its read and its close.
        const bool asked = controller.endpoint().waitForRequests(sent + 3, 5000ms);
        EXPECT_TRUE(asked);
        if (asked) {
            EXPECT_TRUE(controller.endpoint().sendLostGroup());
        }
    });
    EXPECT_EQ(readPosition(&position), 0u);
    late.join();
    EXPECT_EQ(position, 5000);

    EXPECT_EQ(readPosition(&position), 0u);
    EXPECT_EQ(position, 5000);
    if (async()) {
        VX_packet packet{};
        EXPECT_EQ(VX_ReceiveNextPacket_A(system, 300, &packet), 0u);
        EXPECT_EQ(packet.packetType, 0u);
    }
}

TEST_P(LostGroup, WithOnlyTheTriggerLostTheRepliesStillAnswerTheCall) {
    controller.endpoint().loseNextGroup(false);
    int position = 4711;
    const auto start = Clock::now();
    EXPECT_EQ(readPosition(&position), 0u);
    EXPECT_LT(elapsedSince(start), kReplyTime);
    EXPECT_EQ(position, 0);
}

INSTANTIATE_TEST_SUITE_P(Gen2, LostGroup, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Asynchronous" : "Synchronous";
                         });

}  // namespace
