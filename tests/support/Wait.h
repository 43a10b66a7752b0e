#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace vxtest {

// Polls a condition until it holds or the deadline passes; for state that
// has no notification of its own (a file growing, a peer closing).
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));

// A value that one thread sets and another waits for.
template <typename T>
class Latch {
public:
    void set(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
        ready_ = true;
        cv_.notify_all();
    }
    bool wait(std::chrono::milliseconds deadline, T* out = nullptr) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, deadline, [this] { return ready_; })) return false;
        if (out) *out = value_;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool ready_ = false;
    T value_{};
};

}  // namespace vxtest
