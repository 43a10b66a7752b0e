#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <vector>

#include "sim/Link.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

// The host side of an in-process connection: keeps every write apart.
class CaptureLink : public vxsim::Link {
public:
    bool send(const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        writes_.emplace_back(data, data + length);
        changed_.notify_all();
        return !closed_;
    }
    void close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    bool waitWrites(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return writes_.size() >= count; });
    }
    std::vector<Bytes> writes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }
    Bytes all() {
        Bytes joined;
        for (const Bytes& w : writes()) joined.insert(joined.end(), w.begin(), w.end());
        return joined;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        writes_.clear();
    }
    bool closed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> writes_;
    bool closed_ = false;
};

}  // namespace simtest
