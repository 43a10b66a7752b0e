// The controller does not answer, or answers with bytes that make no sense:
// the call reports it within its answer wait, and calls work again as soon
// as the controller answers properly. The answer a call gave up on may still
// come and is dropped when it does, so one later call may give 15 for it.

#include <vector>

#include "e2e/Simulated.h"

namespace {

using namespace e2e;
using vxsim::Bytes;
using vxsim::Fault;
using vxsim::gen1Packet;
using vxsim::RequestMatch;

constexpr auto kAnswerWait = 2000ms;
constexpr uint8_t kGetPosition = 0x90;
constexpr uint8_t kGotoAbsolute = 0xB6;

// The call's status once the answer given up on has been dropped: a 15 for
// it, and the call again.
template <typename Call>
VX_STATUS afterLostAnswer(Call call) {
    const VX_STATUS status = call();
    return status == 15u ? call() : status;
}

// The system answers again: a command is carried out and a query reads it back.
void expectWorks(VX_SystemIndex system, SimulatedSystem& sim, int target) {
    ASSERT_EQ(afterLostAnswer([&] { return VX_SetPosition_S(system, 0, target); }), 0u);
    int position = 0;
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), 0u);
    EXPECT_EQ(position, target);
    EXPECT_EQ(modelPosition(sim.model(), 0), target);
}

class Silence : public ::testing::TestWithParam<Carrier> {
protected:
    Silence() : sim(GetParam(), vxsim::SystemSetup::standard(2, true)) {}
    SimulatedSystem sim;
    OpenedSystem system;
};

TEST_P(Silence, UnansweredQueryTimesOutAndLaterCallsAreAnswered) {
    ASSERT_EQ(system.open(sim.locator()), 0u);
    ASSERT_EQ(VX_SetPosition_S(system, 0, 1500), 0u);
    sim.endpoint().addFault(Fault::silent(RequestMatch{sim.moduleWord(0), kGetPosition}, 1));

    int position = 99;
    const auto start = Clock::now();
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), 15u);
    const auto waited = elapsedSince(start);
    EXPECT_GE(waited, kAnswerWait - 20ms);
    EXPECT_LT(waited, kAnswerWait + 700ms);
    EXPECT_EQ(position, 99);

    EXPECT_EQ(afterLostAnswer([&] { return VX_GetPosition_S(system, 0, &position); }), 0u);
    EXPECT_EQ(position, 1500);
    expectWorks(system, sim, -7000);
    EXPECT_EQ(system.close(), 0u);
}

TEST_P(Silence, UnacknowledgedCommandTimesOutAndLaterCommandsAreCarriedOut) {
    ASSERT_EQ(system.open(sim.locator()), 0u);
    sim.endpoint().addFault(Fault::silent(RequestMatch{sim.moduleWord(0), kGotoAbsolute}, 1));
    const auto start = Clock::now();
    EXPECT_EQ(VX_GotoPositionAbsolute_S(system, 0, 5000, 0), 15u);
    EXPECT_GE(elapsedSince(start), kAnswerWait - 20ms);
    expectWorks(system, sim, 3000);
    EXPECT_EQ(system.close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, Silence, ::testing::Values(Carrier::Tcp, Carrier::Usb),
                         carrierName);

struct Garbage {
    const char* name;
    Bytes bytes;  // sent instead of the answer to a position query
    VX_STATUS status;
};

// Noise instead of the answer of channel 0 (module word 0x2100).
const std::vector<Garbage> kGarbage{
    {"PacketFromNoModule", gen1Packet(0x7777, 0xA4, {1, 2, 3, 4}), 14},
    {"UnexpectedOpcodeFromTheChannel", gen1Packet(0x2100, 0x33, {1, 2, 3}), 14},
    {"ErrorAnswerWithoutCode", gen1Packet(0x2100, 0xF1, {0}), 14},
    {"FragmentOfAPacket", {0x5A, 0xA5}, 15},
    {"PacketFollowedByAFragment", {0xFF, 0x00, 0x13, 0x37, 0xC0, 0xDE, 0x42}, 14},
    {"FragmentThatSwallowsTheNextAnswer", {0x00, 0x21, 0xAF, 0x01}, 15},
};

void PrintTo(const Garbage& garbage, std::ostream* out) { *out << garbage.name; }

class GarbageAnswer : public ::testing::TestWithParam<Garbage> {};

TEST_P(GarbageAnswer, IsReportedAndLaterAnswersAreReadCleanly) {
    const Garbage& garbage = GetParam();
    SimulatedSystem sim(Carrier::Tcp, vxsim::SystemSetup::standard(2, true));
    ASSERT_EQ(sim.moduleWord(0), 0x2100);
    OpenedSystem system;
    ASSERT_EQ(system.open(sim.locator()), 0u);
    ASSERT_EQ(VX_SetPosition_S(system, 0, 0x12345678), 0u);
    sim.endpoint().addFault(Fault::replace(RequestMatch{0x2100, kGetPosition}, garbage.bytes, 1));

    int position = 0;
    const auto start = Clock::now();
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), garbage.status);
    EXPECT_LT(elapsedSince(start), kAnswerWait + 700ms);
    EXPECT_EQ(position, 0);

    EXPECT_EQ(afterLostAnswer([&] { return VX_GetPosition_S(system, 0, &position); }), 0u);
    EXPECT_EQ(position, 0x12345678);
    expectWorks(system, sim, -123456);
    EXPECT_EQ(system.close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, GarbageAnswer, ::testing::ValuesIn(kGarbage),
                         [](const ::testing::TestParamInfo<Garbage>& info) {
                             return info.param.name;
                         });

}  // namespace
