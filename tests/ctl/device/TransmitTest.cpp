// Output buffers and command groups: what reaches the controller, in how
// many writes, and when a transmit handle is free again.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"
#include "device/TransmitHandleTable.h"
#include "log/Log.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::CommandType;
using vxctl::Device;
using vxctl::TransmitHandleTable;
using vxctl::TransmitKind;
namespace command = vxsim::gen2::command;

constexpr VX_CTL_EventType kMovementFinished = 0x0001;
constexpr VX_CTL_EventType kGroupTriggered = 0x8010;

TEST(TransmitHandles, AreSearchedOnFromTheOneGivenLast) {
    TransmitHandleTable table;
    VX_CTL_TransmitHandle handle = 0;
    for (VX_CTL_TransmitHandle expected = 1; expected <= TransmitHandleTable::kLastHandle; ++expected) {
        ASSERT_EQ(table.allocate(TransmitKind::OutputBuffer, &handle), VX_CTL_OK);
        ASSERT_EQ(handle, expected);
    }
    EXPECT_EQ(table.allocate(TransmitKind::OutputBuffer, &handle), VX_CTL_BUFFER_LIMIT_REACHED);
    // Only the handle given last is free: it is not tried again.
    table.release(31);
    EXPECT_EQ(table.allocate(TransmitKind::CommandGroup, &handle), VX_CTL_BUFFER_LIMIT_REACHED);
    table.release(5);
    ASSERT_EQ(table.allocate(TransmitKind::CommandGroup, &handle), VX_CTL_OK);
    EXPECT_EQ(handle, 5u);
    ASSERT_EQ(table.allocate(TransmitKind::CommandGroup, &handle), VX_CTL_OK);
    EXPECT_EQ(handle, 31u);
    EXPECT_EQ(table.groupByte(31), 31);
    EXPECT_EQ(table.groupByte(1), 0);
    EXPECT_EQ(table.groupByte(40), 0);
    EXPECT_EQ(table.find(31, TransmitKind::OutputBuffer), nullptr);
    EXPECT_EQ(table.find(32, TransmitKind::CommandGroup), nullptr);
}

class Transmit : public ctltest::LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir_.path(), 4)));
        device_ = std::make_unique<Device>();
        ASSERT_EQ(device_->open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
        endpoint().clearRequests();
        writesBefore_ = writes();
    }
    void TearDown() override {
        device_.reset();
        LogTest::TearDown();
    }
    vxsim::Gen2Endpoint& endpoint() { return controller_.endpoint(); }
    // Transport writes since the set-up, by the dumps of what went out.
    size_t writes() {
        const auto lines = ctltest::apiTexts(vxctl::logPath(), 4);
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.rfind("OUT packet: ", 0) == 0; }) -
               writesBefore_;
    }
    std::vector<uint8_t> typesReceived() {
        std::vector<uint8_t> types;
        for (const auto& request : endpoint().requests()) types.push_back(request.type);
        return types;
    }
    VX_CTL_Result move(VX_CTL_TransmitHandle handle) {
        return device_->movementCommand(CommandType::Move, 2, -7, handle);
    }

    ctltest::TempDir dir_;
    SimulatedController controller_{Carrier::Tcp};
    std::unique_ptr<Device> device_;
    size_t writesBefore_ = 0;
};

TEST_F(Transmit, AFlushedBufferGoesOutInOneWriteWithGroupByteZero) {
    VX_CTL_TransmitHandle buffer = 0;
    ASSERT_EQ(device_->createOutputBuffer(&buffer), VX_CTL_OK);
    VX_CTL_RequestID read = 0, dropped = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, buffer), VX_CTL_OK);
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &dropped, buffer), VX_CTL_OK);
    ASSERT_EQ(move(buffer), VX_CTL_OK);
    ASSERT_EQ(device_->movementCommand(CommandType::Stop, 2, 0, buffer), VX_CTL_OK);
    // A request cancelled while queued leaves nothing to send.
    ASSERT_EQ(device_->cancelRequest(dropped), VX_CTL_OK);
    EXPECT_EQ(writes(), 0u);

    ASSERT_EQ(device_->endOutputBuffer(buffer, true), VX_CTL_OK);
    ASSERT_TRUE(endpoint().waitForRequests(3, 5000ms));
    EXPECT_EQ(typesReceived(), (std::vector<uint8_t>{command::kReadProperty, command::kMove, command::kStop}));
    for (const auto& request : endpoint().requests()) EXPECT_EQ(request.handle, 0);
    EXPECT_EQ(writes(), 1u);
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_OK);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(device_->endOutputBuffer(buffer, true), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_TRUE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; }, 5000ms));
}

