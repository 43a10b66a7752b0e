#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VeltraxIO.h"
#include "platform/UniqueFd.h"
#include "platform/Waker.h"
#include "sim/TcpServer.h"
#include "support/IoReceiver.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// What the library hands to one device's callbacks.
using Peer = vxtest::IoReceiver;

VX_IO_Result open(const std::string& locator, const std::string& options, Peer& peer, VX_IO_Handle& handle) {
    return VX_IO_Open(&handle, locator.c_str(), options.c_str(), &peer, &Peer::onReceive, &Peer::onError);
}

// A loopback port that nobody listens on: bound, then released.
uint16_t closedPort() {
    vxplatform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

// A loopback listener that never accepts, its queue filled by clients kept
// here, so that a further connect is left unanswered.
class FullListener {
public:
    FullListener() {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        socklen_t len = sizeof sa;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listener_.get(), 0) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return;
        port_ = ntohs(sa.sin_port);
        for (int i = 0; i < 16 && !full_; ++i) {
            vxplatform::UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            ::connect(client.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
            full_ = vxplatform::waitFd(client.get(), POLLOUT, nullptr, 200ms) == vxplatform::WaitResult::TimedOut;
            clients_.push_back(std::move(client));
        }
    }
    bool full() const { return full_; }
    uint16_t port() const { return port_; }

private:
    vxplatform::UniqueFd listener_;
    std::vector<vxplatform::UniqueFd> clients_;
    uint16_t port_ = 0;
    bool full_ = false;
};

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return data;
}

}  // namespace

TEST(TcpTransport, CarriesBytesBothWaysInChunksOfAtMost1024) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    Peer peer;
    VX_IO_Handle handle = 99;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);

    const auto data = pattern(20000);
    EXPECT_EQ(VX_IO_Send(handle, data.data(), data.size()), VX_IO_OK);
    ASSERT_TRUE(peer.waitForBytes(data.size()));
    EXPECT_EQ(peer.data(), std::string(data.begin(), data.end()));
    EXPECT_LE(peer.largestChunk(), 1024u);
    EXPECT_EQ(VX_IO_Send(handle, data.data(), 0), VX_IO_OK);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_EQ(peer.errorCount(), 0u);
}

// Small requests sent back to back, as asynchronous queries go out, while
// their echoes come in: every byte arrives once and in order.
TEST(TcpTransport, EchoesOfRequestsSentBackToBackArriveWholeAndInOrder) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);

    constexpr size_t kRequest = 3;
    const auto data = pattern(kRequest * 5000);
    for (size_t at = 0; at < data.size(); at += kRequest)
        ASSERT_EQ(VX_IO_Send(handle, data.data() + at, kRequest), VX_IO_OK);
    ASSERT_TRUE(peer.waitForBytes(data.size()));
    EXPECT_EQ(peer.data(), std::string(data.begin(), data.end()));
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_EQ(peer.errorCount(), 0u);
}

TEST(TcpTransport, TwoPieceLocatorTakesThePortOption) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    Peer peer;
    VX_IO_Handle handle = 0;
    EXPECT_EQ(open("network:127.0.0.1", "", peer, handle), VX_IO_INVALID_OPTION);
    ASSERT_EQ(open("network:127.0.0.1", "port " + std::to_string(server.port()), peer, handle), VX_IO_OK);
    EXPECT_TRUE(server.waitAccepted(1, 2000ms));
    VX_IO_Close(handle, 1);
}

TEST(TcpTransport, DeliversAGreetingSentOnAccept) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    server.setGreeting({'H', 'I', '\n'});
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    ASSERT_TRUE(peer.waitForBytes(3));
    EXPECT_EQ(peer.data(), "HI\n");
    VX_IO_Close(handle, 1);
}

TEST(TcpTransport, RefusedPortIsNotFound) {
    Peer peer;
    VX_IO_Handle handle = 7;
    EXPECT_EQ(open("network:127.0.0.1:" + std::to_string(closedPort()), "connect-timeout 1000", peer, handle),
              VX_IO_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, 0u);
}

