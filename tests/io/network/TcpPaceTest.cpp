// Sends over TCP to a loopback peer that reads at a rate of its own: a peer
// that keeps taking bytes is never given up, and a close ends a send in
// flight at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VeltraxIO.h"
#include "platform/UniqueFd.h"
#include "sim/TcpServer.h"
#include "support/IoReceiver.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using Peer = vxtest::IoReceiver;

// One accepted connection read at `bytesPerTick` every 10 ms, after an
// optional shutdown of its own sending side. Once told to, it reads as fast
// as it can and records how the stream ended: 0 for an orderly end, else
// the error.
class PacedPeer {
public:
    PacedPeer(size_t bytesPerTick, bool halfClose) : bytesPerTick_(bytesPerTick), halfClose_(halfClose) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        // A small receive buffer makes the sender wait for the reader.
        const int buffer = 64 * 1024;
        ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        ::listen(listener_.get(), 1);
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~PacedPeer() {
        stop_ = true;
        thread_.join();
    }
    std::string locator() const { return "network:127.0.0.1:" + std::to_string(port_); }
    void readFast() { fast_ = true; }
    size_t received() const { return received_; }
    // How the stream ended; -1 while it has not.
    std::future<int>& ending() { return ending_; }

private:
    void run() {
        pollfd waiting{listener_.get(), POLLIN, 0};
        while (!stop_ && ::poll(&waiting, 1, 50) == 0) {
        }
        if (stop_) return;
        vxplatform::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (halfClose_) ::shutdown(fd.get(), SHUT_WR);
        std::vector<char> buffer(1 << 20);
        auto due = Clock::now();
        bool ended = false;
        while (!stop_ && !ended) {
            size_t want = buffer.size();
            if (!fast_) {
                due += 10ms;
                std::this_thread::sleep_until(due);
                want = bytesPerTick_;
            }
            pollfd readable{fd.get(), POLLIN, 0};
            if (::poll(&readable, 1, fast_ ? 100 : 0) <= 0) continue;
            const ssize_t n = ::recv(fd.get(), buffer.data(), want, MSG_DONTWAIT);
            if (n > 0) {
                received_ += static_cast<size_t>(n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                promise_.set_value(n == 0 ? 0 : errno);
                ended = true;
            }
        }
        if (!ended) promise_.set_value(-1);
    }

    const size_t bytesPerTick_;
    const bool halfClose_;
    vxplatform::UniqueFd listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> fast_{false};
    std::atomic<size_t> received_{0};
    std::promise<int> promise_;
    std::future<int> ending_ = promise_.get_future();
    std::thread thread_;
};

// Whole segments are acknowledged as the peer reads; a wait for room
// compares the queue with its size after the write that refilled it.
TEST(TcpPace, ALargeSendToAPeerReadingTwoMegabytesASecondGivesZero) {
    PacedPeer far(20000, false);  // 2 MB/s
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, far.locator().c_str(), "connect-timeout 100", &peer, Peer::onReceive,
                         Peer::onError),
              VX_IO_OK);
    const std::vector<uint8_t> data(8u << 20, 0x5A);
    EXPECT_EQ(VX_IO_Send(handle, data.data(), data.size()), VX_IO_OK);
    EXPECT_EQ(VX_IO_Send(handle, "next", 4), VX_IO_OK);
    EXPECT_EQ(peer.errorCount(), 0u);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
}

// A peer that closed its sending side but still reads, slowly: the link is
// reported lost, and a close from another thread ends the send in flight at
// once and drops what is queued (the peer sees a reset, not the rest).
TEST(TcpPace, ACloseEndsASendToAHalfClosedPeerAtOnceAndDropsItsQueue) {
    PacedPeer far(512 / 20, true);  // 512 bytes every 200 ms
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, far.locator().c_str(), "connect-timeout 60000", &peer, Peer::onReceive,
                         Peer::onError),
              VX_IO_OK);
    const std::vector<uint8_t> data(16u << 20, 0x33);
    auto sent = std::async(std::launch::async, [&] { return VX_IO_Send(handle, data.data(), data.size()); });
    EXPECT_TRUE(peer.waitForErrors(1));
    EXPECT_EQ(peer.errors().empty() ? 0 : peer.errors().front(), 7);
    EXPECT_EQ(sent.wait_for(300ms), std::future_status::timeout);

    const auto start = Clock::now();
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    ASSERT_EQ(sent.wait_for(1s), std::future_status::ready);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(sent.get(), VX_IO_TIMEOUT);

    far.readFast();
    ASSERT_EQ(far.ending().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(far.ending().get(), ECONNRESET);
    EXPECT_LT(far.received(), data.size());
}

// A close while a send streams to a peer that takes everything: the send
// ends at once with 7, and the socket is released only after it has left
// the socket alone.
TEST(TcpGuards, ACloseEndsASendStreamingToAFastPeer) {
    PacedPeer far(0, false);
    far.readFast();
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, far.locator().c_str(), "", &peer, Peer::onReceive, Peer::onError), VX_IO_OK);
    const std::vector<uint8_t> data(256u << 20, 0x44);
    auto sent = std::async(std::launch::async, [&] { return VX_IO_Send(handle, data.data(), data.size()); });
    EXPECT_TRUE(vxtest::waitUntil([&] { return far.received() >= (1u << 20); }));
    const auto start = Clock::now();
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_LT(Clock::now() - start, 1s);
    ASSERT_EQ(sent.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(sent.get(), VX_IO_TIMEOUT);
    EXPECT_LT(far.received(), data.size());
}

// A connection the peer reset: a send fails with 9 at once, however long
// "connect-timeout" is, and does not wait for room that never comes.
TEST(TcpGuards, ASendOnAResetConnectionFailsAtOnceWith9) {
    vxplatform::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const std::string locator = "network:127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, locator.c_str(), "connect-timeout 5000", &peer, Peer::onReceive, Peer::onError),
              VX_IO_OK);
    {
        vxplatform::UniqueFd accepted(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        const linger reset{1, 0};
        ::setsockopt(accepted.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    EXPECT_TRUE(peer.waitForErrors(1));
    const std::vector<uint8_t> data(4096, 0x11);
    auto sent = std::async(std::launch::async, [&] { return VX_IO_Send(handle, data.data(), data.size()); });
    const bool quick = sent.wait_for(500ms) == std::future_status::ready;
    EXPECT_TRUE(quick);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    if (quick) {
        EXPECT_EQ(sent.get(), VX_IO_WRITE_ERROR);
    }
}

// After a send gave the line up the receive thread goes on: it neither
// spins on the wake-up that told it nor stops handing on what arrives.
TEST(TcpGuards, AfterAGiveUpReceivedBytesStillArrive) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    server.setReading(false);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, server.locator().c_str(), "connect-timeout 200", &peer, Peer::onReceive,
                         Peer::onError),
              VX_IO_OK);
    const std::vector<uint8_t> data(64u << 20, 0x22);
    EXPECT_EQ(VX_IO_Send(handle, data.data(), data.size()), VX_IO_TIMEOUT);
    EXPECT_TRUE(peer.waitForErrors(1));
    const std::string late = "late reply";
    EXPECT_EQ(server.sendToAll(reinterpret_cast<const uint8_t*>(late.data()), late.size()), 1u);
    EXPECT_TRUE(peer.waitForBytes(late.size(), 2000ms));
    EXPECT_EQ(peer.data(), late);
    EXPECT_EQ(peer.errors(), std::vector<int>{7});
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
}

}  // namespace
