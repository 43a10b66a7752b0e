// A serial line whose far end has stopped reading while a thread keeps
// sending: a send then waits for room that never comes. The device's close
// and a process that exits with the device open must still end within the
// send time-out (1000 ms unless "tx-timeout" says otherwise), the line time
// of what the line holds, and 500 ms.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ctl/device/SimulatedDevice.h"
#include "support/ChildProcess.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pseudo-terminal holds some 20 KiB: about 1.8 s at 115200 baud.
constexpr auto kBound = 1000ms + 1800ms + 500ms;
// A send under way this long has met a full line.
constexpr auto kStuck = 200ms;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(StuckLine, TheDeviceClosesWithinTheSendTimeOut) {
    ctltest::SimulatedController controller(ctltest::Carrier::Serial);
    auto device = std::make_shared<vxctl::Device>();
    ASSERT_EQ(device->open(controller.locator().c_str(), controller.options().c_str()), 0u);
    controller.sim().pty().stop();

    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> sendingSince{0};
    std::thread sender([&] {
        while (!stop) {
            sendingSince = Clock::now().time_since_epoch().count();
            ctltest::sendStop(*device);
            sendingSince = 0;
        }
    });
    const bool stuck = vxtest::waitUntil(
        [&] {
            const Clock::rep at = sendingSince.load();
            return at != 0 && Clock::now() - Clock::time_point(Clock::duration(at)) > kStuck;
        },
        10000ms);
    EXPECT_TRUE(stuck);

    const auto start = Clock::now();
    device->close(true);
    EXPECT_LT(since(start), kBound);
    stop = true;
    sender.join();
}

TEST(StuckLine, AProcessExitsWithTheDeviceOpenWithinTheSendTimeOut) {
    vxsim::Gen2Simulator sim;
    const std::string locator = "serial:" + sim.servePty().devicePath();
    vxtest::ChildProcess child(EXIT_WHILE_SENDING_PROGRAM, {locator, ctltest::kSerialOptions});
    ASSERT_TRUE(child.started());
    ASSERT_EQ(child.readLine(10000ms), "open");
    sim.pty().stop();
    ASSERT_EQ(child.readLine(15000ms), "stuck");

    const auto start = Clock::now();
    ASSERT_TRUE(child.writeLine("exit"));
    EXPECT_EQ(child.waitExit(10000ms), 0);
    EXPECT_LT(since(start), kBound);
}

}  // namespace
