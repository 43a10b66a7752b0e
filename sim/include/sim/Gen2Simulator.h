#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"
#include "sim/FtdiAttach.h"
#include "sim/Gen2Endpoint.h"
#include "sim/Gen2Model.h"
#include "sim/Pty.h"
#include "sim/TcpServer.h"

namespace vxsim {

// A simulated second-generation controller: its model, the framed protocol
// endpoint over it, and the carriers the host reaches it by. Its model
// starts with a serial number and a channel count.
class Gen2Simulator {
public:
    static constexpr const char* kDefaultSerialNumber = "Q2-SIM-0001";
    static constexpr int32_t kDefaultChannelCount = 3;

    Gen2Simulator();
    ~Gen2Simulator();

    Gen2Model& model() { return model_; }
    Gen2Endpoint& endpoint() { return endpoint_; }

    // The controller's Ethernet port.
    TcpServer& serveTcp(const std::string& address = "127.0.0.1", uint16_t port = 0);
    TcpServer& tcp() { return *tcp_; }
    std::string tcpLocator() const;
    // A controller restarting: the open connection drops and connections
    // to the port are refused, while the port stays reserved for it, until
    // acceptTcp() serves it again. Throws std::system_error.
    void refuseTcp();
    void acceptTcp();

    // The controller's USB adapter in the FTDI driver double; a reset's ready
    // frame follows one zero byte there, as the adapter shows.
    FtdiAttachment& attachUsb(const FtdiAdapter& adapter = {});
    FtdiAttachment& usb() { return *usb_; }

    // A serial cable: the host opens pty().devicePath().
    Pty& servePty();
    Pty& pty() { return *pty_; }

private:
    Gen2Model model_;
    Gen2Endpoint endpoint_;
    std::unique_ptr<TcpServer> tcp_;
    vxplatform::UniqueFd reservedPort_;  // bound, not listening, while refusing
    std::unique_ptr<FtdiAttachment> usb_;
    std::unique_ptr<Pty> pty_;
};

}  // namespace vxsim
