#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace vxplatform {

enum class TcpConnectStatus {
    Connected,
    HostNotFound,    // the resolver knows no such name (or cannot say now)
    ResolverFailed,  // the resolver failed otherwise
    Unreachable,     // no address of the host took the connection in time
};

struct TcpConnectResult {
    TcpConnectStatus status = TcpConnectStatus::Unreachable;
    UniqueFd fd;  // when connected: non-blocking, TCP_NODELAY set
};

// Connects over IPv4 to the first address of `host` (a name or a dotted
// address) that answers; each address gets up to `timeout` (a negative one
// waits without limit).
TcpConnectResult connectTcp(const std::string& host, uint16_t port, std::chrono::milliseconds timeout);

}  // namespace vxplatform
