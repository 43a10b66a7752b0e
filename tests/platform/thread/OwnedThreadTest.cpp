#include "platform/OwnedThread.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/Waker.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using vxplatform::OwnedThread;

// A body that blocks in something only its wake-up ends, in each of the
// forms the transports use.
struct Blocker {
    const char* name;
    // Makes the body and its wake-up; the body returns once stopped.
    std::function<std::pair<OwnedThread::Body, OwnedThread::WakeUp>(OwnedThread&)> make;
};

struct ConditionState {
    std::mutex mutex;
    std::condition_variable changed;
};

const Blocker kBlockers[] = {
    {"eventfd",
     [](OwnedThread& thread) {
         auto waker = std::make_shared<vxplatform::Waker>();
         return std::pair<OwnedThread::Body, OwnedThread::WakeUp>(
             [waker, &thread] {
                 while (!thread.stopRequested())
                     vxplatform::waitFd(waker->fd(), POLLIN, nullptr, std::chrono::milliseconds(-1));
             },
             [waker] { waker->wake(); });
     }},
    {"condition",
     [](OwnedThread& thread) {
         auto state = std::make_shared<ConditionState>();
         return std::pair<OwnedThread::Body, OwnedThread::WakeUp>(
             [state, &thread] {
                 std::unique_lock<std::mutex> lock(state->mutex);
                 state->changed.wait(lock, [&] { return thread.stopRequested(); });
             },
             [state] {
                 std::lock_guard<std::mutex> lock(state->mutex);
                 state->changed.notify_all();
             });
     }},
};

TEST(OwnedThread, StopWakesTheBodyAndJoinsItAndAStartAfterwardsRunsAgain) {
    for (const Blocker& blocker : kBlockers) {
        SCOPED_TRACE(blocker.name);
        OwnedThread thread;
        for (int round = 0; round < 2; ++round) {
            std::atomic<bool> ended{false};
            auto [body, wakeUp] = blocker.make(thread);
            ASSERT_TRUE(thread.start(
                [&ended, body = body] {
                    body();
                    ended = true;
                },
                wakeUp));
            EXPECT_TRUE(thread.started());
            EXPECT_FALSE(thread.isCurrent());
            thread.stop();
            EXPECT_TRUE(ended) << "stop() returned before the body ended";
            EXPECT_FALSE(thread.started());
        }
    }
}

TEST(OwnedThread, DestructorWakesAndJoins) {
    for (const Blocker& blocker : kBlockers) {
        SCOPED_TRACE(blocker.name);
        std::atomic<bool> ended{false};
        {
            OwnedThread thread;
            auto [body, wakeUp] = blocker.make(thread);
            ASSERT_TRUE(thread.start(
                [&ended, body = body] {
                    body();
                    ended = true;
                },
                wakeUp));
        }
        EXPECT_TRUE(ended);
    }
}

TEST(OwnedThread, AJoinedThreadsWakeUpIsNotCalledAgain) {
    // Its owner may have taken down what the wake-up uses.
    int wakeUps = 0;
    {
        OwnedThread thread;
        ASSERT_TRUE(thread.start([] {}, [&wakeUps] { ++wakeUps; }));
        thread.stop();
        EXPECT_EQ(wakeUps, 1);
        thread.requestStop();
        EXPECT_TRUE(thread.stopRequested());
    }
    EXPECT_EQ(wakeUps, 1);
}

TEST(OwnedThread, JoinAndStopFromTheThreadItselfReturnAtOnce) {
    OwnedThread thread;
    vxtest::Latch<bool> done;
    ASSERT_TRUE(thread.start([&] {
        const bool current = thread.isCurrent();
        thread.join();
        thread.stop();
        // The thread itself cannot be replaced by a new one.
        const bool restarted = thread.start([] {});
        done.set(current && thread.stopRequested() && !restarted);
    }));
    bool ok = false;
    ASSERT_TRUE(done.wait(5000ms, &ok)) << "join from the thread itself deadlocked";
    EXPECT_TRUE(ok);
    thread.join();
    EXPECT_FALSE(thread.started());
}

// The object holding the thread is released last by its own thread. The
// latches are shared: the thread still uses them after the test has seen
// the destruction.
struct SelfOwned {
    OwnedThread thread;
    std::shared_ptr<vxtest::Latch<bool>> destroyedOnOwnThread;
    ~SelfOwned() { destroyedOnOwnThread->set(thread.isCurrent()); }
};

TEST(OwnedThread, DestructionOnTheThreadItselfLetsItFinish) {
    auto destroyed = std::make_shared<vxtest::Latch<bool>>();
    auto released = std::make_shared<vxtest::Latch<bool>>();
    auto owner = std::make_shared<SelfOwned>();
    owner->destroyedOnOwnThread = destroyed;
    ASSERT_TRUE(owner->thread.start([self = owner, released]() mutable {
        released->wait(5000ms);
        self.reset();
    }));
    owner.reset();
    released->set(true);
    bool onOwnThread = false;
    ASSERT_TRUE(destroyed->wait(5000ms, &onOwnThread)) << "destructor on the thread itself blocked";
    EXPECT_TRUE(onOwnThread);
}

TEST(OwnedThread, StartReportsWhenNoThreadCanBeMade) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' run-time makes threads of its own after fork";
#else
    // In a child limited to no more processes than it has: pthread_create
    // fails with EAGAIN. Root is exempt from the limit, so the child drops
    // to an ordinary user first.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0) ::_exit(77);
        OwnedThread thread;
        const bool started = thread.start([] {});
        ::_exit(started ? 1 : thread.started() ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot drop to an ordinary user here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

}  // namespace
