// Every call of a second-generation system sends its requests in a command
// group that the controller runs at once. When the group's "command group
// triggered" event and its replies never reach the host, the call ends
// with 15 shortly after the 2000 ms reply time, the system goes on
// answering, and the group's trigger and reply arriving late complete
// nothing. A group that falls due while the link is being made again holds
// up neither the system's other calls nor the cancel of another group, and
// an error the controller answered in time keeps its code however late the
// job that reads it runs.

#include <dlfcn.h>

#include <future>
#include <thread>
#include <vector>

#include "VeltraxCTL.h"
#include "support/ElfExports.h"
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
// The library's switch to make a lost link again.
constexpr VX_CTL_PropertyKey kAutoReconnect = 0xF01000A1;

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

// A group lost after the watch has had nothing to watch for longer than the
// reply time: the watch, asleep without a deadline, is woken for it.
TEST(LostGroupAfterIdleWatch, TheCallStillGivesFifteenInTime) {
    SimulatedController controller(Carrier::Tcp);
    OpenedSystem system;
    ASSERT_EQ(system.open(controller.locator(), controller.options(true)), VX_OK);
    VX_packet packet{};
    ASSERT_EQ(VX_GetPosition_A(system, 0), VX_OK);
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), VX_OK);
    ASSERT_EQ(packet.packetType, 2u);
    // The answered group's due time passes with nothing else to watch.
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 2500, &packet), VX_OK);
    ASSERT_EQ(packet.packetType, 0u);

    controller.endpoint().loseNextGroup(true);
    const auto start = Clock::now();
    ASSERT_EQ(VX_GetPosition_A(system, 0), VX_OK);
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), VX_OK);
    const auto took = elapsedSince(start);
    EXPECT_EQ(packet.packetType, 1u);
    EXPECT_EQ(packet.data1, 15u);
    EXPECT_GE(took, kReplyTime);
    EXPECT_LT(took, kBound);
}

// Switches the library's reconnection on for the one device that the copy
// QMXControl loaded has open; false when there is not exactly one.
bool reconnectTheOnlyDevice() {
    void* library = ::dlopen(vxtest::besideTestProgram("libVeltraxCTL.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!library) return false;
    const auto get = reinterpret_cast<decltype(&VX_CTL_GetProperty_i32)>(::dlsym(library, "VX_CTL_GetProperty_i32"));
    const auto set = reinterpret_cast<decltype(&VX_CTL_SetProperty_i32)>(::dlsym(library, "VX_CTL_SetProperty_i32"));
    std::vector<VX_CTL_DeviceHandle> open;
    for (VX_CTL_DeviceHandle handle = 1; get && handle <= 127; ++handle) {
        int32_t value = 0;
        if (get(handle, 0, kAutoReconnect, &value, nullptr) == VX_CTL_OK) open.push_back(handle);
    }
    const bool done = set && open.size() == 1 && set(open[0], 0, kAutoReconnect, 1) == VX_CTL_OK;
    ::dlclose(library);
    return done;
}

// A position read on a thread of its own: its status and how long it took.
struct TimedCall {
    VX_STATUS status;
    std::chrono::milliseconds took;
};
std::future<TimedCall> readPositionOnThread(VX_SystemIndex system, uint32_t channel, int* position) {
    return std::async(std::launch::async, [=] {
        const auto start = Clock::now();
        const VX_STATUS status = VX_GetPosition_S(system, channel, position);
        return TimedCall{status, elapsedSince(start)};
    });
}

// The link drops and is not made again while two lost groups fall due.
class LostGroupWhileReconnecting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(system.open(controller.locator(), controller.options()), VX_OK);
        ASSERT_TRUE(reconnectTheOnlyDevice());
    }

    SimulatedController controller{Carrier::Tcp};
    OpenedSystem system;
};

