// The serial row of the transport table: opening a "serial:" locator and
// the three serial listings.
#include <memory>

#include "core/OptionKeys.h"
#include "serial/ComPortList.h"
#include "platform/Text.h"
#include "serial/IoSerial.h"
#include "serial/SerialTransport.h"

namespace vxio {

namespace {

constexpr char kSerialPrefix[] = "serial:";

VX_IO_Result enumerateSerialShortList(const std::string& optionText, std::string& list) {
    refreshComPortCache(rawHas(key::kForceRescan, optionText));
    std::vector<std::string> lines;
    for (const ComPortEntry& port : cachedComPorts()) lines.push_back(kSerialPrefix + port.name);
    list = vxplatform::joinText(lines, "\n");
    return VX_IO_OK;
}

VX_IO_Result searchSerialDevices(const Options& options, DeviceList& list) {
    refreshComPortCache(options.hasKey(key::kForceRescan));
    for (const ComPortEntry& port : cachedComPorts()) {
        if (!port.available) continue;
        list.push_back({{"iface-type", "serial"}, {"locator", kSerialPrefix + port.name}});
    }
    return VX_IO_OK;
}

VX_IO_Result enumerateSerialInterfaces(const Options&, DeviceList& list) {
    for (const ComPortEntry& port : readComPorts()) {
        list.push_back({{"iface-type", "serial"}, {"name", port.name}, {"serial-port", port.name}});
    }
    return VX_IO_OK;
}

}  // namespace

constexpr DeviceMaker createSerialDevice = makeDevice<IoSerial>;

const Transport kSerialTransport{.kind = "serial",
                                 .interfaceType = VX_IO_IFACE_SERIAL,
                                 .createDevice = createSerialDevice,
                                 .shortList = enumerateSerialShortList,
                                 .searchDevices = searchSerialDevices,
                                 .listInterfaces = enumerateSerialInterfaces};

}  // namespace vxio
