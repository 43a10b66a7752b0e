#pragma once

#include <memory>

#include "VeltraxIO.h"
#include "core/IoDevice.h"
#include "core/Transport.h"
#include "platform/SlotTable.h"

namespace vxio {

// The 64 device slots behind the handles. Every use expects the caller to
// hold apiMutex(); the free functions below take it themselves.
using HandleTable = vxplatform::SlotTable<IoDevice, 64>;

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