TEST(TcpTransport, PeerCloseIsReportedOncePerCycleUntilClose) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    ASSERT_TRUE(server.waitOpenLinks(1, 2000ms));
    server.closeAll();

    ASSERT_TRUE(peer.waitForErrors(4, 3000ms));
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    const size_t atClose = peer.errorCount();
    const std::vector<int> errors = peer.errors();
    const std::vector<Clock::time_point> times = peer.errorTimes();
    for (size_t i = 0; i < errors.size(); ++i) {
        EXPECT_EQ(errors[i], VX_IO_TIMEOUT);
        // Paced to the receive cycle, never a tight loop.
        if (i > 0) {
            EXPECT_GE(times[i] - times[i - 1], 250ms);
        }
    }
    // Nothing arrives once Close with wait has returned.
    EXPECT_FALSE(peer.waitForErrors(atClose + 1, 400ms));
}

TEST(TcpTransport, SendAfterPeerClosedFailsWithoutKillingTheProcess) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    ASSERT_TRUE(server.waitOpenLinks(1, 2000ms));
    server.closeAll();
    ASSERT_TRUE(peer.waitForErrors(1));

    // The first write may still be taken by the kernel; the reset it draws
    // makes a later one fail, and neither may raise SIGPIPE.
    const auto data = pattern(4096);
    VX_IO_Result result = VX_IO_OK;
    const auto deadline = Clock::now() + 3s;
    while (result == VX_IO_OK && Clock::now() < deadline) result = VX_IO_Send(handle, data.data(), data.size());
    EXPECT_TRUE(result == VX_IO_TIMEOUT || result == VX_IO_WRITE_ERROR) << result;
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
}

TEST(TcpTransport, HasNoProperties) {
    vxsim::EchoHandler echo;
    vxsim::TcpServer server(echo);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    char buffer[16] = "stale";
    size_t length = sizeof buffer;
    EXPECT_EQ(VX_IO_GetProperty(handle, "ftdi-id", buffer, &length), VX_IO_UNKNOWN_PROPERTY);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], '\0');
    VX_IO_Close(handle, 1);
}

TEST(TcpTransport, CloseWithoutWaitReturnsAndTheConnectionEnds) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    ASSERT_TRUE(server.waitOpenLinks(1, 2000ms));
    EXPECT_EQ(VX_IO_Close(handle, 0), VX_IO_OK);
    EXPECT_EQ(VX_IO_Close(handle, 0), VX_IO_INVALID_HANDLE);
    // The detached receive thread closes the socket on its way out.
    EXPECT_TRUE(script.waitDisconnects(1, 2000ms));
    EXPECT_EQ(peer.errorCount(), 0u);
}

TEST(TcpTransport, SendTimesOutWhenThePeerStopsReading) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    server.setReading(false);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "connect-timeout 300", peer, handle), VX_IO_OK);
    const auto data = pattern(64u << 20);
    const auto start = Clock::now();
    EXPECT_EQ(VX_IO_Send(handle, data.data(), data.size()), VX_IO_TIMEOUT);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 3000ms);

    // Part of it went out: the line is given up, and nothing follows that part.
    ASSERT_TRUE(peer.waitForErrors(1));
    const auto refusedAt = Clock::now();
    EXPECT_EQ(VX_IO_Send(handle, "tail", 4), VX_IO_TIMEOUT);
    EXPECT_LT(Clock::now() - refusedAt, 100ms);
    server.setReading(true);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    ASSERT_TRUE(script.waitDisconnects(1, 10000ms));
    const std::vector<uint8_t> received = script.received();
    EXPECT_LT(received.size(), data.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));
    EXPECT_EQ(peer.errors(), std::vector<int>{7});
}

TEST(TcpTransport, CloseReleasesASenderBlockedByAPeerThatStoppedReading) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    server.setReading(false);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "connect-timeout 60000", peer, handle), VX_IO_OK);

    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    VX_IO_Result sendResult = -1;
    bool started = false;
    // Made before the clock starts: filling 64 MiB takes seconds under ThreadSanitizer.
    const auto data = pattern(64u << 20);
    std::thread sender([&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            started = true;
            done.notify_all();
        }
        VX_IO_Result r = VX_IO_Send(handle, data.data(), data.size());
        std::lock_guard<std::mutex> lock(mutex);
        sendResult = r;
        finished = true;
        done.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 5s, [&] { return started; }));
        // Still blocked after a while: the buffers are full.
        EXPECT_FALSE(done.wait_for(lock, 300ms, [&] { return finished; }));
    }
    const auto start = Clock::now();
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
    EXPECT_LT(Clock::now() - start, 1000ms);
    {
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(done.wait_for(lock, 2s, [&] { return finished; }));
    }
    sender.join();
    EXPECT_EQ(sendResult, VX_IO_TIMEOUT);
    // No late 7 or 8 from the teardown.
    EXPECT_EQ(peer.errorCount(), 0u);
}

