// The drain of a serial close: queued output goes out while the line takes
// it and is left to be discarded when the line has stopped. A
// pseudo-terminal reports no queue, so a socket pair stands in for a port
// whose queue the kernel reports.

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/UniqueFd.h"
#include "platform/WriteProgress.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

struct DrainCase {
    const char* name;
    bool farEndReads;
    bool drained;
};

class OutputDrain : public ::testing::TestWithParam<DrainCase> {};

TEST_P(OutputDrain, GoesOutWhileTheLineTakesItAndStopsWhenItDoesNot) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    vxplatform::UniqueFd near(fds[0]), far(fds[1]);
    const std::string queued(8000, 'q');
    // In pieces, as a line's queue goes: a socket counts a piece as queued
    // until all of it is read.
    for (size_t at = 0; at < queued.size(); at += 200) ASSERT_EQ(::write(near.get(), queued.data() + at, 200), 200);
    ASSERT_GT(vxplatform::queuedOutput(near.get()).value_or(0), 0u);

    std::atomic<bool> stop{false};
    std::atomic<size_t> taken{0};
    std::thread reader([&] {
        // 200 bytes every 10 ms, faster than 115200 baud.
        char buffer[200];
        while (GetParam().farEndReads && !stop && taken < queued.size()) {
            std::this_thread::sleep_for(milliseconds(10));
            const ssize_t n = ::recv(far.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) taken += static_cast<size_t>(n);
        }
    });
    const auto start = Clock::now();
    const bool drained = vxplatform::drainOutput(near.get(), 115200, milliseconds(200));
    const auto took = Clock::now() - start;
    stop = true;
    reader.join();
    EXPECT_EQ(drained, GetParam().drained);
    if (GetParam().drained) {
        EXPECT_EQ(taken.load(), queued.size());
    } else {
        // Given up once it took nothing for the idle limit, not at once.
        EXPECT_GE(took, milliseconds(200));
        EXPECT_LT(took, milliseconds(1000));
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, OutputDrain,
                         ::testing::Values(DrainCase{"Draining", true, true}, DrainCase{"Held", false, false}),
                         [](const ::testing::TestParamInfo<DrainCase>& info) { return std::string(info.param.name); });

}  // namespace
