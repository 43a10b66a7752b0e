#include "core/HandleTable.h"

#include <mutex>
#include <optional>

#include "core/Event.h"

namespace vxio {

HandleTable& handleTable() {
    // Never destroyed: callers close their handles from their own exit-time
    // destructors (the controller library's registry does), which may run
    // after this library's statics would have been torn down.
    static HandleTable* const table = new HandleTable;
    return *table;
}

VX_IO_Result openDevice(const std::shared_ptr<IoDevice>& device, VX_IO_Handle* handle) {
    const VX_IO_Result opened = device->Open(device);
    if (opened != VX_IO_OK) return opened;
    std::optional<size_t> index;
    {
        std::lock_guard<std::mutex> lock(apiMutex());
        // A caller may still send with a number it just closed.
        index = handleTable().insertLeastRecentlyFreed(device);
    }
    if (!index) {
        device->Close(true);
        return VX_IO_NO_FREE_HANDLE;
    }
    *handle = static_cast<VX_IO_Handle>(*index);
    return VX_IO_OK;
}

VX_IO_Result openByLocator(const DeviceParams& params, VX_IO_Handle* handle) {
    const Transport* transport = params.parsed.transport;
    if (transport == nullptr) return VX_IO_INVALID_LOCATOR;
    // Received bytes must go somewhere.
    if (params.receive == nullptr) return VX_IO_INVALID_OPTION;
    const std::shared_ptr<IoDevice> device = transport->createDevice(params);
    if (!device) return VX_IO_DEVICE_NOT_FOUND;
    return openDevice(device, handle);
}

VX_IO_Result closeDevice(VX_IO_Handle handle, bool wait) {
    std::shared_ptr<IoDevice> device;
    {
        std::lock_guard<std::mutex> lock(apiMutex());
        device = handleTable().take(handle);
    }
    if (!device) return VX_IO_INVALID_HANDLE;
    device->Close(wait && !device->inOwnCallback());
    return VX_IO_OK;
}

std::shared_ptr<IoDevice> findDevice(VX_IO_Handle handle) {
    std::lock_guard<std::mutex> lock(apiMutex());
    return handleTable().find(handle);
}

}  // namespace vxio
