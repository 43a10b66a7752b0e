#include "ComPort.h"

#include "UpdateException.h"

namespace vxfw {

ComPort::ComPort() : StreamPortBase(PortType::Com) {}

void ComPort::enumerate(std::vector<std::string>& out) {
    out = listDevices(VX_IO_IFACE_SERIAL, "canonical-locator", "serial ports");
}

void ComPort::setBaudRate(uint32_t baud) {
    baudRate_ = baud;
    if (!isOpen()) return;
    const std::string reopen = locator();
    close();
    open(reopen);
}

void ComPort::open(const std::string& locator) {
    openDevice(locator, VX_IO_IFACE_SERIAL, "baudrate " + std::to_string(baudRate_) + "\n");
}

}  // namespace vxfw
