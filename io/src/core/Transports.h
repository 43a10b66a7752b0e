#pragma once

// What the export layer calls of each transport. Each transport folder
// implements its own part of this header.

#include <memory>
#include <string>

#include "VeltraxIO.h"
#include "core/DeviceList.h"
#include "core/IoDevice.h"
#include "core/Options.h"

namespace vxio {

struct DeviceParams {
    const char* locator;
    const char* options;  // never null here
    void* userContext;
    VX_IO_ReceiveCallback receive;
    VX_IO_ErrorCallback error;
};

// USB (ftdi/)
std::shared_ptr<IoDevice> createFtdiDevice(const DeviceParams& params);
// Type 1 short list; `optionText` is read by raw lookup.
VX_IO_Result enumerateUsbShortList(const std::string& optionText, std::string& list);
// Type 9999 search: appends records.
VX_IO_Result searchUsbDevices(const Options& options, DeviceList& list);

// Serial (serial/)
std::shared_ptr<IoDevice> createSerialDevice(const DeviceParams& params);
VX_IO_Result enumerateSerialShortList(const std::string& optionText, std::string& list);
VX_IO_Result searchSerialDevices(const Options& options, DeviceList& list);
VX_IO_Result enumerateSerialInterfaces(const Options& options, DeviceList& list);

// Network (network/)
std::shared_ptr<IoDevice> createNetworkDevice(const DeviceParams& params);
VX_IO_Result enumerateNetworkDevices(const Options& options, DeviceList& list);
VX_IO_Result enumerateNetworkInterfaces(const Options& options, DeviceList& list);
// Called with the API mutex held.
VX_IO_Result applyNetworkGlobalOptions(const Options& options);

}  // namespace vxio