TEST_F(Transmit, ACancelledBufferSendsNothingAndEndsItsRequests) {
    VX_CTL_TransmitHandle buffer = 0;
    ASSERT_EQ(device_->createOutputBuffer(&buffer), VX_CTL_OK);
    VX_CTL_RequestID read = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, buffer), VX_CTL_OK);
    for (size_t i = 1; i < TransmitHandleTable::kMaxPackets; ++i) ASSERT_EQ(move(buffer), VX_CTL_OK);
    EXPECT_EQ(move(buffer), VX_CTL_BUFFER_OVERFLOW);
    ASSERT_EQ(device_->endOutputBuffer(buffer, false), VX_CTL_OK);
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_INVALID_PARAMETER);
    EXPECT_EQ(device_->slotsInUse(), 0u);
    EXPECT_EQ(move(buffer), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(writes(), 0u);
}

TEST_F(Transmit, AClosedGroupGoesOutInOneWriteAndIsFreedByItsTrigger) {
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 3), VX_CTL_OK);
    ASSERT_EQ(move(group), VX_CTL_OK);
    VX_CTL_RequestID read = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    ASSERT_TRUE(endpoint().waitForRequests(4, 5000ms));
    EXPECT_EQ(typesReceived(), (std::vector<uint8_t>{command::kOpenCommandGroup, command::kMove,
                                                     command::kReadProperty, command::kCloseCommandGroup}));
    for (const auto& request : endpoint().requests()) EXPECT_EQ(request.handle, group);
    EXPECT_EQ(writes(), 1u);
    // Closed and sent: nothing more can join it, and it closes once.
    EXPECT_EQ(move(group), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(device_->endCommandGroup(group, true), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(device_->endOutputBuffer(group, true), VX_CTL_INVALID_TRANSMIT_HANDLE);

    ASSERT_TRUE(vxtest::waitUntil([&] { return endpoint().groupsWaiting() == 1; }, 5000ms));
    ASSERT_TRUE(endpoint().triggerGroup(static_cast<uint8_t>(group)));
    VX_CTL_Event event{};
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kGroupTriggered);
    EXPECT_EQ(event.value.bytes[3], group);
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_OK);
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_INVALID_TRANSMIT_HANDLE);
}

TEST_F(Transmit, GroupsThatEndWithoutTrigger) {
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK);
    EXPECT_EQ(device_->endCommandGroup(group, true), VX_CTL_BUFFER_EMPTY);
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_INVALID_TRANSMIT_HANDLE);

    ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK);
    ASSERT_EQ(move(group), VX_CTL_OK);
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_OK);
    EXPECT_EQ(move(group), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(writes(), 0u);

    // A trigger of a group never closed is reported instead of the event.
    ASSERT_EQ(device_->openCommandGroup(&group, 1), VX_CTL_OK);
    endpoint().injectEvent(0, kGroupTriggered, static_cast<int32_t>(group << 24));
    VX_CTL_Event event{};
    EXPECT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_UNEXPECTED_PACKET);

    // Cancelling a closed group asks the device; the handle stays taken.
    ASSERT_EQ(move(group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, false), VX_CTL_OK);
    ASSERT_TRUE(endpoint().waitForRequests(4, 5000ms));
    EXPECT_EQ(typesReceived().back(), command::kCancelCommandGroup);
    EXPECT_EQ(endpoint().requests().back().handle, group);
    EXPECT_EQ(device_->endCommandGroup(group, true), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(writes(), 2u);
    // The device ends the cancelled group with its trigger event.
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kGroupTriggered);
    EXPECT_EQ(event.value.i32, static_cast<int32_t>(group << 24 | VX_CTL_ABORTED));
    EXPECT_EQ(endpoint().groupsWaiting(), 0u);
}

TEST_F(Transmit, AGroupsRequestsAwaitTheirRepliesFromItsTrigger) {
    device_ = std::make_unique<Device>(vxctl::DeviceTiming{2000ms, 10000ms, 1000ms, 300ms});
    ASSERT_EQ(device_->open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
    const int32_t on = 1;
    ASSERT_EQ(device_->setProperty_i32(0, vxctl::kRequestReadyEventsKey, &on, false, 1), VX_CTL_OK);
    endpoint().addFault(vxsim::Gen2Fault::drop({vxsim::gen2::kCommandStart, command::kReadProperty}));
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 1), VX_CTL_OK);
    VX_CTL_RequestID read = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    // Three request times after the send, the request has not expired.
    VX_CTL_Event event{};
    EXPECT_EQ(device_->waitForEvent(&event, 900), VX_CTL_TIMEOUT);

    endpoint().injectEvent(0, kGroupTriggered, static_cast<int32_t>(group << 24));
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kGroupTriggered);
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, VX_CTL_EVENT_REQUEST_READY);
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_TIMEOUT);
}

