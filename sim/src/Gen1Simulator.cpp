#include "sim/Gen1Simulator.h"

namespace vxsim {

Gen1Simulator::Gen1Simulator(SystemSetup setup) : model_(std::move(setup)), endpoint_(model_) {}

// The carriers go first: they report their drops to the endpoint.
Gen1Simulator::~Gen1Simulator() {
    usb_.reset();
    tcp_.reset();
}

TcpServer& Gen1Simulator::serveTcp(const std::string& address, uint16_t port) {
    tcp_ = std::make_unique<TcpServer>(endpoint_, address, port);
    tcp_->setGreeting(gen1Hello());
    return *tcp_;
}

std::string Gen1Simulator::tcpLocator() const { return tcp_ ? tcp_->locator() : std::string(); }

FtdiAttachment& Gen1Simulator::attachUsb(const FtdiAdapter& adapter) {
    usb_ = std::make_unique<FtdiAttachment>(endpoint_, adapter);
    endpoint_.setJunkAfterReset(true);
    return *usb_;
}

}  // namespace vxsim
