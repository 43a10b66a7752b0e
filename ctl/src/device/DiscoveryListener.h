#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "VeltraxIO.h"

namespace vxctl {

// A device's interest in discovery events while it resets. The table's
// subscriber list and the event callback hold it by shared reference; once
// detached, no event reaches the device any more, even from a callback that
// copied the list before.
class DiscoveryListener {
public:
    using Deliver = std::function<void(int kind, const std::string& serial)>;
    explicit DiscoveryListener(Deliver deliver) : deliver_(std::move(deliver)) {}

    // On the I/O library's discovery thread; the listener's mutex is held
    // while the device takes its own.
    void deliver(int kind, const std::string& serial) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (deliver_) deliver_(kind, serial);
    }
    // Returns when no delivery runs; never with the device mutex held.
    void detach() {
        std::lock_guard<std::mutex> lock(mutex_);
        deliver_ = nullptr;
    }

private:
    std::mutex mutex_;
    Deliver deliver_;
};

// The I/O library raises discovery events on every interface while one
// listener at least is subscribed. Neither is called with a device mutex
// held; unsubscribing detaches the listener.
void subscribeDiscovery(const std::shared_ptr<DiscoveryListener>& listener);
void unsubscribeDiscovery(const std::shared_ptr<DiscoveryListener>& listener);
size_t discoverySubscriberCount();

// Given to VX_IO_SetEventCallback: reads the serial number of the event's
// device and hands it to every subscriber, without the table mutex.
void discoveryEventCallback(void* user, int kind, const VX_IO_Event* event);

}  // namespace vxctl
