#include "device/DeviceTable.h"

#include <mutex>
#include <vector>

#include "platform/SlotTable.h"
#include "search/DeviceListReader.h"

namespace vxctl {

namespace {

// Entry 0 is never used, so that handles start at 1.
constexpr size_t kFirstHandle = 1;

constexpr const char* kDiscoveryOn = "discovery-iface network:all";
constexpr const char* kDiscoveryOff = "discovery-iface network:none";
constexpr const char* kSerialOnly = "include-device-sn";
constexpr const char* kSerialKey = "device-sn";
constexpr size_t kEventDataCapacity = 256;

struct Table {
    // Guards the entries and the subscriber list.
    std::mutex mutex;
    vxplatform::SlotTable<Device, kMaxDeviceHandle + 1> entries;
    std::vector<std::shared_ptr<DiscoveryListener>> subscribers;
    // Orders subscription changes with their calls into the I/O library,
    // which run without the table mutex: the event callback runs under the
    // I/O library's lock and takes the table mutex. The callback never
    // takes this one.
    std::mutex subscription;
};

// Closes the devices left open when the process ends.
struct ExitCloser {
    ~ExitCloser() { closeAllDevices(); }
};

Table& table() {
    // Never destroyed, so that a close from another library's exit-time
    // code finds an empty table rather than a destroyed one.
    static Table* const instance = new Table;
    // Made after the statics this library had at load time, such as its
    // log, so it runs before they are torn down.
    static ExitCloser closer;
    return *instance;
}

}  // namespace

VX_CTL_Result addDevice(std::shared_ptr<Device> device, VX_CTL_DeviceHandle* handle) {
    Table& devices = table();
    std::lock_guard<std::mutex> lock(devices.mutex);
    const auto entry = devices.entries.insertFirstFree(std::move(device), kFirstHandle);
    if (!entry) return VX_CTL_DEVICE_LIMIT_REACHED;
    *handle = static_cast<VX_CTL_DeviceHandle>(*entry);
    return VX_CTL_OK;
}

std::shared_ptr<Device> findDevice(VX_CTL_DeviceHandle handle) {
    if (handle < kFirstHandle) return nullptr;
    Table& devices = table();
    std::lock_guard<std::mutex> lock(devices.mutex);
    return devices.entries.find(handle);
}

std::shared_ptr<Device> removeDevice(VX_CTL_DeviceHandle handle) {
    if (handle < kFirstHandle) return nullptr;
    Table& devices = table();
    std::lock_guard<std::mutex> lock(devices.mutex);
    return devices.entries.take(handle);
}

void subscribeDiscovery(const std::shared_ptr<DiscoveryListener>& listener) {
    Table& devices = table();
    std::lock_guard<std::mutex> order(devices.subscription);
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(devices.mutex);
        first = devices.subscribers.empty();
        devices.subscribers.push_back(listener);
    }
    if (!first) return;
    VX_IO_SetEventCallback(&discoveryEventCallback, nullptr);
    VX_IO_SetGlobalOptions(kDiscoveryOn);
}

void unsubscribeDiscovery(const std::shared_ptr<DiscoveryListener>& listener) {
    Table& devices = table();
    std::lock_guard<std::mutex> order(devices.subscription);
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(devices.mutex);
        const size_t before = devices.subscribers.size();
        std::erase(devices.subscribers, listener);
        last = before != devices.subscribers.size() && devices.subscribers.empty();
    }
    // A callback that copied the list before still holds the listener.
    listener->detach();
    if (!last) return;
    VX_IO_SetEventCallback(nullptr, nullptr);
    VX_IO_SetGlobalOptions(kDiscoveryOff);
}

size_t discoverySubscriberCount() {
    Table& devices = table();
    std::lock_guard<std::mutex> lock(devices.mutex);
    return devices.subscribers.size();
}

void discoveryEventCallback(void*, int kind, const VX_IO_Event* event) {
    char data[kEventDataCapacity];
    size_t length = sizeof data;
    if (VX_IO_GetDiscoveryEventData(event, kSerialOnly, data, &length) != VX_IO_OK) return;
    const std::vector<DeviceRecord> records = readDeviceList(std::string_view(data, length));
    if (records.size() != 1) return;
    const auto serial = records.front().find(kSerialKey);
    if (serial == records.front().end()) return;

    std::vector<std::shared_ptr<DiscoveryListener>> subscribers;
    {
        Table& devices = table();
        std::lock_guard<std::mutex> lock(devices.mutex);
        subscribers = devices.subscribers;
    }
    for (const auto& listener : subscribers) listener->deliver(kind, serial->second);
}

void closeAllDevices() {
    std::vector<std::shared_ptr<Device>> open;
    {
        Table& devices = table();
        std::lock_guard<std::mutex> lock(devices.mutex);
        devices.entries.forEach([&](size_t, const std::shared_ptr<Device>& device) { open.push_back(device); });
        devices.entries.clear();
        devices.subscribers.clear();
    }
    for (const auto& device : open) device->close(false);
}

}  // namespace vxctl
