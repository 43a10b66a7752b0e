// Many threads use one system while another thread closes it: every call
// returns a status that tells what happened to it, nothing hangs, and once
// the close has returned the index is gone for everyone.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "e2e/Simulated.h"

namespace {

using namespace e2e;

constexpr int kCallers = 8;
constexpr int kRounds = 10;
// Calls each caller makes before the close starts.
constexpr int kCallsBeforeClose = 25;

// A call that was already on its way when the close came finds the device
// gone when it sends (255); a call that starts after it finds no system (5).
const std::set<VX_STATUS> kAllowed{0, 5, 255};

using Call = std::function<VX_STATUS(VX_SystemIndex)>;

// One kind of call per thread: queries, commands, system-wide and hand
// control module requests, and calls answered from the system's records.
const std::vector<Call>& synchronousCalls() {
    static const std::vector<Call> calls{
        [](VX_SystemIndex s) { int v; return VX_GetPosition_S(s, 0, &v); },
        [](VX_SystemIndex s) { unsigned v; return VX_GetStatus_S(s, 1, &v); },
        [](VX_SystemIndex s) { return VX_SetClosedLoopMoveSpeed_S(s, 1, 3000); },
        [](VX_SystemIndex s) { return VX_GotoPositionRelative_S(s, 0, 0, 0); },
        [](VX_SystemIndex s) { unsigned v; return VX_GetSensorEnabled_S(s, &v); },
        [](VX_SystemIndex s) { unsigned v; return VX_ReadSpeedLevelTableSize_S(s, &v); },
        [](VX_SystemIndex s) { unsigned v; return VX_GetNumberOfChannels(s, &v); },
        [](VX_SystemIndex s) {
            char text[128];
            unsigned size = sizeof text;
            return VX_GetSystemLocator(s, text, &size);
        },
    };
    return calls;
}

// Counts each thread's calls and lets the closer wait until every thread
// has made enough of them.
class Progress {
public:
    explicit Progress(size_t threads) : calls_(threads, 0) {}
    void add(size_t thread) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_[thread];
        changed_.notify_all();
    }
    bool waitForEach(int calls, std::chrono::milliseconds deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] {
            for (int made : calls_)
                if (made < calls) return false;
            return true;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> calls_;
};

struct CallerLog {
    std::vector<VX_STATUS> statuses;
};

class CloseWhileCalling : public ::testing::TestWithParam<Carrier> {
protected:
    CloseWhileCalling() : sim(GetParam(), vxsim::SystemSetup::standard(2, true)) {}
    SimulatedSystem sim;
};

TEST_P(CloseWhileCalling, EightSynchronousCallersAndOneCloser) {
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        VX_SystemIndex index = kNoIndex;
        ASSERT_EQ(VX_OpenSystem(&index, sim.locator().c_str(), nullptr), 0u);

        Progress progress(kCallers);
        std::atomic<bool> closed{false};
        std::vector<CallerLog> logs(kCallers);
        std::vector<std::thread> callers;
        for (int t = 0; t < kCallers; ++t) {
            callers.emplace_back([&, t] {
                const Call& call = synchronousCalls()[static_cast<size_t>(t)];
                // Runs until it has seen the index gone after the close returned.
                for (;;) {
                    const bool afterClose = closed.load();
                    const VX_STATUS status = call(index);
                    logs[t].statuses.push_back(status);
                    progress.add(static_cast<size_t>(t));
                    if (afterClose && status == 5) break;
                }
            });
        }
        VX_STATUS closeStatus = 99;
        std::thread closer([&] {
            EXPECT_TRUE(progress.waitForEach(kCallsBeforeClose, 5000ms));
            closeStatus = VX_CloseSystem(index);
            closed = true;
        });
        closer.join();
        for (auto& caller : callers) caller.join();

        EXPECT_EQ(closeStatus, 0u);
        for (int t = 0; t < kCallers; ++t) {
            const auto& statuses = logs[t].statuses;
            ASSERT_FALSE(statuses.empty());
            EXPECT_EQ(statuses.front(), 0u) << "caller " << t;
            EXPECT_EQ(statuses.back(), 5u) << "caller " << t;
            bool gone = false;
            for (VX_STATUS status : statuses) {
                EXPECT_TRUE(kAllowed.count(status)) << "caller " << t << " got " << status;
                // A closed system never answers again.
                if (gone) {
                    EXPECT_NE(status, 0u) << "caller " << t;
                }
                gone = gone || status == 5;
            }
        }
        EXPECT_EQ(VX_CloseSystem(index), 5u);
        ASSERT_TRUE(sim.hostGone());
    }
}

