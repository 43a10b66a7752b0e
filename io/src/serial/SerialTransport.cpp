// Placeholder until the serial transport lands: no ports, no opens.
#include "core/Transports.h"

namespace vxio {

std::shared_ptr<IoDevice> createSerialDevice(const DeviceParams&) { return nullptr; }
VX_IO_Result enumerateSerialShortList(const std::string&, std::string& list) {
    list.clear();
    return VX_IO_OK;
}
VX_IO_Result searchSerialDevices(const Options&, DeviceList&) { return VX_IO_OK; }
VX_IO_Result enumerateSerialInterfaces(const Options&, DeviceList&) { return VX_IO_OK; }

}  // namespace vxio
