#include "sim/Gen2Simulator.h"

namespace vxsim {

Gen2Simulator::Gen2Simulator() : endpoint_(model_) {}

// The carriers go first: they report their drops to the endpoint.
Gen2Simulator::~Gen2Simulator() {
    pty_.reset();
    usb_.reset();
    tcp_.reset();
}

TcpServer& Gen2Simulator::serveTcp(const std::string& address, uint16_t port) {
    tcp_ = std::make_unique<TcpServer>(endpoint_, address, port);
    return *tcp_;
}

std::string Gen2Simulator::tcpLocator() const { return tcp_ ? tcp_->locator() : std::string(); }

FtdiAttachment& Gen2Simulator::attachUsb(const FtdiAdapter& adapter) {
    usb_ = std::make_unique<FtdiAttachment>(endpoint_, adapter);
    endpoint_.setZeroBeforeReady(true);
    return *usb_;
}

Pty& Gen2Simulator::servePty() {
    pty_ = std::make_unique<Pty>();
    pty_->serve(endpoint_);
    return *pty_;
}

}  // namespace vxsim
