#pragma once

#include <array>
#include <memory>

#include "VeltraxIO.h"
#include "core/IoDevice.h"
#include "core/Transport.h"

namespace vxio {

// The 64 device slots behind the handles. Every member expects the caller
// to hold apiMutex(); the free functions below take it themselves.
class HandleTable {
public:
    static constexpr VX_IO_Handle kSize = 64;

    // The first empty slot takes `device`; false when every slot is taken.
    bool insert(std::shared_ptr<IoDevice> device, VX_IO_Handle* handle);
    // Empties the slot and hands its owner over; null for an empty slot or
    // a handle out of range.
    std::shared_ptr<IoDevice> take(VX_IO_Handle handle);
    // A copy of the slot's owner; null for an empty slot or out of range.
    std::shared_ptr<IoDevice> find(VX_IO_Handle handle) const;

private:
    std::array<std::shared_ptr<IoDevice>, kSize> slots_;
};

HandleTable& handleTable();

// Opens a transport object and gives it a handle: 0 and *handle, the
// transport's failure, or 1 with the device closed again when the table is
// full. The API mutex is not held while the device opens or closes.
VX_IO_Result openDevice(const std::shared_ptr<IoDevice>& device, VX_IO_Handle* handle);

// Creates the transport object of the locator's row and opens it; 2 for
// an unknown kind, 4 without a receive callback, 3 when the row makes no
// object.
VX_IO_Result openByLocator(const DeviceParams& params, VX_IO_Handle* handle);

// Frees the slot and closes the device; 6 for a handle without a device.
// A close with wait from the device's own callback does not wait, since the
// receive thread cannot join itself.
VX_IO_Result closeDevice(VX_IO_Handle handle, bool wait);

// The device behind a handle, kept alive by the returned owner even if the
// handle is closed meanwhile; null when there is none.
std::shared_ptr<IoDevice> findDevice(VX_IO_Handle handle);

}  // namespace vxio
