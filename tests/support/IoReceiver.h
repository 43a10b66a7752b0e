#pragma once

// The caller's side of one VeltraxIO device in tests: what the receive and
// error callbacks delivered, and waits for more. Pass the receiver as the
// user context with IoReceiver::onReceive and IoReceiver::onError.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vxtest {

class IoReceiver {
public:
    using Clock = std::chrono::steady_clock;

    static void onReceive(void* context, const void* data, size_t length) {
        auto* self = static_cast<IoReceiver*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->data_.append(static_cast<const char*>(data), length);
        self->chunks_.push_back(length);
        self->changed_.notify_all();
    }
    static void onError(void* context, int code) {
        auto* self = static_cast<IoReceiver*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->errors_.push_back(code);
        self->errorTimes_.push_back(Clock::now());
        self->changed_.notify_all();
    }

    bool waitForBytes(size_t count,
                      std::chrono::milliseconds deadline = std::chrono::milliseconds(5000)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return data_.size() >= count; });
    }
    bool waitForErrors(size_t count,
                       std::chrono::milliseconds deadline = std::chrono::milliseconds(5000)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return errors_.size() >= count; });
    }

    std::string data() {
        std::lock_guard<std::mutex> lock(mutex_);
        return data_;
    }
    std::vector<uint8_t> bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::vector<uint8_t>(data_.begin(), data_.end());
    }
    std::vector<size_t> chunks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_;
    }
    size_t largestChunk() {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_.empty() ? 0 : *std::max_element(chunks_.begin(), chunks_.end());
    }
    std::vector<int> errors() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    std::vector<Clock::time_point> errorTimes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errorTimes_;
    }
    size_t errorCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string data_;
    std::vector<size_t> chunks_;
    std::vector<int> errors_;
    std::vector<Clock::time_point> errorTimes_;
};

}  // namespace vxtest
