#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vxplatform {

// A mutex whose lock can give up at a deadline. std::timed_mutex locks
// through pthread_mutex_clocklock, which the thread sanitizer does not see,
// so it reports every unlock as foreign; this one waits on a condition.
// Meets Lockable and TimedLockable for std::unique_lock and std::lock_guard.
class TimedMutex {
public:
    void lock();
    bool try_lock();
    void unlock();
    bool try_lock_until(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool held_ = false;
};

}  // namespace vxplatform
