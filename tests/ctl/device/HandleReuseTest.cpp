// A device whose connection goes while other threads send on it, or that
// is closed while a send is under way. The I/O library gives a closed
// handle's number to a later open, here a second device's: none of the
// first device's frames may reach the second controller, whether the first
// device is opened again by its caller, connects again by itself, or is
// closed and the second device opened at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;

struct ReusePath {
    const char* name;
    bool autoReconnect;
};

const ReusePath kReusePaths[] = {
    {"OpenedAgain", false},
    {"Reconnected", true},
};

class HandleReuse : public ::testing::TestWithParam<ReusePath> {};

bool handleClosed(VX_IO_Handle handle) {
    return VX_IO_GetProperty(handle, nullptr, nullptr, nullptr) == VX_IO_INVALID_HANDLE;
}

TEST_P(HandleReuse, AFreedHandleNeverCarriesTheFormerDevicesFrames) {
    constexpr int kRounds = 30;
    constexpr int kSenders = 2;
    SimulatedController first(Carrier::Tcp);
    SimulatedController second(Carrier::Tcp);
    vxctl::DeviceTiming timing;
    timing.reconnectInterval = 100ms;
    Device device(timing);
    ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
    device.setAutoReconnect(GetParam().autoReconnect);

    // Joined before the device goes, also when an assertion ends the test.
    std::vector<std::jthread> senders;
    for (int i = 0; i < kSenders; ++i)
        senders.emplace_back([&](std::stop_token stop) {
            // Yielding, so that a refused send's quick return does not keep
            // the device's mutex from an open in progress.
            while (!stop.stop_requested()) {
                ctltest::sendStop(device);
                std::this_thread::yield();
            }
        });
    for (int round = 0; round < kRounds && !HasFatalFailure(); ++round) {
        SCOPED_TRACE(round);
        const VX_IO_Handle freed = device.ioHandle();
        if (GetParam().autoReconnect) {
            first.sim().refuseTcp();
        } else {
            first.endpoint().disconnectAll();
        }
        ASSERT_TRUE(vxtest::waitUntil([&] { return handleClosed(freed); }, 5000ms));
        // A reconnection attempt may hold the number for a moment: the
        // second device is opened until it has it.
        std::unique_ptr<Device> other;
        ASSERT_TRUE(vxtest::waitUntil(
            [&] {
                other = std::make_unique<Device>();
                return other->open(second.locator().c_str(), nullptr) == VX_CTL_OK && other->ioHandle() == freed;
            },
            5000ms));
        other.reset();
        // Whatever reached the second controller arrived before its
        // connection ended.
        ASSERT_TRUE(second.released());
        EXPECT_EQ(second.stopsReceived(), 0u);
        EXPECT_EQ(second.endpoint().rejected().size(), 0u);
        if (GetParam().autoReconnect) {
            first.sim().acceptTcp();
            ASSERT_TRUE(vxtest::waitUntil([&] { return device.connected(); }, 5000ms));
        } else {
            ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
        }
    }
    senders.clear();
    EXPECT_GT(first.stopsReceived(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, HandleReuse, ::testing::ValuesIn(kReusePaths),
                         [](const auto& info) { return std::string(info.param.name); });

// The library's log written into a pipe that the test reads, a few bytes
// at a time: a log line longer than the pipe holds keeps its writer inside
// the write for as long as the test stops reading.
class LogPipe {
public:
    explicit LogPipe(const std::string& path) {
        if (::mkfifo(path.c_str(), 0600) != 0) return;
        // Open for reading first, so that the library's open for writing
        // does not wait for a reader.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0 && ::fcntl(fd_, F_SETPIPE_SZ, 4096) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LogPipe() {
        stopDraining();
        if (fd_ >= 0) ::close(fd_);
    }
    LogPipe(const LogPipe&) = delete;
    LogPipe& operator=(const LogPipe&) = delete;

    bool ready() const { return fd_ >= 0; }

    // Reads until `text` has arrived, and forgets what came up to its end;
    // then stops reading.
    bool readUntil(const std::string& text, std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        size_t at = 0;
        while ((at = read_.find(text)) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) < 0) return false;
            char chunk[64];
            const ssize_t count = ::read(fd_, chunk, sizeof chunk);
            if (count > 0) read_.append(chunk, static_cast<size_t>(count));
        }
        read_.erase(0, at + text.size());
        return true;
    }

    // Reads everything on a thread of its own from now on.
    void drain() {
        drainer_ = std::jthread([this](std::stop_token stop) {
            char chunk[4096];
            while (!stop.stop_requested()) {
                pollfd ready{fd_, POLLIN, 0};
                // Nothing more comes once the library has closed its log.
                if (::poll(&ready, 1, 10) > 0 && ::read(fd_, chunk, sizeof chunk) == 0) return;
            }
        });
    }
    void stopDraining() { drainer_ = std::jthread(); }

private:
    int fd_ = -1;
    std::string read_;
    std::jthread drainer_;
};

