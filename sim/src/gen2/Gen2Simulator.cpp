#include "sim/Gen2Simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/Ipv4.h"

namespace vxsim {

namespace {

vxplatform::UniqueFd bindAddress(const std::string& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const std::optional<uint32_t> ip = vxplatform::parseIpv4(address);
    if (!ip) throw std::system_error(EINVAL, std::generic_category(), "address");
    sa.sin_addr.s_addr = *ip;
    vxplatform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) throw std::system_error(errno, std::generic_category(), "socket");
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    return fd;
}

}  // namespace

Gen2Simulator::Gen2Simulator() : endpoint_(model_) {
    model_.define({0, gen2key::kSerialNumber}, std::string(kDefaultSerialNumber), true);
    model_.define({0, gen2key::kChannelCount}, kDefaultChannelCount, true);
    model_.setChannelCount(kDefaultChannelCount);
}

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

void Gen2Simulator::refuseTcp() {
    const std::string address = tcp_->address();
    const uint16_t port = tcp_->port();
    tcp_->stop();
    // A bound socket that does not listen: connects are refused, and no
    // outgoing connection of this host is given the port meanwhile.
    reservedPort_ = bindAddress(address, port);
}

void Gen2Simulator::acceptTcp() {
    // Both sockets allow the shared address, so the server binds the port
    // while the reservation still holds it.
    serveTcp(tcp_->address(), tcp_->port());
    reservedPort_.reset();
}

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
