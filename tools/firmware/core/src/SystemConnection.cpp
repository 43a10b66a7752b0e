#include "firmware/SystemConnection.h"

#include <algorithm>
#include <thread>

#include "firmware/UpdateException.h"

namespace vxfw {

void SystemConnection::openPort(const std::string& locator) {
    if (active_ != nullptr) throw UpdateException(kPortAlreadyOpen);
    int kind = VX_IO_IFACE_UNKNOWN;
    Port* port = nullptr;
    if (VX_IO_GetLocatorInterfaceType(&kind, locator.c_str()) == VX_IO_OK) {
        switch (kind) {
        case VX_IO_IFACE_USB:
            port = &usb_;
            break;
        case VX_IO_IFACE_NETWORK:
            port = &net_;
            break;
        case VX_IO_IFACE_SERIAL:
            com_.setBaudRate(ComPort::kDefaultBaudRate);
            port = &com_;
            break;
        default:
            break;
        }
    }
    if (port == nullptr)
        throw UpdateException(kInvalidParameter, "invalid device locator: " + locator);
    port->open(locator);
    active_ = port;
    locator_ = locator;
    state_ = DeviceState::Connected;
    kind_ = ProtocolKind::None;
}

void SystemConnection::close() {
    if (active_ == nullptr) return;
    active_->close();
    active_ = nullptr;
    locator_.clear();
    state_ = DeviceState::Closed;
    kind_ = ProtocolKind::None;
}

Port& SystemConnection::activePort() const {
    if (active_ == nullptr) throw UpdateException(kPortNotOpen);
    return *active_;
}

PortType SystemConnection::getPortType() const { return activePort().portType(); }

void SystemConnection::listLocators(std::vector<std::string>& out) {
    for (Port* port : {static_cast<Port*>(&usb_), static_cast<Port*>(&com_)}) {
        std::vector<std::string> found;
        try {
            port->enumerate(found);
        } catch (const UpdateException&) {
            continue;
        }
        out.insert(out.end(), found.begin(), found.end());
    }
}

void SystemConnection::send(uint32_t count, const uint8_t bytes[]) {
    activePort().send(count, bytes);
}

void SystemConnection::receive(uint32_t count, uint8_t bytes[]) {
    activePort().receive(count, bytes);
}

void SystemConnection::setTimeout(uint32_t milliseconds) { activePort().setTimeout(milliseconds); }

void SystemConnection::pause(std::chrono::milliseconds duration) const {
    // A wait the controller needs before it listens again; nothing to
    // synchronise with.
    std::this_thread::sleep_for(std::min(duration, pauseLimit_));
}

}  // namespace vxfw