// The first device's send is held after it let the device's mutex go and
// before it reaches the I/O library: its packet line is being logged. The
// device is closed meanwhile: the close gives the handle back without
// waiting for the send, and returns once the send has ended. A second
// device opened at once gets another handle number, so the held send
// reaches neither controller, and the flush says it did not go out.
TEST(HandleReuseOnClose, ASendHeldOverTheCloseReachesNoOtherDevice) {
    constexpr size_t kFrames = 1000;
    SimulatedController first(Carrier::Tcp);
    SimulatedController second(Carrier::Tcp);
    ctltest::TempDir folder;
    LogPipe log(folder.file("VeltraxCTL.log"));
    ASSERT_TRUE(log.ready());
    vxctl::resetLogging();
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(folder.path(), 4)));
    log.drain();

    Device device;
    ASSERT_EQ(device.open(first.locator().c_str(), nullptr), VX_CTL_OK);
    const VX_IO_Handle handle = device.ioHandle();
    // Stops collected in an output buffer go out as one send, logged as one
    // line many times the pipe's size.
    VX_CTL_TransmitHandle buffer = 0;
    ASSERT_EQ(device.createOutputBuffer(&buffer), VX_CTL_OK);
    for (size_t i = 0; i < kFrames; ++i)
        ASSERT_EQ(device.movementCommand(vxctl::CommandType::Stop, 0, 0, buffer), VX_CTL_OK);
    log.stopDraining();
    vxctl::logLine("before the flush", 1);
    ASSERT_TRUE(log.readUntil("before the flush", 5000ms));

    auto flushed = std::async(std::launch::async, [&] { return device.endOutputBuffer(buffer, true); });
    ASSERT_TRUE(log.readUntil("OUT packet: ", 5000ms));
    auto closed = std::async(std::launch::async, [&] { device.close(true); });
    const bool handedBack = vxtest::waitUntil([&] { return handleClosed(handle); }, 5000ms);
    // Its open waits for the log once it is connected.
    Device other;
    auto opened = std::async(std::launch::async, [&] {
        return handedBack ? other.open(second.locator().c_str(), nullptr) : VX_CTL_OK;
    });
    const bool connected = vxtest::waitUntil([&] { return other.ioHandle() != VX_IO_Handle(-1); }, 5000ms);
    log.drain();
    ASSERT_TRUE(handedBack);
    ASSERT_TRUE(connected);
    EXPECT_EQ(opened.get(), VX_CTL_OK);
    EXPECT_NE(other.ioHandle(), handle);
    EXPECT_EQ(flushed.get(), VX_CTL_CANCELED);
    closed.get();
    EXPECT_EQ(device.sendsInFlight(), 0);
    EXPECT_EQ(first.stopsReceived(), 0u);
    EXPECT_EQ(second.stopsReceived(), 0u);
    EXPECT_EQ(second.endpoint().rejected().size(), 0u);
    other.close(true);
    vxctl::resetLogging();
}

}  // namespace
