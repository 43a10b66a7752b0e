#include "platform/TimedMutex.h"

namespace vxplatform {

void TimedMutex::lock() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return !held_; });
    held_ = true;
}

bool TimedMutex::try_lock() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (held_) return false;
    held_ = true;
    return true;
}

void TimedMutex::unlock() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
    }
    freed_.notify_one();
}

bool TimedMutex::try_lock_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!freed_.wait_until(lock, deadline, [this] { return !held_; })) return false;
    held_ = true;
    return true;
}

}  // namespace vxplatform
