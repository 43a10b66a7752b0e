#include "USBPort.h"

#include "UpdateException.h"

namespace vxfw {

USBPort::USBPort() : StreamPortBase(PortType::Usb) {}

void USBPort::enumerate(std::vector<std::string>& out) {
    out = listDevices(VX_IO_IFACE_USB, std::string("product-name ") + kProductName + "\ninclude-id",
                      "USB");
}

void USBPort::setBaudRate(uint32_t) {
    throw UpdateException(kInvalidParameter, "USB port baudrate cannot be set");
}

void USBPort::open(const std::string& locator) {
    openDevice(locator, VX_IO_IFACE_USB,
               std::string("product-name ") + kProductName + "\n" + "baudrate " +
                   toText(kBaudRate) + "\n" + "ftdi-latency " + toText(kLatencyMs) + "\n" +
                   "health-check " + toText(kHealthCheckMs));
}

}  // namespace vxfw
