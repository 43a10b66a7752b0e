#pragma once

// A transport without hardware for the handle-table tests: its receive
// thread delivers what the test injects and what is sent to it, and it
// closes the way the real transports do.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/IoDevice.h"
#include "platform/CopyOut.h"
#include "support/Wait.h"

namespace vxtest {

class LoopDevice : public vxio::IoDevice {
public:
    // Set when the object is destroyed, so that a test can see how long an
    // owner kept it alive.
    using Destroyed = std::shared_ptr<Latch<bool>>;

    LoopDevice(void* context, VX_IO_ReceiveCallback receive, VX_IO_ErrorCallback error,
               Destroyed destroyed = nullptr)
        : IoDevice("usb:sn:LOOP", "", context, receive, error), destroyed_(std::move(destroyed)) {}

    ~LoopDevice() override {
        if (destroyed_) destroyed_->set(true);
    }

    VX_IO_Result Open(std::shared_ptr<vxio::IoDevice> self) override {
        thread_ = std::thread([this, self] { run(); });
        return VX_IO_OK;
    }

    void Close(bool wait) override {
        if (wait) {
            signalStop();
            // Joining from the receive thread itself throws, as in the
            // transports.
            thread_.join();
        } else {
            thread_.detach();
            signalStop();
        }
    }

    VX_IO_Result Send(const void* data, size_t length) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++sendsEntered_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !sendGate_; });
        }
        inject(std::string(static_cast<const char*>(data), length));
        return VX_IO_OK;
    }

    VX_IO_Result GetProperty(const char* key, char* buffer, size_t* length) override {
        if (std::string(key) != "locator") return VX_IO_UNKNOWN_PROPERTY;
        return vxplatform::copyOut(locator(), buffer, length) ? VX_IO_OK : VX_IO_BUFFER_TOO_SMALL;
    }

    void inject(std::string bytes) { push(Item{std::move(bytes), 0}); }
    void injectError(int code) { push(Item{std::string(), code}); }

    // While closed, sends wait inside the device until it opens again.
    void holdSends(bool hold) {
        std::lock_guard<std::mutex> lock(mutex_);
        sendGate_ = hold;
        changed_.notify_all();
    }
    bool waitForSendEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5),
                                 [&] { return sendsEntered_ >= count; });
    }
    bool stopped() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

private:
    struct Item {
        std::string bytes;
        int errorCode;
    };

    void push(Item item) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(item));
        changed_.notify_all();
    }

    void signalStop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            Item item = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            if (item.errorCode != 0) {
                reportError(item.errorCode);
            } else {
                deliver(item.bytes.data(), item.bytes.size());
            }
            lock.lock();
        }
    }

    Destroyed destroyed_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool stopping_ = false;
    bool sendGate_ = false;
    int sendsEntered_ = 0;
};

}  // namespace vxtest
