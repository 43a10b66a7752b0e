#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/ControllerModel.h"
#include "sim/FtdiAttach.h"
#include "sim/Gen1Endpoint.h"
#include "sim/TcpServer.h"

namespace vxsim {

// A simulated first-generation system: its model, the binary protocol
// endpoint over it, and the carriers the host reaches it by.
class Gen1Simulator {
public:
    explicit Gen1Simulator(SystemSetup setup);
    ~Gen1Simulator();

    ControllerModel& model() { return model_; }
    Gen1Endpoint& endpoint() { return endpoint_; }

    // The controller's Ethernet port; each new connection is greeted with
    // the hello packet.
    TcpServer& serveTcp(const std::string& address = "127.0.0.1", uint16_t port = 0);
    TcpServer& tcp() { return *tcp_; }
    std::string tcpLocator() const;

    // The controller's USB adapter in the FTDI driver double; the endpoint
    // sends a junk byte after a reset, as the adapter does.
    FtdiAttachment& attachUsb(const FtdiAdapter& adapter = {});
    FtdiAttachment& usb() { return *usb_; }

private:
    ControllerModel model_;
    Gen1Endpoint endpoint_;
    std::unique_ptr<TcpServer> tcp_;
    std::unique_ptr<FtdiAttachment> usb_;
};

}  // namespace vxsim
