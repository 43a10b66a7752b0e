#pragma once

#include <memory>

#include "VeltraxCTL.h"
#include "device/Device.h"

namespace vxctl {

// The process-wide table of open devices behind VX_CTL_DeviceHandle 1 to
// 127. Every function takes the table mutex, and none holds it while a
// device mutex is taken. The table stays usable until the process ends:
// exit-time code of other libraries may still close their handles.

inline constexpr VX_CTL_DeviceHandle kMaxDeviceHandle = 127;

// Enters the device under the first free handle from 1 upwards and writes
// it to *handle; VX_CTL_DEVICE_LIMIT_REACHED when all are taken.
VX_CTL_Result addDevice(std::shared_ptr<Device> device, VX_CTL_DeviceHandle* handle);
// The device behind the handle, kept alive by the returned owner; null for
// an empty entry, for 0 and for a handle above 127.
std::shared_ptr<Device> findDevice(VX_CTL_DeviceHandle handle);
// Takes the device out of its entry; null when there is none.
std::shared_ptr<Device> removeDevice(VX_CTL_DeviceHandle handle);
// Empties the table and closes every device that was in it, without the
// orderly wait of a single close. Runs at process exit.
void closeAllDevices();

}  // namespace vxctl
