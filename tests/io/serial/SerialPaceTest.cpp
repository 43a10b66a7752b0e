// A serial line that takes bytes at its configured rate is never given up,
// however long its kernel buffer takes to free room, while one that takes
// nothing still is. A pseudo-terminal reports no output queue and frees room
// only in steps of some KiB.
//
// The rows at 9600 and 2400 baud take minutes; they run when VX_SLOW_TESTS
// is set. The CI rows keep the same shape at rates and time-outs where a
// kernel buffer step outlasts the time-out as well.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Host.h"
#include "VeltraxIO.h"
#include "sim/Link.h"
#include "sim/Pty.h"

namespace {

using serialtest::Host;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

bool slowTestsWanted() {
    const char* wanted = std::getenv("VX_SLOW_TESTS");
    return wanted && *wanted && std::string(wanted) != "0";
}

// Takes the host's bytes as the paced line delivers them.
class CountingReader : public vxsim::LinkHandler {
public:
    void onReceive(vxsim::Link&, const uint8_t*, size_t length) override { bytes_ += length; }
    size_t bytes() const { return bytes_; }

private:
    std::atomic<size_t> bytes_{0};
};

struct PaceCase {
    const char* name;
    uint32_t baud;
    size_t sendSize;  // bytes per VX_IO_Send
    size_t total;     // bytes in all
    const char* txTimeout;  // option line, or empty for the default
    bool slow;
};

void PrintTo(const PaceCase& row, std::ostream* os) { *os << row.name; }

class PacedLine : public ::testing::TestWithParam<PaceCase> {};

TEST_P(PacedLine, EverySendGivesZeroAndTheLineIsKept) {
    const PaceCase& row = GetParam();
    if (row.slow && !slowTestsWanted()) GTEST_SKIP() << "set VX_SLOW_TESTS to run";
    CountingReader reader;
    vxsim::Pty pty;
    pty.setPaced(true);
    pty.serve(reader);
    Host host;
    const std::string options = "baudrate " + std::to_string(row.baud) + "\n" + row.txTimeout;
    ASSERT_EQ(host.open("serial:" + pty.devicePath(), options), VX_IO_OK);

    const std::string frame(row.sendSize, 'f');
    size_t sent = 0;
    VX_IO_Result result = VX_IO_OK;
    const auto start = Clock::now();
    while (sent < row.total && result == VX_IO_OK) {
        result = VX_IO_Send(host.handle, frame.data(), frame.size());
        if (result == VX_IO_OK) sent += frame.size();
    }
    EXPECT_EQ(result, 0) << "after " << sent << " bytes and "
                         << std::chrono::duration_cast<milliseconds>(Clock::now() - start).count() << " ms";
    // The line is kept: the next send goes out too.
    EXPECT_EQ(VX_IO_Send(host.handle, "next", 4), 0);
    EXPECT_TRUE(host.errors().empty());
    EXPECT_GT(reader.bytes(), 0u);
    EXPECT_EQ(VX_IO_Close(host.handle, 1), VX_IO_OK);
}

const PaceCase kPaceCases[] = {
    {"OneLargeSendAt115200NoSlack", 115200, 65536, 65536, "tx-timeout 0", false},
    {"SmallSendsAt115200", 115200, 20, 40000, "tx-timeout 100", false},
    {"OneLargeSendAt38400", 38400, 28000, 28000, "tx-timeout 300", false},
    {"OneLargeSendAt9600", 9600, 40000, 40000, "", true},
    {"SmallSendsAt9600", 9600, 20, 40000, "", true},
    {"OneLargeSendAt38400Default", 38400, 60000, 60000, "", true},
    {"SmallSendsAt38400", 38400, 20, 40000, "", true},
};

INSTANTIATE_TEST_SUITE_P(Rates, PacedLine, ::testing::ValuesIn(kPaceCases),
                         [](const ::testing::TestParamInfo<PaceCase>& info) { return std::string(info.param.name); });

// A pseudo-terminal at 2400 baud whose far end reads steadily at 300 B/s:
// 8 KiB sends for 30 s.
TEST(SlowReader, EightKiBSendsAt2400BaudForThirtySeconds) {
    if (!slowTestsWanted()) GTEST_SKIP() << "set VX_SLOW_TESTS to run";
    vxsim::Pty pty;
    Host host;
    ASSERT_EQ(host.open("serial:" + pty.devicePath(), "baudrate 2400"), VX_IO_OK);
    std::atomic<bool> stop{false};
    std::atomic<size_t> taken{0};
    std::thread reader([&] {
        const auto start = Clock::now();
        while (!stop) {
            // 30 bytes every 100 ms.
            const auto due = start + milliseconds(100 * (taken / 30 + 1));
            std::this_thread::sleep_until(due);
            taken += pty.read(30, milliseconds(0)).size();
        }
    });
    const std::string block(8192, 'b');
    const auto end = Clock::now() + std::chrono::seconds(30);
    int sends = 0;
    const auto start = Clock::now();
    while (Clock::now() < end) {
        const VX_IO_Result sent = VX_IO_Send(host.handle, block.data(), block.size());
        EXPECT_EQ(sent, 0) << "send " << sends << " after "
                           << std::chrono::duration_cast<milliseconds>(Clock::now() - start).count() << " ms";
        if (sent != 0) break;
        ++sends;
    }
    stop = true;
    reader.join();
    EXPECT_TRUE(host.errors().empty());
    EXPECT_GT(taken.load(), 8000u);
    EXPECT_EQ(VX_IO_Close(host.handle, 1), VX_IO_OK);
}

// With no slack a line that takes nothing is still given up, within the
// line time of what it holds, also by a send that wrote nothing at all.
TEST(NoSlack, ALineThatTakesNothingIsGivenUp) {
    vxsim::Pty pty;  // its far end never reads
    Host host;
    ASSERT_EQ(host.open("serial:" + pty.devicePath(), "baudrate 115200\ntx-timeout 0"), VX_IO_OK);
    VX_IO_Result sent = VX_IO_OK;
    size_t bytes = 0;
    Clock::time_point start;
    while (sent == VX_IO_OK && bytes < 1000000) {
        start = Clock::now();
        sent = VX_IO_Send(host.handle, "x", 1);
        bytes += sent == VX_IO_OK ? 1 : 0;
    }
    EXPECT_EQ(sent, 9);
    // What a pseudo-terminal holds (some 16 KiB) takes about 1.4 s at 11520 B/s.
    EXPECT_LT(Clock::now() - start, milliseconds(4000));
    EXPECT_TRUE(host.waitForErrors(1));
    EXPECT_EQ(host.errors(), std::vector<int>{7});
    start = Clock::now();
    EXPECT_EQ(VX_IO_Send(host.handle, "x", 1), 9);
    EXPECT_LT(Clock::now() - start, milliseconds(100));
    EXPECT_EQ(VX_IO_Close(host.handle, 1), VX_IO_OK);
}

}  // namespace
