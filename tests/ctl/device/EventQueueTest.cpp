// The event queue of a device, before and without any connection: what a
// wait takes, in which order, and what ends it early.

#include <gtest/gtest.h>

#include <algorithm>
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

void push(Device& device, VX_CTL_EventType type, int32_t value = 0, uint32_t idx = 0) {
    auto lock = device.lock();
    device.pushEvent(lock, vxctl::makeEvent(idx, type, value));
}

// One step of a script run against a fresh device.
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

const Script kScripts[] = {
    {"EventsComeOutInOrder",
     {{Step::Push, kMovementFinished}, {Step::Push, kSensorChanged},
      {Step::Wait, kForever, VX_CTL_OK, kMovementFinished},
      {Step::Wait, kForever, VX_CTL_OK, kSensorChanged}, {Step::Wait, 0, VX_CTL_TIMEOUT}}},
    {"AQueuedResultIsTheWaitsResult",
     {{Step::PushResult, VX_CTL_INVALID_PACKET}, {Step::Push, kMovementFinished},
      {Step::Wait, 0, VX_CTL_INVALID_PACKET}, {Step::Wait, 0, VX_CTL_OK, kMovementFinished}}},
    {"ACancelWithoutWaiterEndsTheNextWaitThoughEventsAreQueued",
     {{Step::Push, kMovementFinished}, {Step::Cancel, 0}, {Step::Wait, kForever, VX_CTL_CANCELED},
      {Step::Wait, kForever, VX_CTL_OK, kMovementFinished}}},
    {"ACancelIsTakenOnce",
     {{Step::Cancel, 0}, {Step::Cancel, 0}, {Step::Wait, 0, VX_CTL_CANCELED}, {Step::Wait, 0, VX_CTL_TIMEOUT}}},
    {"DeviceLogRecordsNeverReachTheQueue",
     {{Step::Push, 0x4800}, {Step::Push, 0x4801}, {Step::Push, 0x8800}, {Step::Push, 0x8803},
      {Step::Wait, 0, VX_CTL_TIMEOUT}, {Step::Push, 0x8804}, {Step::Wait, 0, VX_CTL_OK, 0x8804}}},
};

class EventScripts : public ::testing::TestWithParam<Script> {};

TEST_P(EventScripts, Run) {
    Device device;
    size_t at = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(at++));
        switch (step.kind) {
        case Step::Push:
            push(device, step.value, static_cast<int32_t>(at), 3);
            break;
        case Step::PushResult:
            device.pushResultLocked(step.value);
            break;
        case Step::Cancel:
            EXPECT_EQ(device.cancel(), VX_CTL_OK);
            break;
        case Step::Wait: {
            VX_CTL_Event event{};
            ASSERT_EQ(device.waitForEvent(&event, step.value), step.expected);
            if (step.expected == VX_CTL_OK) {
                EXPECT_EQ(event.type, step.expectedType);
                EXPECT_EQ(event.idx, 3u);
            }
            break;
        }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Device, EventScripts, ::testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EventRecords, CarryTheirValueAndZeroElsewhere) {
    Device device;
    push(device, kSensorChanged, -7, 250);
    VX_CTL_Event event;
    std::fill_n(reinterpret_cast<uint8_t*>(&event), sizeof event, 0xEE);
    ASSERT_EQ(device.waitForEvent(&event, 0), VX_CTL_OK);
    EXPECT_EQ(event.idx, 250u);
    EXPECT_EQ(event.type, kSensorChanged);
    EXPECT_EQ(event.value.i32, -7);
    EXPECT_TRUE(std::all_of(event.value.bytes + 4, event.value.bytes + 24, [](uint8_t b) { return b == 0; }));
}

TEST(EventRecords, DeviceLogRecordsGoToTheReaderWhileOneIsSet) {
    Device device;
    std::vector<VX_CTL_EventType> read;
    device.setDeviceLogReader([&](const VX_CTL_Event& event) { read.push_back(event.type); });
    push(device, 0x4800);
    push(device, 0x8802);
    push(device, kMovementFinished);
    device.setDeviceLogReader(nullptr);
    push(device, 0x4801);
    EXPECT_EQ(read, (std::vector<VX_CTL_EventType>{0x4800, 0x8802}));
    VX_CTL_Event event{};
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_OK);
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

class EventQueueLog : public ctltest::LogTest {
protected:
    ctltest::TempDir dir_;
};

TEST_F(EventQueueLog, AFullQueueDropsItsOldestRecordWithOneLine) {
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir_.path(), 2)));
    Device device;
    const int32_t pushes = static_cast<int32_t>(vxctl::EventQueue::kCapacity) + 1;
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

// A wait of another thread, and a way to know that it has begun: while it
// waits, a second wait is refused at once.
class WaitingThread {
public:
    explicit WaitingThread(Device& device) : device_(device) {
        result_ = std::async(std::launch::async, [this] {
            VX_CTL_Event event{};
            return device_.waitForEvent(&event, kForever);
        });
    }
    bool waiting() {
        return vxtest::waitUntil(
            [&] {
                VX_CTL_Event event{};
                return device_.waitForEvent(&event, 0) == VX_CTL_THREAD_LIMIT_REACHED;
            },
            5000ms);
    }
    VX_CTL_Result result() {
        if (result_.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "the wait did not end";
            device_.shutdown();
        }
        return result_.get();
    }

private:
    Device& device_;
    std::future<VX_CTL_Result> result_;
};

TEST(EventWaits, ASecondWaiterIsRefusedWithoutDisturbingTheFirst) {
    Device device;
    WaitingThread first(device);
    ASSERT_TRUE(first.waiting());
    push(device, kSensorChanged);
    EXPECT_EQ(first.result(), VX_CTL_OK);
}

TEST(EventWaits, ACancelEndsARunningWait) {
    Device device;
    WaitingThread first(device);
    ASSERT_TRUE(first.waiting());
    device.cancel();
    EXPECT_EQ(first.result(), VX_CTL_CANCELED);
    // The cancel was taken by that wait.
    VX_CTL_Event event{};
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

TEST(EventWaits, ClosingEndsAWaitAndEveryLaterOneLeavingTheQueue) {
    Device device;
    WaitingThread first(device);
    ASSERT_TRUE(first.waiting());
    device.shutdown();
    EXPECT_EQ(first.result(), VX_CTL_CANCELED);
    push(device, kMovementFinished);
    VX_CTL_Event event{};
    EXPECT_EQ(device.waitForEvent(&event, kForever), VX_CTL_CANCELED);
}

TEST(EventWaits, TimeOutsEndEmptyWaits) {
    Device device;
    VX_CTL_Event event{};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.waitForEvent(&event, 150), VX_CTL_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
}

}  // namespace
