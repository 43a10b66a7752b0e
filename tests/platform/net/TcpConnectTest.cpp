#include "platform/TcpConnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>

#include "platform/UniqueFd.h"

namespace {

using namespace std::chrono_literals;
using vxplatform::TcpConnectStatus;
using vxplatform::UniqueFd;

// A TCP socket bound to a free loopback port; listening or not.
struct LoopbackPort {
    UniqueFd fd;
    uint16_t port = 0;

    explicit LoopbackPort(bool listening) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            (listening && ::listen(fd.get(), 4) != 0) ||
            ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
    }
};

TEST(TcpConnect, ConnectsToAListenerAndIsRefusedWhereNoneListens) {
    struct Case {
        const char* name;
        const char* host;
        bool listening;
        TcpConnectStatus expected;
    };
    const Case cases[] = {
        {"listener", "127.0.0.1", true, TcpConnectStatus::Connected},
        {"bound port without a listener", "127.0.0.1", false, TcpConnectStatus::Unreachable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPort peer(c.listening);
        ASSERT_NE(peer.port, 0);
        const auto began = std::chrono::steady_clock::now();
        auto result = vxplatform::connectTcp(c.host, peer.port, 2000ms);
        EXPECT_EQ(result.status, c.expected);
        // A refusal is an answer: nothing waits for the time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - began, 1000ms);
        if (c.expected != TcpConnectStatus::Connected) {
            EXPECT_FALSE(result.fd.valid());
            continue;
        }
        ASSERT_TRUE(result.fd.valid());
        EXPECT_NE(::fcntl(result.fd.get(), F_GETFL) & O_NONBLOCK, 0);
        int noDelay = 0;
        socklen_t size = sizeof noDelay;
        ASSERT_EQ(::getsockopt(result.fd.get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
        EXPECT_NE(noDelay, 0);
        // The listener sees the connection.
        UniqueFd accepted(::accept4(peer.fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        EXPECT_TRUE(accepted.valid());
    }
}

}  // namespace
