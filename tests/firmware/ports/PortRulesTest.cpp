#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <numeric>
#include <vector>

#include "firmware/FirmwareTestSupport.h"
#include "NetPort.h"
#include "platform/OwnedThread.h"
#include "sim/TcpServer.h"

using namespace std::chrono_literals;

namespace {

using fwtest::throwsUpdate;
using fwtest::timed;
using vxfw::NetPort;
using vxfw::StreamPortBase;
using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t count, uint8_t first = 0) {
    Bytes bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// An open port whose peer never sends: the test plays the I/O library's
// receive thread by calling the port's own callbacks.
class PortRules : public ::testing::Test {
protected:
    void SetUp() override { port.open(server.locator()); }

    void arrive(const Bytes& bytes) {
        StreamPortBase::portReceiveCallback(&port, bytes.data(), bytes.size());
    }
    void fail(int code) { StreamPortBase::portErrorCallback(&port, code); }
    Bytes receive(uint32_t count) {
        Bytes bytes(count);
        port.receive(count, bytes.data());
        return bytes;
    }

    vxsim::ScriptedHandler silent;
    vxsim::TcpServer server{silent};
    NetPort port;
};

TEST_F(PortRules, BufferedBytesComeBackEvenWithAnErrorPendingAndNoTimeout) {
    arrive(pattern(4));
    fail(8);
    port.setTimeout(0);
    EXPECT_EQ(receive(4), pattern(4));
    EXPECT_TRUE(throwsUpdate([&] { receive(1); }, vxfw::kReceiveError));
}

TEST_F(PortRules, NoTimeoutAndTooFewBytesIsATimeoutAtOnce) {
    arrive(pattern(2));
    port.setTimeout(0);
    const auto took =
        timed([&] { EXPECT_TRUE(throwsUpdate([&] { receive(3); }, vxfw::kTimeout)); });
    EXPECT_LT(took, 500ms);
    EXPECT_EQ(receive(2), pattern(2));  // nothing was taken
}

TEST_F(PortRules, MoreThanTheRingNeverArrives) {
    arrive(pattern(StreamPortBase::kRingCapacity));
    port.setTimeout(50);
    EXPECT_TRUE(throwsUpdate([&] { receive(StreamPortBase::kRingCapacity + 1); }, vxfw::kTimeout));
    EXPECT_EQ(receive(StreamPortBase::kRingCapacity), pattern(StreamPortBase::kRingCapacity));
}

TEST_F(PortRules, AChunkThatDoesNotFitIsDroppedWholeAndTheOverflowSticks) {
    arrive(pattern(1000));
    arrive(pattern(100, 0xA0));
    port.setTimeout(0);
    EXPECT_EQ(receive(1000), pattern(1000));
    EXPECT_TRUE(throwsUpdate([&] { receive(1); }, vxfw::kBufferFull));
    // Later bytes are kept and readable, but every wait still fails.
    arrive(pattern(10, 0x10));
    EXPECT_EQ(receive(5), pattern(5, 0x10));
    EXPECT_TRUE(throwsUpdate([&] { receive(6); }, vxfw::kBufferFull));
}

TEST_F(PortRules, TheFirstRecordedErrorWins) {
    const Bytes overflow = pattern(StreamPortBase::kRingCapacity + 1);
    struct Case {
        const char* what;
        std::vector<std::function<void()>> events;
        int32_t code;
    };
    auto error = [this](int code) { return [this, code] { fail(code); }; };
    auto flood = [&] { arrive(overflow); };
    const Case cases[] = {
        {"read error 8 recorded as 7", {error(8)}, vxfw::kReceiveError},
        {"lost link 7", {error(7)}, vxfw::kReceiveError},
        {"overflow after an error", {error(8), flood}, vxfw::kReceiveError},
        {"error after an overflow", {flood, error(8)}, vxfw::kBufferFull},
        {"second error", {error(8), error(7), error(8)}, vxfw::kReceiveError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port.close();
        port.open(server.locator());  // an open forgets the error
        port.setTimeout(0);
        EXPECT_TRUE(throwsUpdate([&] { receive(1); }, vxfw::kTimeout));
        for (const auto& event : c.events) event();
        EXPECT_TRUE(throwsUpdate([&] { receive(1); }, c.code));
        port.setTimeout(1000);
        EXPECT_TRUE(throwsUpdate([&] { receive(1); }, c.code));  // no waiting for it
    }
}

// Hands the port one byte per period on a thread of its own, as a slow line
// would.
class Trickle {
public:
    Trickle(StreamPortBase& port, std::chrono::milliseconds period) {
        thread_.start(
            [this, &port, period] {
                std::unique_lock<std::mutex> lock(mutex_);
                auto next = fwtest::Clock::now() + period;
                while (!woken_.wait_until(lock, next, [this] { return thread_.stopRequested(); })) {
                    const uint8_t byte = 0x55;
                    StreamPortBase::portReceiveCallback(&port, &byte, 1);
                    next += period;
                }
            },
            [this] {
                std::lock_guard<std::mutex> lock(mutex_);
                woken_.notify_all();
            });
    }
    ~Trickle() { thread_.stop(); }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    vxplatform::OwnedThread thread_;
};

TEST_F(PortRules, TricklingBytesNeverStretchTheDeadline) {
    port.setTimeout(300);
    Trickle trickle(port, 100ms);
    const auto took =
        timed([&] { EXPECT_TRUE(throwsUpdate([&] { receive(10); }, vxfw::kTimeout)); });
    EXPECT_GE(took, 300ms);
    // A deadline moved by each byte would end only with the tenth, after a
    // second.
    EXPECT_LT(took, 950ms);
}

TEST_F(PortRules, ClosedPortsRefuseAndCloseTwiceQuietly) {
    port.close();
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.ioHandle(), 0u);
    const uint8_t byte = 0;
    uint8_t in = 0;
    EXPECT_TRUE(throwsUpdate([&] { port.send(1, &byte); }, vxfw::kPortNotOpen));
    EXPECT_TRUE(throwsUpdate([&] { port.receive(1, &in); }, vxfw::kPortNotOpen));
    EXPECT_EQ(port.locator(), server.locator());  // kept from the last open
}

}  // namespace
