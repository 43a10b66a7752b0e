#pragma once

// The host's side of a serial device in these tests: what the library's
// callbacks delivered, and waits for more.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "VeltraxIO.h"

namespace serialtest {

class Host {
public:
    static void onReceive(void* context, const void* data, size_t length) {
        auto* host = static_cast<Host*>(context);
        std::lock_guard<std::mutex> lock(host->mutex_);
        host->data_.append(static_cast<const char*>(data), length);
        host->chunks_.push_back(length);
        host->changed_.notify_all();
    }
    static void onError(void* context, int code) {
        auto* host = static_cast<Host*>(context);
        std::lock_guard<std::mutex> lock(host->mutex_);
        host->errors_.push_back(code);
        host->changed_.notify_all();
    }

    VX_IO_Result open(const std::string& locator, const std::string& options) {
        return VX_IO_Open(&handle, locator.c_str(), options.c_str(), this, onReceive, onError);
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
    std::vector<size_t> chunks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_;
    }
    std::vector<int> errors() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }

    VX_IO_Handle handle = 0;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string data_;
    std::vector<size_t> chunks_;
    std::vector<int> errors_;
};

}  // namespace serialtest
