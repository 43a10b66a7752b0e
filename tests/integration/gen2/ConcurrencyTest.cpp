// Eight threads call a second-generation system while another thread closes
// it and a third opens a new system on a second controller, which may get
// the closed system's device handle in the second-generation library. No
// call of the closed system reaches the new controller, calls begun after
// the close give its status, nothing hangs, every thread ends.

#include <array>
#include <atomic>
#include <cstdlib>
#include <latch>
#include <variant>

#include "integration/gen2/Gen2System.h"
#include "platform/OwnedThread.h"
#include "sim/Gen1Simulator.h"
#include "sim/Gen2Layout.h"

namespace {

using namespace gen2road;

constexpr size_t kCallers = 8;
// Only the callers write this speed: a write of it at the new controller
// came from the closed system.
constexpr unsigned int kMarkerSpeed = 4711;
constexpr int64_t kMarkerVelocity = int64_t{kMarkerSpeed} * kPicometresPerNanometre;
// Rounds of one kind go on for about this long, some in any case.
constexpr auto kRacing = 1500ms;
constexpr int kMaxRounds = 40;
// One round, each call bounded by its request deadline, on a busy machine.
constexpr auto kRoundDeadline = 8000ms;
// Requests the library keeps outstanding per device; a further one waits
// for a free slot.
constexpr size_t kRequestSlots = 239;

size_t markerWrites(vxsim::Gen2Endpoint& endpoint) {
    size_t count = 0;
    for (const vxsim::Gen2Request& request : endpoint.requests()) {
        if (request.key != vxsim::gen2key::kMoveVelocity || !request.value) continue;
        if (const auto* value = std::get_if<int64_t>(&*request.value); value && *value == kMarkerVelocity) ++count;
    }
    return count;
}

// How the closing controller answers.
enum class Replies {
    Prompt,
    // 20 ms late: the close finds every caller inside a call.
    Late,
    // Never: asynchronous callers take every request slot of the device
    // and the next ones wait for a slot when the close comes.
    None,
};

struct RaceMode {
    const char* name;
    bool async;
    Replies replies;
    int minRounds;
};

// What the threads of one round share.
struct Round {
    VX_SystemIndex closing = kNoIndex;
    bool async = false;
    std::atomic<size_t> calling{0};  // callers past their first call
    std::latch go{1};                // releases the closer and the opener together
    std::atomic<bool> closed{false};
    std::atomic<size_t> callsAfterClose{0};
    std::atomic<size_t> wrongAfterClose{0};