TEST_F(LostGroupWhileReconnecting, EachGroupEndsWithFifteenInTimeAndOtherCallsGoOn) {
    ASSERT_EQ(VX_SetDebuggingEnabled_S(system, 0, 1), VX_OK);
    const size_t sent = controller.endpoint().requests().size();
    int first = 4711;
    int second = 4711;
    // Each group: its open, its read and its close.
    controller.endpoint().loseNextGroup(true);
    const auto firstSent = Clock::now();
    auto firstCall = readPositionOnThread(system, 0, &first);
    ASSERT_TRUE(controller.endpoint().waitForRequests(sent + 3, 5000ms));
    controller.endpoint().loseNextGroup(true);
    const auto secondSent = Clock::now();
    auto secondCall = readPositionOnThread(system, 1, &second);
    ASSERT_TRUE(controller.endpoint().waitForRequests(sent + 6, 5000ms));
    // The library tries to make the link again for longer than this test.
    controller.sim().refuseTcp();

    ASSERT_EQ(firstCall.wait_until(firstSent + kBound), std::future_status::ready);
    TimedCall outcome = firstCall.get();
    EXPECT_EQ(outcome.status, 15u);
    RecordProperty("firstCallMs", static_cast<int>(outcome.took.count()));

    // The first group's cancel waits for the link in the library now. A
    // debug value sends nothing, but opens and drops a group.
    int value = 4711;
    const auto otherStart = Clock::now();
    EXPECT_EQ(VX_ReadDebugValue_S(system, 0, 21, &value), VX_OK);
    const auto otherTook = elapsedSince(otherStart);
    EXPECT_LT(otherTook, kReplyTime);
    EXPECT_EQ(value, 0);
    RecordProperty("otherCallMs", static_cast<int>(otherTook.count()));

    ASSERT_EQ(secondCall.wait_until(secondSent + kBound), std::future_status::ready);
    outcome = secondCall.get();
    EXPECT_EQ(outcome.status, 15u);
    EXPECT_GE(outcome.took, kReplyTime);
    RecordProperty("secondCallMs", static_cast<int>(outcome.took.count()));
    EXPECT_EQ(first, 4711);
    EXPECT_EQ(second, 4711);

    // The link comes back: the cancels go out and the system answers again.
    controller.sim().acceptTcp();
    int position = 4711;
    EXPECT_EQ(VX_GetPosition_S(system, 0, &position), VX_OK);
    EXPECT_EQ(position, 0);
}

// An asynchronous system whose job worker is held up past the due time of
// a group that the controller answered in time, with an error.
TEST(LateJob, AnErrorAnsweredInTimeKeepsItsCode) {
    SimulatedController controller(Carrier::Tcp);
    OpenedSystem system;
    ASSERT_EQ(system.open(controller.locator(), controller.options(true)), VX_OK);
    // The first read gets no reply and its group's trigger comes a second
    // late: the library waits the reply time from then, past the watch's
    // cancel, which finds the group ended. The second read is refused.
    controller.endpoint().addFault(Gen2Fault::drop(kReads, 1));
    controller.endpoint().addFault(Gen2Fault::complete(kReads, vxsim::gen2result::kPermissionDenied, 1));
    controller.endpoint().delayNextTrigger(1000ms);
    const auto start = Clock::now();
    ASSERT_EQ(VX_GetPosition_A(system, 0), VX_OK);
    ASSERT_EQ(VX_GetPosition_A(system, 1), VX_OK);

    VX_packet packet{};
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), VX_OK);
    EXPECT_EQ(packet.packetType, 1u);
    EXPECT_EQ(packet.channelIndex, 0u);
    EXPECT_EQ(packet.data1, 15u);
    ASSERT_EQ(VX_ReceiveNextPacket_A(system, 5000, &packet), VX_OK);
    EXPECT_GE(elapsedSince(start), kReplyTime);
    EXPECT_EQ(packet.packetType, 1u);
    EXPECT_EQ(packet.channelIndex, 1u);
    EXPECT_EQ(packet.data1, 157u);
}

}  // namespace
