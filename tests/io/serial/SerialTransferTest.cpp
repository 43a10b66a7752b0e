#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "Host.h"
#include "VeltraxIO.h"
#include "platform/SerialPort.h"
#include "sim/Pty.h"
#include "support/Wait.h"

namespace {

using serialtest::Host;
using std::chrono::milliseconds;

const std::string kXoff("\x13");
const std::string kXon("\x11");

class SerialLine : public ::testing::Test {
protected:
    void open(const std::string& options) {
        ASSERT_EQ(host_.open("serial:" + pty_.devicePath(), options), VX_IO_OK);
        opened_ = true;
    }
    void close(int wait) {
        EXPECT_EQ(VX_IO_Close(host_.handle, wait), VX_IO_OK);
        opened_ = false;
    }
    void TearDown() override {
        if (opened_) VX_IO_Close(host_.handle, 1);
    }
    VX_IO_Result send(const std::string& bytes) {
        return VX_IO_Send(host_.handle, bytes.data(), bytes.size());
    }
    // XOFF from the controller; returns once the host's output has stopped,
    // which a probe write on the host's terminal shows.
    void holdHostOutput() {
        ASSERT_TRUE(pty_.write(kXoff));
        size_t probes = 0;
        ASSERT_TRUE(vxtest::waitUntil([&] {
            if (::write(pty_.hostFd(), "p", 1) == 1) {
                ++probes;
                return false;
            }
            return errno == EAGAIN;
        }));
        ASSERT_EQ(pty_.readExactly(probes, milliseconds(2000)), std::string(probes, 'p'));
    }

    vxsim::Pty pty_;
    Host host_;
    bool opened_ = false;
};

TEST_F(SerialLine, BytesBothWaysInChunksOfAtMost1024) {
    open("baudrate 115200");
    std::string block(5000, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(pty_.write(block));
    ASSERT_TRUE(host_.waitForBytes(block.size()));
    EXPECT_EQ(host_.data(), block);
    for (size_t chunk : host_.chunks()) EXPECT_LE(chunk, 1024u);

    EXPECT_EQ(send(":GIV\n"), VX_IO_OK);
    EXPECT_EQ(pty_.readExactly(5, milliseconds(2000)), ":GIV\n");
    EXPECT_EQ(VX_IO_Send(host_.handle, nullptr, 0), VX_IO_OK);
    EXPECT_TRUE(host_.errors().empty());
}

TEST_F(SerialLine, SendsFromSeveralThreadsAreNeverInterleaved) {
    open("baudrate 500000");
    constexpr int kThreads = 4;
    constexpr int kSends = 40;
    constexpr size_t kLength = 700;
    std::vector<std::future<int>> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.push_back(std::async(std::launch::async, [&, t] {
            const std::string message(kLength, static_cast<char>('A' + t));
            int failures = 0;
            for (int i = 0; i < kSends; ++i) failures += send(message) != VX_IO_OK;
            return failures;
        }));
    }
    const std::string wire = pty_.readExactly(kThreads * kSends * kLength, milliseconds(10000));
    for (auto& sender : senders) EXPECT_EQ(sender.get(), 0);
    ASSERT_EQ(wire.size(), kThreads * kSends * kLength);
    for (size_t at = 0; at < wire.size(); at += kLength) {
        ASSERT_EQ(wire.substr(at, kLength), std::string(kLength, wire[at])) << "message at " << at;
    }
}

TEST_F(SerialLine, XonXoffIsOnTheLineAndHoldsSendsUntilXon) {
    open("baudrate 9600\nxonxoff 1");
    const termios line = pty_.hostTermios();
    EXPECT_NE(line.c_iflag & IXON, 0u);
    EXPECT_NE(line.c_iflag & IXOFF, 0u);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));

    holdHostOutput();
    auto pending = std::async(std::launch::async, [&] { return send("held"); });
    EXPECT_EQ(pending.wait_for(milliseconds(100)), std::future_status::timeout);
    ASSERT_TRUE(pty_.write(kXon));
    ASSERT_EQ(pending.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(pending.get(), VX_IO_OK);
    EXPECT_EQ(pty_.readExactly(4, milliseconds(2000)), "held");
    EXPECT_TRUE(host_.data().empty());  // flow characters are not data
}

TEST_F(SerialLine, CloseWakesASendHeldByXoff) {
    open("baudrate 9600\nxonxoff 1");
    holdHostOutput();
    auto pending = std::async(std::launch::async, [&] { return send(std::string(256, 'x')); });
    EXPECT_EQ(pending.wait_for(milliseconds(100)), std::future_status::timeout);
    close(1);
    ASSERT_EQ(pending.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(pending.get(), VX_IO_WRITE_ERROR);
    EXPECT_TRUE(vxplatform::isSerialPortAvailable(pty_.devicePath()));
}

TEST_F(SerialLine, CloseWithWaitHasReleasedThePortOnReturn) {
    open("baudrate 9600");
    close(1);
    EXPECT_TRUE(vxplatform::isSerialPortAvailable(pty_.devicePath()));
    EXPECT_EQ(send("x"), VX_IO_INVALID_HANDLE);
    open("baudrate 9600");
    close(0);
    EXPECT_TRUE(
        vxtest::waitUntil([&] { return vxplatform::isSerialPortAvailable(pty_.devicePath()); }));
}

// Closes its own handle from inside the receive callback, as a caller may.
// The handle is published atomically: the byte that triggers the callback
// travels through the kernel, which the race detector cannot see.
struct SelfClosingHost {
    static void onReceive(void* context, const void*, size_t) {
        auto* self = static_cast<SelfClosingHost*>(context);
        self->result.set_value(VX_IO_Close(self->handle.load(), 1));
    }
    std::atomic<VX_IO_Handle> handle{0};
    std::promise<VX_IO_Result> result;
};

TEST_F(SerialLine, CloseFromTheReceiveCallback) {
    SelfClosingHost self;
    VX_IO_Handle handle = 0;
    ASSERT_EQ(VX_IO_Open(&handle, ("serial:" + pty_.devicePath()).c_str(), "baudrate 9600", &self,
                         SelfClosingHost::onReceive, nullptr),
              VX_IO_OK);
    self.handle.store(handle);
    ASSERT_TRUE(pty_.write(std::string("z")));
    auto closed = self.result.get_future();
    ASSERT_EQ(closed.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(closed.get(), VX_IO_OK);
    EXPECT_TRUE(
        vxtest::waitUntil([&] { return vxplatform::isSerialPortAvailable(pty_.devicePath()); }));
}

TEST_F(SerialLine, UnpluggingReportsReadErrorsAtAPace) {
    open("baudrate 9600");
    pty_.hangUp();
    ASSERT_TRUE(host_.waitForErrors(1));
    const size_t first = host_.errors().size();
    // A busy loop would report thousands within the second.
    EXPECT_FALSE(host_.waitForErrors(first + 10, milliseconds(1000)));
    const std::vector<int> errors = host_.errors();
    EXPECT_GE(errors.size(), first + 2);
    for (int code : errors) EXPECT_EQ(code, VX_IO_READ_ERROR);
    EXPECT_EQ(send("x"), VX_IO_WRITE_ERROR);

    const auto start = std::chrono::steady_clock::now();
    close(1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(200));
}

}  // namespace
