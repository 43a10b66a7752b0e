// The controller misbehaves under a second-generation system opened through
// QMXControl: it drops the connection in the middle of a call, falls
// silent, or sends corrupt frames. Calls end within their deadlines, the
// system closes in every case, and open/close cycles leave nothing behind.

#include <functional>
#include <vector>

#include "integration/gen2/Gen2System.h"
#include "support/ProcessResources.h"

namespace {

using namespace gen2road;
using vxsim::Gen2Fault;
using vxsim::Gen2Match;

// A request is answered within 2000 ms or given up.
constexpr auto kRequestDeadline = 2000ms;
// What a call may take beyond that deadline on a busy machine.
constexpr auto kSlack = 1500ms;

const Gen2Match kReads{vxsim::gen2::kCommandStart, vxsim::gen2::command::kReadProperty};

class Faults : public ::testing::TestWithParam<Carrier> {
protected:
    Faults() : controller(GetParam()) {}

    // A synchronous read that works, as the check that the system is back.
    void expectPositionReads(int expected) {
        int position = 4711;
        EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK);
        EXPECT_EQ(position, expected);
    }

    SimulatedController controller;
    OpenedSystem system;
};

TEST_P(Faults, ADroppedConnectionEndsTheCallWithinItsDeadlineAndCloseWorks) {
    ASSERT_EQ(system.open(controller.locator(), controller.options()), VX_OK);
    controller.endpoint().addFault(Gen2Fault::disconnect(kReads, 1));

    int position = 4711;
    const auto start = Clock::now();
    // The loss is seen as the link drops, not at the request's deadline.
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_TRANSMIT_ERROR);
    EXPECT_LT(elapsedSince(start), kRequestDeadline);
    EXPECT_EQ(position, 4711);

    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
}

// The read goes out inside a command group, so the drop comes as the group
// runs; the loss must still reach the system's lasting read error.
TEST_P(Faults, AfterADroppedConnectionAnAsynchronousSystemGivesTenFromEveryReceive) {
    ASSERT_EQ(system.open(controller.locator(), controller.options(true)), VX_OK);
    controller.endpoint().addFault(Gen2Fault::disconnect(kReads, 1));
    ASSERT_EQ(VX_GetPosition_A(system, 0), VX_OK);

    VX_packet packet{};
    const auto start = Clock::now();
    EXPECT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), kCommunicationFailed);
    EXPECT_LT(elapsedSince(start), kRequestDeadline + kSlack);
    for (unsigned int timeout : {0u, 10u, 100u})
        EXPECT_EQ(VX_ReceiveNextPacket_A(system, timeout, &packet), kCommunicationFailed) << timeout;
    EXPECT_EQ(VX_LookAtNextPacket_A(system, 10, &packet), kCommunicationFailed);

    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
}

TEST_P(Faults, ASilentControllerGivesFifteenAfterTheRequestDeadlineAndWorksWhenItAnswers) {
    ASSERT_EQ(system.open(controller.locator(), controller.options()), VX_OK);
    controller.endpoint().addFault(Gen2Fault::drop(kReads));

    int position = 4711;
    const auto start = Clock::now();
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_TIMEOUT);
    const auto took = elapsedSince(start);
    EXPECT_GE(took, kRequestDeadline);
    EXPECT_LT(took, kRequestDeadline + kSlack);

    controller.endpoint().clearFaults();
    expectPositionReads(0);
    ASSERT_EQ(VX_GotoPositionAbsolute_S(system, 0, 5000, 0), VX_OK);
    EXPECT_TRUE(vxtest::waitUntil(
        [&] {
            int now = 0;
            return VX_GetPosition_S(system, 0, &now) == VX_OK && now == 5000;
        },
        5000ms));
    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
}

struct Corruption {
    const char* name;
    std::function<Gen2Fault()> fault;
};

class CorruptFrames : public ::testing::TestWithParam<std::tuple<Carrier, Corruption>> {};

// Whatever the controller sends in place of the reply, the call ends within
// its deadline and the next one works.
TEST_P(CorruptFrames, TheAffectedCallEndsInTimeAndLaterCallsWork) {
    const auto& [carrier, corruption] = GetParam();
    SimulatedController controller(carrier);
    OpenedSystem system;
    ASSERT_EQ(system.open(controller.locator(), controller.options()), VX_OK);
    controller.endpoint().addFault(corruption.fault());

    int position = 4711;
    const auto start = Clock::now();
    const VX_STATUS status = VX_GetPosition_S(system, 0, &position);
    EXPECT_NE(status, VX_OK) << corruption.name;
    EXPECT_LT(elapsedSince(start), kRequestDeadline + kSlack) << corruption.name;

    for (int round = 0; round < 3; ++round) {
        position = 4711;
        EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK) << corruption.name;
        EXPECT_EQ(position, 0);
    }
    EXPECT_EQ(system.close(), VX_OK);
    EXPECT_TRUE(controller.hostGone());
}

const Corruption kCorruptions[] = {
    {"BadCrc", [] { return Gen2Fault::corrupt(kReads, 1); }},
    {"Shortened", [] { return Gen2Fault::shorten(kReads, 1, 1); }},
    {"Garbage", [] { return Gen2Fault::replace(kReads, {0xA0, 0xFF, 0x00, 0x13, 0x37, 0x00, 0x5A}, 1); }},
    {"UnknownStart", [] { return Gen2Fault::replace(kReads, {0x55, 0x01, 0x02, 0x03, 0x04, 0x05}, 1); }},
};

std::string corruptionName(const ::testing::TestParamInfo<std::tuple<Carrier, Corruption>>& info) {
    return std::string(carrierText(std::get<0>(info.param))) + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Gen2, Faults, ::testing::Values(Carrier::Tcp, Carrier::Usb), carrierName);
INSTANTIATE_TEST_SUITE_P(Gen2, CorruptFrames,
                         ::testing::Combine(::testing::Values(Carrier::Tcp, Carrier::Usb),
                                            ::testing::ValuesIn(kCorruptions)),
                         corruptionName);

// Threads and file descriptors of this process; a thread that a close
// joined a moment ago no longer counts, though /proc may still list it.
struct Resources {
    size_t threads = vxtest::liveThreadCount();
    size_t fds = vxtest::descriptorCount();
};

TEST(OpenCloseCycles, TwoHundredCyclesLeaveNoThreadOrDescriptorBehind) {
    SimulatedController controller(Carrier::Usb);
    // The first cycle loads the libraries and starts what lives as long as
    // they do.
    {
        OpenedSystem system;
        ASSERT_EQ(system.open(controller.locator(), ""), VX_OK);
    }
    ASSERT_TRUE(controller.hostGone());
    const Resources before;
    for (int cycle = 0; cycle < 200; ++cycle) {
        OpenedSystem system;
        ASSERT_EQ(system.open(controller.locator(), cycle % 2 ? "async" : ""), VX_OK) << cycle;
        if (cycle % 2) {
            ASSERT_EQ(VX_GetPosition_A(system, 0), VX_OK);
        } else {
            int position = 0;
            ASSERT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK);
        }
        ASSERT_EQ(system.close(), VX_OK) << cycle;
    }
    ASSERT_TRUE(controller.hostGone());
    Resources after;
    EXPECT_TRUE(vxtest::waitUntil(
        [&] {
            after = Resources{};
            return after.threads == before.threads && after.fds == before.fds;
        },
        3000ms));
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.fds, before.fds);
}

}  // namespace