TEST(TcpTransport, ConnectTimeoutBoundsAnUnansweredConnect) {
    FullListener listener;
    ASSERT_TRUE(listener.full());
    Peer peer;
    VX_IO_Handle handle = 0;
    const auto start = Clock::now();
    EXPECT_EQ(open("network:127.0.0.1:" + std::to_string(listener.port()), "connect-timeout 300", peer, handle),
              VX_IO_DEVICE_NOT_FOUND);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 280ms);
    EXPECT_LT(took, 2000ms);
}

namespace {

// Sends its greeting and hangs up at once, as a controller that refuses a
// second host would.
struct HangUpOnConnect : vxsim::LinkHandler {
    void onConnect(vxsim::Link& link) override { link.close(); }
    void onReceive(vxsim::Link&, const uint8_t*, size_t) override {}
};

}  // namespace

TEST(TcpTransport, BytesSentBeforeThePeerClosedArriveBeforeTheError) {
    HangUpOnConnect hangUp;
    vxsim::TcpServer server(hangUp);
    const auto greeting = pattern(3000);
    server.setGreeting(greeting);
    Peer peer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(open(server.locator(), "", peer, handle), VX_IO_OK);
    ASSERT_TRUE(peer.waitForErrors(1));
    // Every byte had been delivered when the first error came.
    const std::string atError = peer.data();
    EXPECT_EQ(atError, std::string(greeting.begin(), greeting.end()));
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_OK);
}

namespace {

// Closes its own device, with wait, from inside the first callback it gets.
struct SelfCloser {
    std::atomic<VX_IO_Handle> handle{0};
    std::atomic<bool> done{false};
    std::atomic<int> calls{0};
    vxtest::Latch<VX_IO_Result> closed;

    void closeOnce() {
        ++calls;
        if (done.exchange(true)) return;
        closed.set(VX_IO_Close(handle.load(), 1));
    }
    static void onReceive(void* context, const void*, size_t) { static_cast<SelfCloser*>(context)->closeOnce(); }
    static void onError(void* context, int) { static_cast<SelfCloser*>(context)->closeOnce(); }
};

enum class Trigger { PeerSendsBytes, PeerHangsUp };

void closeFromOwnCallback(Trigger trigger) {
    vxsim::ScriptedHandler script;
    vxsim::TcpServer server(script);
    SelfCloser closer;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, server.locator().c_str(), "", &closer, &SelfCloser::onReceive, &SelfCloser::onError),
              VX_IO_OK);
    closer.handle = handle;
    ASSERT_TRUE(server.waitOpenLinks(1, 2000ms));
    if (trigger == Trigger::PeerSendsBytes) {
        const uint8_t byte = 0x5A;
        ASSERT_EQ(server.sendToAll(&byte, 1), 1u);
    } else {
        server.closeAll();
    }
    VX_IO_Result result = -1;
    ASSERT_TRUE(closer.closed.wait(3000ms, &result)) << "close from the callback did not return";
    EXPECT_EQ(result, VX_IO_OK);
    EXPECT_EQ(VX_IO_Close(handle, 1), VX_IO_INVALID_HANDLE);
    // The receive thread ends and closes the connection; nothing more is reported.
    EXPECT_TRUE(script.waitDisconnects(1, 2000ms));
    EXPECT_FALSE(vxtest::waitUntil([&] { return closer.calls.load() > 1; }, 700ms));
}

}  // namespace

TEST(TcpTransport, TheReceiveCallbackMayCloseItsOwnDevice) { closeFromOwnCallback(Trigger::PeerSendsBytes); }

TEST(TcpTransport, TheErrorCallbackMayCloseItsOwnDevice) { closeFromOwnCallback(Trigger::PeerHangsUp); }
