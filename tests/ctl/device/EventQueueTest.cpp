// The event queue of a device, without any connection: what a wait takes,
// in which order, and what ends it early.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <vector>

#include "ctl/CtlLog.h"
#include "device/Device.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using vxctl::Device;

constexpr uint32_t kForever = 0xFFFFFFFF;
constexpr VX_CTL_EventType kMovementFinished = 0x0001;
constexpr VX_CTL_EventType kSensorChanged = 0x0002;

void push(Device& device, VX_CTL_EventType type, int32_t value = 0) {
    auto lock = device.lock();
    device.pushEvent(lock, vxctl::makeEvent(3, type, value));
}

struct Step {
    enum Kind { Push, PushResult, Cancel, Wait } kind;
    uint32_t value;  // event type, result, or the wait's time-out
    VX_CTL_Result expected = VX_CTL_OK;
    VX_CTL_EventType expectedType = 0;
};

struct Script {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Script& value, std::ostream* out) { *out << value.name; }

const Script kScripts[] = {
    {"EventsComeOutInOrder",
     {{Step::Push, kMovementFinished}, {Step::Push, kSensorChanged},
      {Step::Wait, kForever, VX_CTL_OK, kMovementFinished}, {Step::Wait, 10, VX_CTL_OK, kSensorChanged},
      {Step::Wait, 0, VX_CTL_TIMEOUT}, {Step::Wait, 100, VX_CTL_TIMEOUT}}},
    {"AQueuedResultIsTheWaitsResult",
     {{Step::PushResult, VX_CTL_INVALID_PACKET}, {Step::Push, kMovementFinished},
      {Step::Wait, 0, VX_CTL_INVALID_PACKET}, {Step::Wait, 0, VX_CTL_OK, kMovementFinished}}},
    {"ACancelWithoutWaiterEndsTheNextWaitThoughEventsAreQueued",
     {{Step::Push, kMovementFinished}, {Step::Cancel, 0}, {Step::Cancel, 0},
      {Step::Wait, kForever, VX_CTL_CANCELED}, {Step::Wait, kForever, VX_CTL_OK, kMovementFinished}}},
    {"DeviceLogRecordsNeverReachTheQueue",
     {{Step::Push, 0x4800}, {Step::Push, 0x4801}, {Step::Push, 0x8800}, {Step::Push, 0x8803},
      {Step::Wait, 0, VX_CTL_TIMEOUT}, {Step::Push, 0x8804}, {Step::Wait, 0, VX_CTL_OK, 0x8804}}},
};

class EventScripts : public ::testing::TestWithParam<Script> {};

TEST_P(EventScripts, Run) {
    Device device;
    for (size_t at = 0; at < GetParam().steps.size(); ++at) {
        const Step& step = GetParam().steps[at];
        SCOPED_TRACE("step " + std::to_string(at));
        if (step.kind == Step::Push) push(device, step.value, -static_cast<int32_t>(at));
        if (step.kind == Step::PushResult) device.pushResultLocked(step.value);
        if (step.kind == Step::Cancel) device.cancel();
        if (step.kind != Step::Wait) continue;

        VX_CTL_Event event;
        std::fill_n(reinterpret_cast<uint8_t*>(&event), sizeof event, 0xEE);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(device.waitForEvent(&event, step.value), step.expected);
        if (step.expected == VX_CTL_TIMEOUT) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(step.value));
        }
        if (step.expected != VX_CTL_OK) continue;
        EXPECT_EQ(event.type, step.expectedType);
        EXPECT_EQ(event.idx, 3u);
        EXPECT_LE(event.value.i32, 0);
        EXPECT_TRUE(std::all_of(event.value.bytes + 4, event.value.bytes + 24, [](uint8_t b) { return b == 0; }));
    }
}

INSTANTIATE_TEST_SUITE_P(Device, EventScripts, ::testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.name); });

class EventQueueLog : public ctltest::LogTest {
protected:
    ctltest::TempDir dir_;
};

TEST_F(EventQueueLog, AFullQueueDropsItsOldestRecordWithOneLine) {
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir_.path(), 2)));
    Device device;
    const auto pushes = static_cast<int32_t>(vxctl::EventQueue::kCapacity) + 1;
    for (int32_t i = 0; i < pushes; ++i) push(device, kMovementFinished, i);
    VX_CTL_Event event{};
    for (int32_t expected = 1; expected < pushes; ++expected) {
        ASSERT_EQ(device.waitForEvent(&event, 0), VX_CTL_OK);
        ASSERT_EQ(event.value.i32, expected);
    }
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
    const auto lines = ctltest::apiTexts(vxctl::logPath(), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Event Queue full, dropping oldest event"), 1);
}

// What ends a wait of another thread; a second waiter meanwhile is refused.
struct WaitEnd {
    const char* name;
    std::function<void(Device&)> act;
    VX_CTL_Result expected;
    VX_CTL_Result nextWithAnEventQueued;
};

void PrintTo(const WaitEnd& value, std::ostream* out) { *out << value.name; }

const WaitEnd kWaitEnds[] = {
    {"AnEvent", [](Device& device) { push(device, kSensorChanged); }, VX_CTL_OK, VX_CTL_OK},
    // The cancel is taken by the wait it ended.
    {"ACancel", [](Device& device) { device.cancel(); }, VX_CTL_CANCELED, VX_CTL_OK},
    {"Closing", [](Device& device) { device.shutdown(); }, VX_CTL_CANCELED, VX_CTL_CANCELED},
};

class WaitEnds : public ::testing::TestWithParam<WaitEnd> {};

TEST_P(WaitEnds, ARunningWait) {
    Device device;
    auto waited = std::async(std::launch::async, [&] {
        VX_CTL_Event event{};
        return device.waitForEvent(&event, kForever);
    });
    VX_CTL_Event event{};
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return device.waitForEvent(&event, 0) == VX_CTL_THREAD_LIMIT_REACHED; }, 5000ms));
    GetParam().act(device);
    ASSERT_EQ(waited.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waited.get(), GetParam().expected);
    push(device, kMovementFinished);
    EXPECT_EQ(device.waitForEvent(&event, kForever), GetParam().nextWithAnEventQueued);
}

INSTANTIATE_TEST_SUITE_P(Device, WaitEnds, ::testing::ValuesIn(kWaitEnds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
