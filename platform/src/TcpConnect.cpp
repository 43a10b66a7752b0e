#include "platform/TcpConnect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "platform/Waker.h"

namespace vxplatform {

namespace {

bool resolverSaysNotFound(int rc) {
    switch (rc) {
        case EAI_NONAME:
        case EAI_AGAIN:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            return true;
        default:
            return false;
    }
}

// A non-blocking connect finished within `timeout`, successfully.
bool connectWithin(int fd, const addrinfo& address, std::chrono::milliseconds timeout) {
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS) return false;
    if (waitFd(fd, POLLOUT, nullptr, timeout) != WaitResult::Ready) return false;
    // A refused connect also polls writable; only SO_ERROR tells.
    int error = -1;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

}  // namespace

TcpConnectResult connectTcp(const std::string& host, uint16_t port, std::chrono::milliseconds timeout) {
    TcpConnectResult result;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        result.status = resolverSaysNotFound(rc) ? TcpConnectStatus::HostNotFound : TcpConnectStatus::ResolverFailed;
        return result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

    for (addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_socktype != SOCK_STREAM || ai->ai_protocol != IPPROTO_TCP)
            continue;
        UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
        if (!fd.valid()) break;
        if (!connectWithin(fd.get(), *ai, timeout)) continue;
        int one = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        result.status = TcpConnectStatus::Connected;
        result.fd = std::move(fd);
        return result;
    }
    return result;
}

}  // namespace vxplatform