// A failed write completes every request it carried and frees its handle.
TEST_F(Transmit, AFailedWriteEndsTheRequestsItCarried) {
    VX_CTL_TransmitHandle buffer = 0, group = 0;
    VX_CTL_RequestID inBuffer = 0, inGroup = 0;
    ASSERT_EQ(device_->createOutputBuffer(&buffer), VX_CTL_OK);
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &inBuffer, buffer), VX_CTL_OK);
    ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK);
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &inGroup, group), VX_CTL_OK);
    endpoint().disconnectAll();
    ASSERT_TRUE(vxtest::waitUntil([&] { return !device_->connected(); }, 5000ms));

    EXPECT_EQ(device_->endOutputBuffer(buffer, true), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_EQ(device_->endCommandGroup(group, true), VX_CTL_COMMUNICATION_FAILED);
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(inBuffer, &values), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_EQ(device_->readProperty_i32(inGroup, &values), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_EQ(device_->slotsInUse(), 0u);
    EXPECT_EQ(device_->endOutputBuffer(buffer, false), VX_CTL_INVALID_TRANSMIT_HANDLE);
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_INVALID_TRANSMIT_HANDLE);
}

TEST_F(Transmit, WithThirtyHandlesTakenTheOneGivenLastIsNotTriedAgain) {
    std::vector<VX_CTL_TransmitHandle> handles(TransmitHandleTable::kLastHandle);
    for (VX_CTL_TransmitHandle& handle : handles) ASSERT_EQ(device_->createOutputBuffer(&handle), VX_CTL_OK);
    ASSERT_EQ(device_->endOutputBuffer(handles.back(), false), VX_CTL_OK);
    VX_CTL_TransmitHandle handle = 0;
    EXPECT_EQ(device_->createOutputBuffer(&handle), VX_CTL_BUFFER_LIMIT_REACHED);
    EXPECT_EQ(device_->openCommandGroup(&handle, 0), VX_CTL_BUFFER_LIMIT_REACHED);
    ASSERT_EQ(device_->endOutputBuffer(handles[4], false), VX_CTL_OK);
    ASSERT_EQ(device_->openCommandGroup(&handle, 0), VX_CTL_OK);
    EXPECT_EQ(handle, handles[4]);
    EXPECT_EQ(writes(), 0u);
}

// The device runs a group at its close (trigger mode 0) or on its trigger,
// answers its requests, reports it, and its handle is free again.
TEST_F(Transmit, TheDeviceRunsAClosedGroupOnItsTrigger) {
    for (const uint32_t mode : {0u, 2u}) {
        VX_CTL_TransmitHandle group = 0;
        ASSERT_EQ(device_->openCommandGroup(&group, mode), VX_CTL_OK);
        ASSERT_EQ(move(group), VX_CTL_OK);
        VX_CTL_RequestID read = 0;
        ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
        ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
        VX_CTL_Event event{};
        if (mode != 0) {
            ASSERT_TRUE(vxtest::waitUntil([&] { return endpoint().groupsWaiting() == 1; }, 5000ms));
            EXPECT_EQ(device_->waitForEvent(&event, 100), VX_CTL_TIMEOUT) << "waits for its trigger";
            ASSERT_TRUE(endpoint().triggerGroup(static_cast<uint8_t>(group)));
        }
        ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
        EXPECT_EQ(event.type, kGroupTriggered);
        EXPECT_EQ(event.value.i32, static_cast<int32_t>(group << 24));
        std::vector<int32_t> values;
        EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_OK);
        EXPECT_EQ(values, std::vector<int32_t>{vxsim::Gen2Simulator::kDefaultChannelCount});
        EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_INVALID_TRANSMIT_HANDLE);

        ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
        EXPECT_EQ(event.type, kMovementFinished);
        EXPECT_EQ(event.idx, 2u);
        EXPECT_EQ(event.value.i32, VX_CTL_OK);
        EXPECT_EQ(controller_.sim().model().position(2), -7);
    }
    EXPECT_EQ(writes(), 2u);
}

