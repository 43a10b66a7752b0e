#include "NetPort.h"

#include "UpdateException.h"

namespace vxfw {

NetPort::NetPort() : StreamPortBase(PortType::Network) {}

void NetPort::enumerate(std::vector<std::string>& out) { out.clear(); }

void NetPort::setBaudRate(uint32_t) {
    throw UpdateException(kInvalidParameter, "Network port baudrate cannot be set");
}

void NetPort::open(const std::string& locator) {
    openDevice(locator, VX_IO_IFACE_NETWORK,
               "port " + toText(kDefaultTcpPort) + "\n" + "connect-timeout " +
                   toText(kConnectTimeoutMs) + "\n");
}

}  // namespace vxfw
