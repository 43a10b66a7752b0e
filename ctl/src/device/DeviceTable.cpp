#include "device/DeviceTable.h"

#include <mutex>
#include <vector>

#include "platform/SlotTable.h"

namespace vxctl {

namespace {

// Entry 0 is never used, so that handles start at 1.
constexpr size_t kFirstHandle = 1;

struct Table {
    std::mutex mutex;
    vxplatform::SlotTable<Device, kMaxDeviceHandle + 1> entries;
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

void closeAllDevices() {
    std::vector<std::shared_ptr<Device>> open;
    {
        Table& devices = table();
        std::lock_guard<std::mutex> lock(devices.mutex);
        devices.entries.forEach([&](size_t, const std::shared_ptr<Device>& device) { open.push_back(device); });
        devices.entries.clear();
    }
    for (const auto& device : open) device->close(false);
}

}  // namespace vxctl
