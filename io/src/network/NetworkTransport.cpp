// The network transport's share of the export layer: TCP devices, and the
// device and interface lists and global options that discovery serves.
#include <new>

#include "core/Transports.h"
#include "network/IoNetwork.h"

namespace vxio {

std::shared_ptr<IoDevice> createNetworkDevice(const DeviceParams& params) {
    try {
        return std::make_shared<IoNetwork>(params);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VX_IO_Result enumerateNetworkDevices(const Options&, DeviceList&) { return VX_IO_OK; }
VX_IO_Result enumerateNetworkInterfaces(const Options&, DeviceList&) { return VX_IO_OK; }
VX_IO_Result applyNetworkGlobalOptions(const Options&) { return VX_IO_OK; }

}  // namespace vxio

#include "network/NetworkLocator.h"
namespace vxio {
VX_IO_Result parseNetworkLocator(const std::string& optionText, const std::string& locator,
                                 std::string& host, uint16_t& port) {
    return parseNetworkLocator(optionText, locator, SerialResolver(), host, port);
}
}  // namespace vxio
