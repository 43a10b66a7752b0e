// Placeholder until the USB transport lands: no adapters, no opens.
#include "core/Transports.h"

namespace vxio {

std::shared_ptr<IoDevice> createFtdiDevice(const DeviceParams&) { return nullptr; }
VX_IO_Result enumerateUsbShortList(const std::string&, std::string& list) {
    list.clear();
    return VX_IO_OK;
}
VX_IO_Result searchUsbDevices(const Options&, DeviceList&) { return VX_IO_OK; }

}  // namespace vxio
