#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/Flags.h"
#include "discovery/Host.h"

namespace veltraxnd {

// Keeps the list of devices that one host has heard of, and reports devices
// that appear, change or go away. The callbacks run without the filter
// mutex: added and changed on the host's receive thread, removed on the
// thread that runs Discover.
class DeviceFilter {
public:
    enum class Change : unsigned { AvailabilityChanged = 1 };

    using AddedCallback = std::function<void(const DiscoverInfo&)>;
    using ChangedCallback = std::function<void(const DiscoverInfo&, cppu::Flags<Change>)>;
    using RemovedCallback = std::function<void(const DiscoverInfo&)>;

    // Registers at the host at once.
    DeviceFilter(std::shared_ptr<Host> host, AddedCallback added, ChangedCallback changed,
                 RemovedCallback removed);
    // Unregisters first; a callback in progress on the receive thread has
    // ended when this returns, so a filter is never destroyed from its own
    // added or changed callback.
    ~DeviceFilter();
    DeviceFilter(const DeviceFilter&) = delete;
    DeviceFilter& operator=(const DeviceFilter&) = delete;

    std::vector<DiscoverInfo> GetDevices() const;

    // One pass: sends a Discover Request, listens for `timeout` and then drops
    // every device that has not been heard of since the pass began.
    // Passes on the host's exceptions, before it listens.
    void Discover(std::chrono::milliseconds timeout, const std::string& serialNumber);

    // Criteria: -1 any device type, 0 any protocol id, all devices.
    void SetDeviceTypeCriterion(int32_t deviceType);
    void SetProtocolIdCriterion(uint8_t protocolId);
    void SetOnlyAvailable(bool onlyAvailable);

private:
    void onDiscoverInfo(const DiscoverInfo& info);

    std::shared_ptr<Host> host_;
    AddedCallback added_;
    ChangedCallback changed_;
    RemovedCallback removed_;

    mutable std::mutex mutex_;
    std::condition_variable passTimer_;
    std::vector<DiscoverInfo> devices_;
    int32_t deviceType_ = -1;
    uint8_t protocolId_ = 0;
    bool onlyAvailable_ = false;
    uint64_t listenerId_ = 0;
};

}  // namespace veltraxnd
