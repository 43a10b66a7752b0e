#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/UniqueFd.h"
#include "sim/LinePace.h"
#include "sim/Pty.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vxsim::LinePace;

TEST(LinePace, TenBitTimesAByteOneAfterTheOther) {
    EXPECT_EQ(LinePace::wireTime(96, 9600), 100ms);
    EXPECT_EQ(LinePace::wireTime(11520, 115200), 1s);
    EXPECT_EQ(LinePace::wireTime(5, 0), 0ns);

    LinePace pace;
    const Clock::time_point start{};
    // Back to back: the second chunk waits for the first.
    EXPECT_EQ(pace.pass(96, 9600, start), start + 100ms);
    EXPECT_EQ(pace.pass(48, 9600, start + 10ms), start + 150ms);
    // After a pause the line is free again.
    EXPECT_EQ(pace.pass(96, 9600, start + 1s), start + 1100ms);
    // No rate: at once, still counted.
    EXPECT_EQ(pace.pass(7, 0, start + 2s), start + 2s);
    EXPECT_EQ(pace.bytes(), 247u);
    pace.clearCount();
    EXPECT_EQ(pace.bytes(), 0u);

    termios t{};
    ::cfmakeraw(&t);
    struct Rate {
        speed_t code;
        uint32_t baud;
    };
    for (const Rate& rate : {Rate{B115200, 115200}, Rate{B500000, 500000}, Rate{B9600, 9600}, Rate{B0, 0}}) {
        ::cfsetospeed(&t, rate.code);
        EXPECT_EQ(vxsim::baudOf(t), rate.baud);
    }
}

// Answers each chunk with half as many bytes, noting when it arrived.
class HalfEcho : public vxsim::LinkHandler {
public:
    void onReceive(vxsim::Link& link, const uint8_t* data, size_t length) override {
        {
            std::lock_guard lock(mutex_);
            received_ += length;
            last_ = Clock::now();
        }
        arrived_.notify_all();
        link.send(data, length / 2);
    }
    bool waitFor(size_t bytes, Clock::time_point* when) {
        std::unique_lock lock(mutex_);
        const bool ok = arrived_.wait_for(lock, 5s, [&] { return received_ >= bytes; });
        *when = last_;
        return ok;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    size_t received_ = 0;
    Clock::time_point last_;
};

struct Way {
    const char* name;
    bool paced;
};

class PacedPty : public ::testing::TestWithParam<Way> {};

// 192 bytes from the host at 9600 baud take 200 ms on the line, the 96
// back 100 ms more; unpaced both are there at once.
TEST_P(PacedPty, CarriesBytesAtTheHostsRate) {
    HalfEcho echo;  // outlives the pty's serving thread
    vxsim::Pty pty;
    pty.setPaced(GetParam().paced);
    pty.serve(echo);
    vxplatform::UniqueFd host(::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(host.valid());
    termios t{};
    ASSERT_EQ(::tcgetattr(host.get(), &t), 0);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    ASSERT_EQ(::tcsetattr(host.get(), TCSANOW, &t), 0);

    const std::string bytes(192, 'x');
    const auto start = Clock::now();
    ASSERT_EQ(::write(host.get(), bytes.data(), bytes.size()), 192);
    Clock::time_point arrived;
    ASSERT_TRUE(echo.waitFor(192, &arrived));
    size_t back = 0;
    char buffer[1024];
    while (back < 96) {
        pollfd fd{host.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&fd, 1, 5000), 1);
        const ssize_t n = ::read(host.get(), buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        back += static_cast<size_t>(n);
    }
    const auto done = Clock::now();
    EXPECT_EQ(pty.bytesFromHost(), 192u);
    EXPECT_EQ(pty.bytesToHost(), 96u);
    if (GetParam().paced) {
        EXPECT_GE(arrived - start, 200ms);
        EXPECT_GE(done - start, 300ms);
        EXPECT_LT(done - start, 1500ms);
    } else {
        EXPECT_LT(done - start, 200ms);
    }
    pty.clearByteCounts();
    EXPECT_EQ(pty.bytesFromHost() + pty.bytesToHost(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ways, PacedPty, ::testing::Values(Way{"paced", true}, Way{"unpaced", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