TEST_P(CloseWhileCalling, AsynchronousSendersAndAReceiverWhileTheSystemCloses) {
    VX_SystemIndex index = kNoIndex;
    ASSERT_EQ(VX_OpenSystem(&index, sim.locator().c_str(), "async"), 0u);

    Progress progress(kCallers);
    std::atomic<bool> closed{false};
    std::vector<std::thread> threads;
    std::vector<std::vector<VX_STATUS>> logs(kCallers + 1);
    for (int t = 0; t < kCallers; ++t) {
        threads.emplace_back([&, t] {
            for (;;) {
                const bool afterClose = closed.load();
                const VX_STATUS status = VX_GetPosition_A(index, static_cast<unsigned>(t % 2));
                logs[t].push_back(status);
                progress.add(static_cast<size_t>(t));
                if (afterClose && status == 5) break;
            }
        });
    }
    // The receiver keeps the queue short; it stops like the senders.
    threads.emplace_back([&] {
        for (;;) {
            const bool afterClose = closed.load();
            VX_packet packet{};
            const VX_STATUS status = VX_ReceiveNextPacket_A(index, 20, &packet);
            logs[kCallers].push_back(status);
            if (status == 0 && packet.packetType != VX_PACKET_NONE) {
                EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
            }
            if (afterClose && status == 5) break;
        }
    });
    EXPECT_TRUE(progress.waitForEach(kCallsBeforeClose, 5000ms));
    EXPECT_EQ(VX_CloseSystem(index), 0u);
    closed = true;
    for (auto& thread : threads) thread.join();

    // A send may also find the queue overflowing (22) when the receiver
    // falls behind, and a receive still waiting when the close comes is
    // canceled (20); nothing else.
    std::set<VX_STATUS> allowed = kAllowed;
    allowed.insert(22);
    allowed.insert(20);
    for (const auto& statuses : logs) {
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back(), 5u);
        for (VX_STATUS status : statuses) EXPECT_TRUE(allowed.count(status)) << status;
    }
    EXPECT_TRUE(sim.hostGone());
}

TEST_P(CloseWhileCalling, ReceiveWaitingWithoutLimitEndsWhenTheSystemCloses) {
    for (int round = 0; round < 20; ++round) {
        VX_SystemIndex index = kNoIndex;
        ASSERT_EQ(VX_OpenSystem(&index, sim.locator().c_str(), "async"), 0u);
        ASSERT_EQ(VX_GetPosition_A(index, 0), 0u);
        vxtest::Latch<bool> answered;
        vxtest::Latch<VX_STATUS> ended;
        std::thread receiver([&] {
            VX_packet packet{};
            EXPECT_EQ(VX_ReceiveNextPacket_A(index, 0xFFFFFFFF, &packet), 0u);
            answered.set(true);
            // Nothing more is asked for: only the close can end this wait.
            ended.set(VX_ReceiveNextPacket_A(index, 0xFFFFFFFF, &packet));
        });
        EXPECT_TRUE(answered.wait(2000ms));
        EXPECT_EQ(VX_CloseSystem(index), 0u);
        VX_STATUS status = 99;
        EXPECT_TRUE(ended.wait(2000ms, &status)) << "round " << round;
        receiver.join();
        // Canceled when it was already waiting, no system when it came late.
        EXPECT_TRUE(status == 20 || status == 5) << status;
    }
}

INSTANTIATE_TEST_SUITE_P(E2e, CloseWhileCalling, ::testing::Values(Carrier::Tcp, Carrier::Usb),
                         carrierName);

}  // namespace
