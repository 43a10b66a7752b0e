#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "sim/TcpServer.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

// A plain host-side socket, so the server is checked apart from the library.
class Client {
public:
    explicit Client(const vxsim::TcpServer& server) {
        fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(server.port());
        ::inet_pton(AF_INET, server.address().c_str(), &sa.sin_addr);
        connected_ = ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    bool connected() const { return connected_; }
    int fd() const { return fd_.get(); }

    void send(const std::string& text) {
        ASSERT_EQ(::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
    }
    // Reads until `count` bytes came or the deadline passed.
    std::string read(size_t count, std::chrono::milliseconds timeout = 2000ms) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 ||
                vxplatform::waitFd(fd_.get(), POLLIN, nullptr, left) != vxplatform::WaitResult::Ready)
                break;
            char buffer[512];
            ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // True once the server has closed its end.
    bool closedByPeer(std::chrono::milliseconds timeout = 2000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            if (vxplatform::waitFd(fd_.get(), POLLIN, nullptr, left) != vxplatform::WaitResult::Ready)
                return false;
            char buffer[512];
            ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
            if (n <= 0) return true;
        }
    }

private:
    vxplatform::UniqueFd fd_;
    bool connected_ = false;
};

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

TEST(TcpServer, ListensOnLoopbackWithAnEphemeralPort) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    EXPECT_EQ(server.address(), "127.0.0.1");
    EXPECT_NE(server.port(), 0);
    EXPECT_EQ(server.locator(), "network:127.0.0.1:" + std::to_string(server.port()));
}

TEST(TcpServer, RefusesAnAddressThatIsNotIPv4) {
    vxsim::EchoHandler echo;
    EXPECT_THROW(vxsim::TcpServer(echo, "localhost"), std::system_error);
}

TEST(TcpServer, ScriptedStepsAnswerTheirRequestsInOrder) {
    vxsim::ScriptedHandler script;
    script.expect(bytes(":GFV\n"), bytes(":FV1,2\n"));
    script.expect(bytes(":S0\n"), bytes(":E0,0\n"));
    vxsim::TcpServer server(script);
    Client client(server);
    // A request split across two writes still matches once it is whole.
    client.send(":G");
    ASSERT_TRUE(script.waitReceived(2, 2000ms));
    client.send("FV\n:S0\n");
    EXPECT_EQ(client.read(13), ":FV1,2\n:E0,0\n");
    EXPECT_EQ(script.received(), bytes(":GFV\n:S0\n"));
    EXPECT_EQ(script.connects(), 1u);
}

TEST(TcpServer, ClosesAfterTheGivenNumberOfBytes) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    server.setCloseAfter(4);
    Client client(server);
    client.send("abcdefgh");
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_TRUE(script.waitDisconnects(1, 2000ms));
    // Only the bytes up to the limit reached the handler.
    EXPECT_EQ(script.received(), bytes("abcd"));
    EXPECT_TRUE(server.waitOpenLinks(0, 2000ms));
}

TEST(TcpServer, CloseAllAndStopDropEveryLink) {
    vxsim::ScriptedHandler script;
    auto server = std::make_unique<vxsim::TcpServer>(script);
    Client a(*server);
    Client b(*server);
    ASSERT_TRUE(server->waitOpenLinks(2, 2000ms));
    const uint8_t ping[] = {'p'};
    EXPECT_EQ(server->sendToAll(ping, 1), 2u);
    EXPECT_EQ(a.read(1), "p");
    EXPECT_EQ(b.read(1), "p");
    server->closeAll();
    EXPECT_TRUE(a.closedByPeer());
    EXPECT_TRUE(b.closedByPeer());
    EXPECT_TRUE(script.waitDisconnects(2, 2000ms));

    Client c(*server);
    // The count of open links can still hold a dropped link for a moment.
    ASSERT_TRUE(server->waitAccepted(3, 2000ms));
    ASSERT_TRUE(server->waitOpenLinks(1, 2000ms));
    server.reset();
    EXPECT_TRUE(c.closedByPeer());
    EXPECT_EQ(script.disconnects(), 3u);
}

TEST(TcpServer, ALinkKeptAfterItsDropOnlyRefusesToSend) {
    struct Keeper : vxsim::LinkHandler {
        vxsim::Link* link = nullptr;
        void onConnect(vxsim::Link& l) override { link = &l; }
        void onReceive(vxsim::Link&, const uint8_t*, size_t) override {}
    } keeper;
    vxsim::TcpServer server(keeper);
    {
        Client client(server);
        ASSERT_TRUE(server.waitOpenLinks(1, 2000ms));
    }
    ASSERT_TRUE(server.waitOpenLinks(0, 2000ms));
    const uint8_t byte = 1;
    EXPECT_FALSE(keeper.link->send(&byte, 1));
    keeper.link->close();
}
