#include "discovery/DeviceFilter.h"

#include <algorithm>

namespace veltraxnd {

namespace {

// A device whose port or address changed counts as a new device.
bool sameDevice(const DiscoverInfo& a, const DiscoverInfo& b) {
    return a.SerialNumber == b.SerialNumber && a.address == b.address && a.Port == b.Port &&
           a.DeviceType == b.DeviceType && a.ProtocolId == b.ProtocolId;
}

}  // namespace

DeviceFilter::DeviceFilter(std::shared_ptr<Host> host, AddedCallback added, ChangedCallback changed,
                           RemovedCallback removed)
    : host_(std::move(host)), added_(std::move(added)), changed_(std::move(changed)), removed_(std::move(removed)) {
    listenerId_ = host_->AddDiscoverListener([this](const DiscoverInfo& info) {
        onDiscoverInfo(info);
        return true;
    });
}

DeviceFilter::~DeviceFilter() { host_->RemoveDiscoverListener(listenerId_); }

std::vector<DiscoverInfo> DeviceFilter::GetDevices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_;
}

void DeviceFilter::SetDeviceTypeCriterion(int32_t deviceType) {
    std::lock_guard<std::mutex> lock(mutex_);
    deviceType_ = deviceType;
}

void DeviceFilter::SetProtocolIdCriterion(uint8_t protocolId) {
    std::lock_guard<std::mutex> lock(mutex_);
    protocolId_ = protocolId;
}

void DeviceFilter::SetOnlyAvailable(bool onlyAvailable) {
    std::lock_guard<std::mutex> lock(mutex_);
    onlyAvailable_ = onlyAvailable;
}

void DeviceFilter::onDiscoverInfo(const DiscoverInfo& info) {
    bool added = false;
    bool removed = false;
    cppu::Flags<Change> changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (deviceType_ != -1 && static_cast<uint32_t>(deviceType_) != info.DeviceType) return;
        if (protocolId_ != 0 && protocolId_ != info.ProtocolId) return;

        auto it = std::find_if(devices_.begin(), devices_.end(),
                               [&](const DiscoverInfo& listed) { return sameDevice(listed, info); });
        if (it != devices_.end()) {
            if (onlyAvailable_ && !info.Available) {
                devices_.erase(it);
                removed = true;
            } else {
                it->lastSeen = info.lastSeen;
                if (it->Available != info.Available) {
                    it->Available = info.Available;
                    changes.set(Change::AvailabilityChanged);
                }
            }
        } else if (!onlyAvailable_ || info.Available) {
            devices_.push_back(info);
            added = true;
        }
    }
    if (added && added_) added_(info);
    if (changes.any() && changed_) changed_(info, changes);
    if (removed && removed_) removed_(info);
}

void DeviceFilter::Discover(std::chrono::milliseconds timeout, const std::string& serialNumber) {
    std::vector<DiscoverInfo> gone;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const int64_t start = steadyNanoseconds();
        host_->Discover(static_cast<uint32_t>(deviceType_), serialNumber);

        // Listen for the whole time-out: nothing ends a pass early.
        const auto end = std::chrono::steady_clock::now() + timeout;
        passTimer_.wait_until(lock, end, [] { return false; });

        auto keep = std::stable_partition(devices_.begin(), devices_.end(),
                                          [start](const DiscoverInfo& d) { return d.lastSeen >= start; });
        gone.assign(keep, devices_.end());
        devices_.erase(keep, devices_.end());
    }
    if (removed_)
        for (const auto& info : gone) removed_(info);
}

}  // namespace veltraxnd