    void call(const vxplatform::OwnedThread& self, uint32_t channel) {
        bool counted = false;
        while (!self.stopRequested()) {
            const bool after = closed.load();
            const VX_STATUS status = async ? VX_SetClosedLoopMoveSpeed_A(closing, channel, kMarkerSpeed)
                                           : VX_SetClosedLoopMoveSpeed_S(closing, channel, kMarkerSpeed);
            if (after) {
                ++callsAfterClose;
                if (status != VX_INVALID_SYSTEM_INDEX) ++wrongAfterClose;
            }
            if (!counted) ++calling;
            counted = true;
        }
    }
};

class CloseWhileCalled : public ::testing::TestWithParam<RaceMode> {};

TEST_P(CloseWhileCalled, NoCallOfTheClosedSystemReachesTheNewOne) {
    const RaceMode mode = GetParam();
    const bool async = mode.async;
    // Keeps the lowest handle slot while the racing system opens, then
    // leaves it free: the new system takes it, and an index of the closed
    // system cannot name the new one.
    vxsim::Gen1Simulator holder(vxsim::SystemSetup::standard(1, false));
    holder.serveTcp();
    SimulatedController closedOne(Carrier::Bridge);
    SimulatedController newOne(Carrier::Bridge);

    const auto start = Clock::now();
    int rounds = 0;
    while (rounds < mode.minRounds || (elapsedSince(start) < kRacing && rounds < kMaxRounds)) {
        SCOPED_TRACE(rounds);
        ++rounds;
        const auto roundStart = Clock::now();
        OpenedSystem placeholder;
        ASSERT_EQ(placeholder.open(holder.tcpLocator(), ""), VX_OK);
        Round round;
        round.async = async;
        ASSERT_EQ(VX_OpenSystem(&round.closing, closedOne.locator().c_str(), closedOne.options(async).c_str()), VX_OK);
        const VX_SystemIndex freed = placeholder.index();
        ASSERT_GT(round.closing, freed);
        ASSERT_EQ(placeholder.close(), VX_OK);
        closedOne.endpoint().clearFaults();
        if (mode.replies == Replies::Late) closedOne.endpoint().addFault(vxsim::Gen2Fault::late(vxsim::Gen2Match{}, 20ms));
        if (mode.replies == Replies::None) closedOne.endpoint().addFault(vxsim::Gen2Fault::drop(vxsim::Gen2Match{}));
        closedOne.endpoint().clearRequests();
        newOne.endpoint().clearRequests();

        std::array<vxplatform::OwnedThread, kCallers> callers;
        for (size_t i = 0; i < kCallers; ++i) {
            auto& self = callers[i];
            ASSERT_TRUE(self.start([&round, &self, i] { round.call(self, static_cast<uint32_t>(i % kChannels)); }));
        }
        // The callers are under way and their writes reach the controller.
        const size_t writesBeforeClose = mode.replies == Replies::None ? kRequestSlots : 1;
        ASSERT_TRUE(vxtest::waitUntil([&] {
            return round.calling.load() == kCallers && markerWrites(closedOne.endpoint()) >= writesBeforeClose;
        }));

        VX_STATUS closeStatus = 99;
        VX_STATUS openStatus = 99;
        VX_SystemIndex opened = kNoIndex;
        vxplatform::OwnedThread closer;
        vxplatform::OwnedThread opener;
        vxtest::Latch<bool> closeReturned;
        const bool closing = closer.start([&] {
            round.go.wait();
            closeStatus = VX_CloseSystem(round.closing);
            round.closed = true;
            closeReturned.set(true);
        });
        const bool opening = opener.start([&] {
            round.go.wait();
            openStatus = VX_OpenSystem(&opened, newOne.locator().c_str(), newOne.options().c_str());
        });
        round.go.count_down();
        ASSERT_TRUE(closing && opening);
        if (!closeReturned.wait(kRoundDeadline)) {
            // Its threads cannot be joined: the test cannot go on.
            ADD_FAILURE() << "VX_CloseSystem hangs";
            std::abort();
        }
        closer.join();
        opener.join();
        // Some calls after the close, then the callers end.
        EXPECT_TRUE(vxtest::waitUntil([&] { return round.callsAfterClose.load() >= kCallers; }));
        for (auto& caller : callers) caller.stop();
        EXPECT_LT(elapsedSince(roundStart), kRoundDeadline);

        EXPECT_EQ(closeStatus, VX_OK);
        ASSERT_EQ(openStatus, VX_OK);
        OpenedSystem fresh;
        fresh.adopt(opened);
        EXPECT_EQ(opened, freed);
        EXPECT_EQ(round.wrongAfterClose.load(), 0u);
        int position = 4711;
        EXPECT_EQ(VX_GetPosition_S(fresh, 0, &position), VX_OK);
        EXPECT_EQ(position, 0);
        EXPECT_EQ(fresh.close(), VX_OK);
        EXPECT_TRUE(closedOne.hostGone());
        EXPECT_TRUE(newOne.hostGone());
        ASSERT_EQ(markerWrites(newOne.endpoint()), 0u);
        ASSERT_TRUE(newOne.endpoint().rejected().empty());
    }
    RecordProperty("rounds", rounds);
}

INSTANTIATE_TEST_SUITE_P(Gen2, CloseWhileCalled,
                         ::testing::Values(RaceMode{"Synchronous", false, Replies::Prompt, 3},
                                           RaceMode{"Asynchronous", true, Replies::Prompt, 3},
                                           RaceMode{"SynchronousLateReplies", false, Replies::Late, 3},
                                           RaceMode{"AsynchronousLateReplies", true, Replies::Late, 3},
                                           RaceMode{"AsynchronousNoReplies", true, Replies::None, 1}),
                         [](const ::testing::TestParamInfo<RaceMode>& info) { return info.param.name; });

}  // namespace