// A request cancelled while its closed group waits for the trigger still
// awaits a reply; its ID is free once a request sent two reply times after
// the trigger is answered, not never.
TEST_F(Transmit, ARequestCancelledWhileItsGroupWaitsIsFreedAfterTheTrigger) {
    device_ = std::make_unique<Device>(vxctl::DeviceTiming{2000ms, 10000ms, 1000ms, 1000ms});
    ASSERT_EQ(device_->open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
    endpoint().addFault(vxsim::Gen2Fault::drop({vxsim::gen2::kCommandStart, command::kReadProperty}));
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 1), VX_CTL_OK);
    VX_CTL_RequestID read = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    ASSERT_EQ(device_->cancelRequest(read), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] { return endpoint().groupsWaiting() == 1; }, 5000ms));
    ASSERT_TRUE(endpoint().triggerGroup(static_cast<uint8_t>(group)));
    VX_CTL_Event event{};
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kGroupTriggered);
    EXPECT_EQ(device_->slotsInUse(), 1u) << "its reply may still come";
    EXPECT_FALSE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; }, 2500ms));
    controller_.sim().model().define({0, 0x03010021}, int32_t{0});
    const int32_t value = 1;
    EXPECT_EQ(device_->setProperty_i32(0, 0x03010021, &value, false, 1), VX_CTL_OK);
    EXPECT_EQ(device_->slotsInUse(), 0u);
}

// A cancelled group whose trigger never comes, not even late, gives its
// handle back a reply time after the cancel, and its requests' IDs once
// requests sent two reply times after the cancel are answered: losing more
// groups than there are handles leaves the device working, and the trigger
// and reply that come after that complete nothing.
TEST_F(Transmit, LostGroupsGiveTheirHandlesBackAReplyTimeAfterTheirCancel) {
    constexpr auto kReplyTime = 100ms;
    device_ = std::make_unique<Device>(vxctl::DeviceTiming{2000ms, 10000ms, 1000ms, kReplyTime});
    ASSERT_EQ(device_->open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
    for (VX_CTL_TransmitHandle lost = 0; lost <= TransmitHandleTable::kLastHandle; ++lost) {
        endpoint().loseNextGroup(true);
        VX_CTL_TransmitHandle group = 0;
        ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK) << "lost groups before: " << lost;
        VX_CTL_RequestID read = 0;
        ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
        ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
        // Given up as the controller API does: nothing came in the reply time.
        VX_CTL_Event event{};
        ASSERT_EQ(device_->waitForEvent(&event, 100), VX_CTL_TIMEOUT);
        ASSERT_EQ(device_->endCommandGroup(group, false), VX_CTL_OK);
        ASSERT_EQ(device_->cancelRequest(read), VX_CTL_OK);
    }
    EXPECT_TRUE(vxtest::waitUntil(
        [&] {
            int32_t count = 0;
            return device_->readChannelCount(&count) == VX_CTL_OK && device_->slotsInUse() == 0;
        },
        5000ms));

    // The last lost group's reply and trigger find neither request nor group.
    ASSERT_TRUE(endpoint().sendLostGroup());
    VX_CTL_Event event{};
    EXPECT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_UNEXPECTED_PACKET);
    EXPECT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_UNEXPECTED_PACKET);

    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK);
    VX_CTL_RequestID read = 0;
    ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, kGroupTriggered);
    EXPECT_EQ(event.value.i32, static_cast<int32_t>(group << 24));
    std::vector<int32_t> values;
    EXPECT_EQ(device_->readProperty_i32(read, &values), VX_CTL_OK);
    EXPECT_EQ(values, std::vector<int32_t>{vxsim::Gen2Simulator::kDefaultChannelCount});
    EXPECT_EQ(device_->waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

// The cancel of a closed group cannot go out (the TCP connection is gone):
// the group is dropped at once, and the IDs of its requests are free again
// once that connection is closed, since no reply can come on it any more,
// well within a reply time (2000 ms).
TEST_F(Transmit, AGroupWhoseCancelCannotBeSentGivesItsIdsBackWithItsConnection) {
    constexpr int kReads = 5;
    endpoint().loseNextGroup(true);
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(device_->openCommandGroup(&group, 0), VX_CTL_OK);
    std::vector<VX_CTL_RequestID> reads(kReads);
    for (VX_CTL_RequestID& read : reads)
        ASSERT_EQ(device_->requestReadProperty(0, vxctl::kChannelCountKey, &read, group), VX_CTL_OK);
    ASSERT_EQ(device_->endCommandGroup(group, true), VX_CTL_OK);
    endpoint().disconnectAll();
    ASSERT_TRUE(vxtest::waitUntil([&] { return !device_->connected(); }, 5000ms));

    const auto cancelled = std::chrono::steady_clock::now();
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_COMMUNICATION_FAILED);
    for (const VX_CTL_RequestID read : reads) EXPECT_EQ(device_->cancelRequest(read), VX_CTL_OK);
    const auto bound = 1000ms - (std::chrono::steady_clock::now() - cancelled);
    EXPECT_TRUE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; },
                                  std::chrono::duration_cast<std::chrono::milliseconds>(bound)))
        << "free IDs: " << vxctl::kLastRequestId - device_->slotsInUse();
    EXPECT_EQ(device_->endCommandGroup(group, false), VX_CTL_INVALID_TRANSMIT_HANDLE);
}

}  // namespace
