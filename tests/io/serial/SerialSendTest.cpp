// What a serial send does on a line that stops and on one that is merely
// busy: a send fails only when the line takes nothing, a frame is whole on
// the line or the line is given up, and waiting behind other sends is no
// failure.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "Host.h"
#include "VeltraxIO.h"
#include "sim/Link.h"
#include "sim/Pty.h"

namespace {

using serialtest::Host;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrame = 250;

// Frame `n`: its number in the first two bytes, then a pattern of its own.
std::string frame(size_t n) {
    std::string bytes(kFrame, '\0');
    bytes[0] = static_cast<char>(n >> 8);
    bytes[1] = static_cast<char>(n);
    for (size_t i = 2; i < kFrame; ++i) bytes[i] = static_cast<char>(n * 31 + i);
    return bytes;
}

milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(SerialSend, AStalledSendGivesTheLineUpAndNoFrameFollowsItsHead) {
    vxsim::Pty pty;  // its far end does not read until told
    Host host;
    ASSERT_EQ(host.open("serial:" + pty.devicePath(), "baudrate 115200\ntx-timeout 200"), VX_IO_OK);

    size_t sent = 0;
    VX_IO_Result failed = VX_IO_OK;
    while (failed == VX_IO_OK && sent < 100000) {
        const std::string bytes = frame(sent);
        failed = VX_IO_Send(host.handle, bytes.data(), bytes.size());
        if (failed == VX_IO_OK) ++sent;
    }
    ASSERT_EQ(failed, 9);
    ASSERT_TRUE(host.waitForErrors(1));
    EXPECT_EQ(host.errors(), std::vector<int>{7});

    // The far end reads again; the line stays given up.
    std::string wire = pty.readExactly(sent * kFrame, milliseconds(5000));
    for (size_t n = sent + 1; n < sent + 4; ++n) {
        const auto start = Clock::now();
        const std::string bytes = frame(n);
        EXPECT_EQ(VX_IO_Send(host.handle, bytes.data(), bytes.size()), 9);
        EXPECT_LT(since(start), milliseconds(100));
    }
    wire += pty.readExactly(kFrame, milliseconds(300));

    ASSERT_GE(wire.size(), sent * kFrame);
    for (size_t n = 0; n < sent; ++n) ASSERT_EQ(wire.substr(n * kFrame, kFrame), frame(n)) << "frame " << n;
    // At most the head of the failed frame follows, never a later one.
    const std::string rest = wire.substr(sent * kFrame);
    EXPECT_LT(rest.size(), kFrame);
    EXPECT_EQ(rest, frame(sent).substr(0, rest.size()));
    EXPECT_EQ(host.errors(), std::vector<int>{7});
    EXPECT_EQ(VX_IO_Close(host.handle, 1), VX_IO_OK);
}

// Takes the host's bytes at the line's rate.
class LineReader : public vxsim::LinkHandler {
public:
    void onReceive(vxsim::Link&, const uint8_t* data, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.append(reinterpret_cast<const char*>(data), length);
        changed_.notify_all();
    }
    bool waitFor(size_t count, milliseconds deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return bytes_.size() >= count; });
    }
    std::string bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string bytes_;
};

class HealthyLine : public ::testing::TestWithParam<size_t> {};

TEST_P(HealthyLine, ASmallSendBehindALargeOneWaitsItsTurn) {
    const size_t large = GetParam();
    LineReader reader;
    vxsim::Pty pty;
    pty.setPaced(true);
    pty.serve(reader);
    Host host;
    ASSERT_EQ(host.open("serial:" + pty.devicePath(), "baudrate 115200"), VX_IO_OK);

    const std::string first(large, 'L');
    auto firstSent = std::async(std::launch::async,
                                [&] { return VX_IO_Send(host.handle, first.data(), first.size()); });
    ASSERT_TRUE(reader.waitFor(1, milliseconds(2000)));

    const auto start = Clock::now();
    EXPECT_EQ(VX_IO_Send(host.handle, nullptr, 0), 0);
    EXPECT_LT(since(start), milliseconds(50));
    const std::string second(20, 's');
    EXPECT_EQ(VX_IO_Send(host.handle, second.data(), second.size()), 0);
    EXPECT_EQ(firstSent.get(), 0);

    ASSERT_TRUE(reader.waitFor(large + second.size(), milliseconds(10000)));
    EXPECT_EQ(reader.bytes(), first + second);
    EXPECT_TRUE(host.errors().empty());
    EXPECT_EQ(VX_IO_Close(host.handle, 1), VX_IO_OK);
}

INSTANTIATE_TEST_SUITE_P(Behind, HealthyLine, ::testing::Values(24000, 48000),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::to_string(info.param) + "Bytes";
                         });

}  // namespace
