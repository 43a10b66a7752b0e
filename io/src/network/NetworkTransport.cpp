// Placeholder until the TCP transport lands: no devices, no opens.
#include "core/Transports.h"

namespace vxio {

std::shared_ptr<IoDevice> createNetworkDevice(const DeviceParams&) { return nullptr; }
VX_IO_Result enumerateNetworkDevices(const Options&, DeviceList&) { return VX_IO_OK; }
VX_IO_Result enumerateNetworkInterfaces(const Options&, DeviceList&) { return VX_IO_OK; }
VX_IO_Result applyNetworkGlobalOptions(const Options&) { return VX_IO_OK; }

}  // namespace vxio
