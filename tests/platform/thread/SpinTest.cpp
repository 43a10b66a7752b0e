#include "platform/Spin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(Spin, EndsWhenTheConditionHoldsOrTheTimeIsUp) {
    std::atomic<bool> set{false};
    std::thread setter([&] { set.store(true); });
    EXPECT_TRUE(vxplatform::spinUntil(Clock::now() + 10s, [&] { return set.load(); }));
    setter.join();

    const auto until = Clock::now() + 2ms;
    EXPECT_FALSE(vxplatform::spinUntil(until, [] { return false; }));
    EXPECT_GE(Clock::now(), until);
}

// A holder that lets go within the spin and one that holds far longer: the
// mutex is taken either way, and only once it is free.
TEST(Spin, LockingTakesTheMutexOnceItsHolderLetsGo) {
    for (const auto held : {Clock::duration(0), Clock::duration(20ms)}) {
        std::mutex mutex;
        std::atomic<bool> released{false};
        std::unique_lock<std::mutex> holder(mutex);
        std::thread other([&] {
            std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
            vxplatform::lockSpinning(lock, 50us);
            EXPECT_TRUE(lock.owns_lock());
            EXPECT_TRUE(released.load());
        });
        std::this_thread::sleep_until(Clock::now() + held);
        released.store(true);
        holder.unlock();
        other.join();
    }
}

}  // namespace
