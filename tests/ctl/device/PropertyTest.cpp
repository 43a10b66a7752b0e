// Property reads and writes against the simulated controller: every value
// type synchronously and asynchronously, the size limits of one frame, the
// rules of request IDs, the request-ready event, and how requests end when
// no reply comes or the connection goes.

#include <gtest/gtest.h>

#include <future>
#include <variant>

#include "ctl/device/SimulatedDevice.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;
using vxsim::Gen2Fault;
using vxsim::Gen2Match;
using vxsim::PropertyValue;
namespace gen2 = vxsim::gen2;
using Clock = std::chrono::steady_clock;

constexpr VX_CTL_PropertyKey kKey = 0x03010021;
const Gen2Match kReads{gen2::kCommandStart, gen2::command::kReadProperty};

enum class Mode { Sync, Async };

// Writes `value` as its type says, waiting for the reply either way.
VX_CTL_Result write(Device& device, Mode mode, uint8_t index, const PropertyValue& value) {
    VX_CTL_RequestID id = 0;
    VX_CTL_Result result = VX_CTL_OK;
    const bool sync = mode == Mode::Sync;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t>) {
                result = sync ? device.setProperty_i32(index, kKey, &v, false, 1)
                              : device.requestWriteProperty_i32(index, kKey, &v, false, 1, &id, 0);
            } else if constexpr (std::is_same_v<T, int64_t>) {
                result = sync ? device.setProperty_i64(index, kKey, &v, false, 1)
                              : device.requestWriteProperty_i64(index, kKey, &v, false, 1, &id, 0);
            } else if constexpr (std::is_same_v<T, std::string>) {
                result = sync ? device.setProperty_s(index, kKey, v) : device.requestWriteProperty_s(index, kKey, v, &id, 0);
            } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
                result = sync ? device.setProperty_i32(index, kKey, v.data(), true, v.size())
                              : device.requestWriteProperty_i32(index, kKey, v.data(), true, v.size(), &id, 0);
            } else {
                result = sync ? device.setProperty_i64(index, kKey, v.data(), true, v.size())
                              : device.requestWriteProperty_i64(index, kKey, v.data(), true, v.size(), &id, 0);
            }
        },
        value);
    if (sync || result != VX_CTL_OK) return result;
    return device.waitForWrite(id);
}

// Reads the property as the type of `like`, into *value.
VX_CTL_Result read(Device& device, Mode mode, uint8_t index, const PropertyValue& like, PropertyValue* value) {
    VX_CTL_RequestID id = 0;
    if (mode == Mode::Async) {
        if (const VX_CTL_Result sent = device.requestReadProperty(index, kKey, &id, 0); sent != VX_CTL_OK) return sent;
    }
    const bool sync = mode == Mode::Sync;
    std::vector<int32_t> v32;
    std::vector<int64_t> v64;
    std::string text;
    VX_CTL_Result result = VX_CTL_OK;
    if (std::holds_alternative<int32_t>(like) || std::holds_alternative<std::vector<int32_t>>(like)) {
        result = sync ? device.getProperty_i32(index, kKey, &v32) : device.readProperty_i32(id, &v32);
        *value = std::holds_alternative<int32_t>(like) && v32.size() == 1 ? PropertyValue(v32[0]) : PropertyValue(v32);
    } else if (std::holds_alternative<std::string>(like)) {
        result = sync ? device.getProperty_s(index, kKey, &text) : device.readProperty_s(id, &text);
        *value = text;
    } else {
        result = sync ? device.getProperty_i64(index, kKey, &v64) : device.readProperty_i64(id, &v64);
        *value = std::holds_alternative<int64_t>(like) && v64.size() == 1 ? PropertyValue(v64[0]) : PropertyValue(v64);
    }
    return result;
}

class OpenDevice : public ::testing::Test {
protected:
    void SetUp() override { open(); }
    void open(const vxctl::DeviceTiming& timing = {}) {
        device_ = std::make_unique<Device>(timing);
        ASSERT_EQ(device_->open(controller_.locator().c_str(), controller_.options().c_str()), VX_CTL_OK);
        controller_.endpoint().clearRequests();
    }
    vxsim::Gen2Endpoint& endpoint() { return controller_.endpoint(); }
    size_t sent() { return endpoint().requests().size(); }

    SimulatedController controller_{Carrier::Tcp};
    std::unique_ptr<Device> device_;
};

struct TypedValue {
    const char* name;
    PropertyValue initial;
    PropertyValue written;
};

const TypedValue kTypedValues[] = {
    {"Int32", int32_t{-7}, int32_t{0x12345678}},
    {"Int64", int64_t{-1}, int64_t{0x123456789ABCDEF0}},
    {"Text", std::string("before"), std::string("after, with | and =")},
    {"EmptyText", std::string("x"), std::string()},
    {"Int32Array", std::vector<int32_t>{1, 2}, std::vector<int32_t>{-3, 4, 5}},
    {"Int64Array", std::vector<int64_t>{1}, std::vector<int64_t>{1LL << 40, -2}},
};

class EveryType : public OpenDevice, public ::testing::WithParamInterface<TypedValue> {};

TEST_P(EveryType, IsReadAndWrittenSynchronouslyAndAsynchronously) {
    const TypedValue& typed = GetParam();
    for (Mode mode : {Mode::Sync, Mode::Async}) {
        SCOPED_TRACE(mode == Mode::Sync ? "sync" : "async");
        controller_.sim().model().define({2, kKey}, typed.initial);
        PropertyValue value;
        ASSERT_EQ(read(*device_, mode, 2, typed.initial, &value), VX_CTL_OK);
        EXPECT_EQ(value, typed.initial);
        ASSERT_EQ(write(*device_, mode, 2, typed.written), VX_CTL_OK);
        EXPECT_EQ(controller_.sim().model().value({2, kKey}), typed.written);
        ASSERT_EQ(read(*device_, mode, 2, typed.written, &value), VX_CTL_OK);
        EXPECT_EQ(value, typed.written);
        // The controller's refusals reach the caller; a read as another type is 0x16.
        EXPECT_EQ(read(*device_, mode, 9, typed.initial, &value), vxsim::gen2result::kInvalidKey);
        const PropertyValue other = std::holds_alternative<std::string>(typed.initial) ? PropertyValue(int32_t{1})
                                                                                       : PropertyValue(std::string("1"));
        EXPECT_EQ(read(*device_, mode, 2, other, &value), VX_CTL_INVALID_DATA_TYPE);
        EXPECT_EQ(write(*device_, mode, 2, other), vxsim::gen2result::kInvalidDataType);
    }
    EXPECT_TRUE(endpoint().rejected().empty());
    EXPECT_EQ(device_->slotsInUse(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, EveryType, ::testing::ValuesIn(kTypedValues),
                         [](const auto& info) { return std::string(info.param.name); });

// What fits one frame is sent in one; what does not is refused unsent.
struct SizeLimit {
    const char* name;
    PropertyValue value;
    VX_CTL_Result expected;
    size_t frameBytes;  // of the one frame sent
};

const SizeLimit kSizeLimits[] = {
    {"Int32x59", std::vector<int32_t>(59, 7), VX_CTL_OK, 256},
    {"Int32x60", std::vector<int32_t>(60, 7), VX_CTL_INVALID_ARRAY_SIZE, 0},
    {"Int64x29", std::vector<int64_t>(29, 7), VX_CTL_OK, 252},
    {"Int64x30", std::vector<int64_t>(30, 7), VX_CTL_INVALID_ARRAY_SIZE, 0},
    {"Text63", std::string(63, 'c'), VX_CTL_OK, 80},
    {"Text64", std::string(64, 'c'), VX_CTL_INVALID_PARAMETER, 0},
};

class SizeLimits : public OpenDevice, public ::testing::WithParamInterface<SizeLimit> {};

TEST_P(SizeLimits, DecideBeforeAnythingIsSent) {
    const SizeLimit& limit = GetParam();
    controller_.sim().model().define({0, kKey}, limit.value);
    for (Mode mode : {Mode::Sync, Mode::Async}) {
        endpoint().clearRequests();
        EXPECT_EQ(write(*device_, mode, 0, limit.value), limit.expected);
        const auto requests = endpoint().requests();
        ASSERT_EQ(requests.size(), limit.frameBytes ? 1u : 0u);
        if (limit.frameBytes) {
            EXPECT_EQ(requests[0].bytes.size(), limit.frameBytes);
        }
    }
    EXPECT_TRUE(endpoint().rejected().empty());
    EXPECT_EQ(device_->slotsInUse(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, SizeLimits, ::testing::ValuesIn(kSizeLimits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenDevice, RequestIdsAreCollectedOnce) {
    controller_.sim().model().define({0, kKey}, int32_t{5});
    std::vector<int32_t> values;
    VX_CTL_RequestID id = 0;
    EXPECT_EQ(device_->requestReadProperty(0, kKey, nullptr, 0), VX_CTL_INVALID_PARAMETER);

    ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(device_->readProperty_i32(id, &values), VX_CTL_OK);
    EXPECT_EQ(device_->readProperty_i32(id, &values), VX_CTL_INVALID_PARAMETER);

    ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_OK);
    EXPECT_EQ(device_->cancelRequest(id), VX_CTL_OK);
    EXPECT_EQ(device_->readProperty_i32(id, &values), VX_CTL_INVALID_PARAMETER);

    // Waiting for a read as a write cancels it.
    ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_OK);
    EXPECT_EQ(device_->waitForWrite(id), VX_CTL_INVALID_PARAMETER);
    EXPECT_EQ(device_->readProperty_i32(id, &values), VX_CTL_INVALID_PARAMETER);
    for (VX_CTL_RequestID outside : {0, 240, 255}) EXPECT_EQ(device_->cancelRequest(outside), VX_CTL_INVALID_PARAMETER);

    // Without an ID pointer a write goes out as request 0, and nothing waits.
    const int32_t value = 9;
    ASSERT_EQ(device_->requestWriteProperty_i32(0, kKey, &value, false, 1, nullptr, 0), VX_CTL_OK);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        const auto requests = endpoint().requests();
        return !requests.empty() && requests.back().type == gen2::command::kWriteProperty;
    }));
    EXPECT_EQ(endpoint().requests().back().requestId, 0);
    EXPECT_EQ(controller_.sim().model().value({0, kKey}), PropertyValue(value));
    // The cancelled reads hold their IDs until their replies are in; the
    // untracked write holds none.
    EXPECT_TRUE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; }));
    VX_CTL_Event event{};
    EXPECT_EQ(device_->waitForEvent(&event, 200), VX_CTL_TIMEOUT);
}

TEST_F(OpenDevice, AnIdIsNotGivenOutAgainBeforeItsReplyCanNoLongerCome) {
    open({2000ms, 10000ms, 1000ms, 600ms});
    controller_.sim().model().define({0, kKey}, int32_t{5});
    std::vector<int32_t> values;
    // The late reply frees the ID and completes nothing.
    endpoint().addFault(Gen2Fault::late(kReads, 300ms, 1));
    VX_CTL_RequestID late = 0;
    ASSERT_EQ(device_->requestReadProperty(0, kKey, &late, 0), VX_CTL_OK);
    ASSERT_EQ(device_->cancelRequest(late), VX_CTL_OK);
    VX_CTL_RequestID next = 0;
    ASSERT_EQ(device_->requestReadProperty(0, kKey, &next, 0), VX_CTL_OK);
    EXPECT_NE(next, late);
    EXPECT_EQ(device_->readProperty_i32(next, &values), VX_CTL_OK);
    ASSERT_TRUE(endpoint().waitForLateReplies(1, 5000ms));
    ASSERT_TRUE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; }));
    ASSERT_EQ(device_->requestReadProperty(0, kKey, &next, 0), VX_CTL_OK);
    EXPECT_EQ(device_->readProperty_i32(next, &values), VX_CTL_OK);

    // Without a reply the ID stays taken, past two reply times, until a
    // request sent after it is answered: replies come in turn, so its own
    // will not come.
    endpoint().addFault(Gen2Fault::drop(kReads, 1));
    ASSERT_EQ(device_->requestReadProperty(0, kKey, &late, 0), VX_CTL_OK);
    ASSERT_EQ(device_->cancelRequest(late), VX_CTL_OK);
    EXPECT_FALSE(vxtest::waitUntil([&] { return device_->slotsInUse() == 0; }, 1500ms));
    EXPECT_EQ(device_->getProperty_i32(0, kKey, &values), VX_CTL_OK);
    EXPECT_EQ(device_->slotsInUse(), 0u);

    // A reply that comes twice: the second completes nothing.
    endpoint().addFault(Gen2Fault::duplicate(kReads, 1));
    EXPECT_EQ(device_->getProperty_i32(0, kKey, &values), VX_CTL_OK);
    VX_CTL_Event event{};
    EXPECT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_UNEXPECTED_PACKET);
    EXPECT_EQ(device_->waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

// A controller that answers late or twice: a reply never completes a
// request it was not sent for. Requests left outstanding narrow the free
// IDs, so that a timed-out request's ID would come back at once; the read
// after the one answered 2.3 s late is still out when that reply comes.
struct StaleReply {
    const char* name;
    std::vector<Gen2Fault> faults;
    size_t idsLeftFree;
    int minimumAnswered;
};

const StaleReply kStaleReplies[] = {
    {"OneReplyLate", {Gen2Fault::late(kReads, 2300ms, 1), Gen2Fault::late(kReads, 500ms, 1)}, 1, 9},
    {"EveryReplyTwice", {Gen2Fault::repeat(kReads, 50ms)}, vxctl::kLastRequestId, 10},
};

class StaleReplies : public OpenDevice, public ::testing::WithParamInterface<StaleReply> {};

TEST_P(StaleReplies, NeverAnswerAnotherRead) {
    constexpr VX_CTL_PropertyKey kFirstKey = 0x03010100;
    constexpr int kReadCount = 10;
    for (int i = 0; i < kReadCount; ++i) controller_.sim().model().define({0, kFirstKey + i}, int32_t{1000 + i});
    controller_.sim().model().define({0, kKey}, int32_t{-1});
    const size_t held = vxctl::kLastRequestId - GetParam().idsLeftFree;
    for (size_t i = 0; i < held; ++i) {
        VX_CTL_RequestID id = 0;
        ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_OK);
    }
    // Answered before the fault applies.
    ASSERT_TRUE(endpoint().waitForRequests(held, 5000ms));
    for (const Gen2Fault& fault : GetParam().faults) endpoint().addFault(fault);

    int answered = 0;
    for (int i = 0; i < kReadCount; ++i) {
        std::vector<int32_t> values;
        const VX_CTL_Result result = device_->getProperty_i32(0, kFirstKey + i, &values);
        if (result != VX_CTL_OK) continue;
        ++answered;
        EXPECT_EQ(values, std::vector<int32_t>{1000 + i}) << "read " << i;
    }
    EXPECT_GE(answered, GetParam().minimumAnswered);
}

INSTANTIATE_TEST_SUITE_P(Device, StaleReplies, ::testing::ValuesIn(kStaleReplies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenDevice, The240thConcurrentRequestWaitsForAFreeSlot) {
    controller_.sim().model().define({0, kKey}, int32_t{5});
    std::vector<VX_CTL_RequestID> ids(vxctl::kLastRequestId);
    for (auto& id : ids) ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_OK);
    EXPECT_EQ(device_->slotsInUse(), 239u);
    auto another = std::async(std::launch::async, [&] {
        std::vector<int32_t> values;
        return device_->getProperty_i32(0, kKey, &values);
    });
    EXPECT_EQ(another.wait_for(300ms), std::future_status::timeout);
    std::vector<int32_t> values;
    ASSERT_EQ(device_->readProperty_i32(ids[100], &values), VX_CTL_OK);
    ASSERT_EQ(another.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(another.get(), VX_CTL_OK);
    EXPECT_EQ(device_->slotsInUse(), 238u);
}

// Callers of one device, synchronous and asynchronous, each on values of
// its own: every reply reaches the caller it belongs to, whether it comes
// while that caller still watches for it or after it went to sleep.
TEST_F(OpenDevice, ConcurrentCallersEachGetTheirOwnReplies) {
    constexpr uint8_t kCallers = 8;
    constexpr int kRounds = 60;
    for (uint8_t index = 0; index < kCallers; ++index)
        controller_.sim().model().define({index, kKey}, int64_t{1000 + index});
    // Some replies come only after the callers' short watch.
    endpoint().addFault(Gen2Fault::late(kReads, 5ms, kCallers * 4));
    std::vector<std::future<int>> callers;
    for (uint8_t index = 0; index < kCallers; ++index) {
        callers.push_back(std::async(std::launch::async, [this, index] {
            int wrong = 0;
            std::vector<int64_t> values;
            for (int round = 0; round < kRounds; ++round) {
                VX_CTL_RequestID ids[3] = {};
                for (auto& id : ids)
                    if (device_->requestReadProperty(index, kKey, &id, 0) != VX_CTL_OK) ++wrong;
                if (device_->getProperty_i64(index, kKey, &values) != VX_CTL_OK ||
                    values != std::vector<int64_t>{1000 + index})
                    ++wrong;
                for (auto id : ids)
                    if (device_->readProperty_i64(id, &values) != VX_CTL_OK ||
                        values != std::vector<int64_t>{1000 + index})
                        ++wrong;
            }
            return wrong;
        }));
    }
    for (auto& caller : callers) {
        ASSERT_EQ(caller.wait_for(20s), std::future_status::ready);
        EXPECT_EQ(caller.get(), 0);
    }
    EXPECT_EQ(device_->slotsInUse(), 0u);
}

// With request-ready events on, a request nobody waits for reports its end.
struct ReadyEvent {
    const char* name;
    PropertyValue value;
    bool write;
    uint8_t dataType;
    uint8_t count;
};

const ReadyEvent kReadyEvents[] = {
    {"ReadOfThreeValues", std::vector<int32_t>{1, 2, 3}, false, VX_CTL_DT_INT32, 3},
    {"ReadOfText", std::string("abcd"), false, VX_CTL_DT_STRING, 4},
    {"Write", int64_t{5}, true, VX_CTL_DT_INT64, 0},
};

class RequestReady : public OpenDevice, public ::testing::WithParamInterface<ReadyEvent> {};

TEST_P(RequestReady, PostsTheRequestsBytes) {
    const ReadyEvent& expected = GetParam();
    const int32_t on = 1;
    ASSERT_EQ(device_->setProperty_i32(0, vxctl::kRequestReadyEventsKey, &on, false, 1), VX_CTL_OK);
    controller_.sim().model().define({4, kKey}, expected.value);
    VX_CTL_RequestID id = 0;
    const int64_t value = 5;
    ASSERT_EQ(expected.write ? device_->requestWriteProperty_i64(4, kKey, &value, false, 1, &id, 0)
                             : device_->requestReadProperty(4, kKey, &id, 0),
              VX_CTL_OK);
    VX_CTL_Event event{};
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    EXPECT_EQ(event.type, VX_CTL_EVENT_REQUEST_READY);
    EXPECT_EQ(event.idx, id);
    const uint8_t bytes[] = {id, expected.write ? uint8_t{1} : uint8_t{0}, expected.dataType, expected.count,
                             0x21, 0x00, 0x01, 0x03};
    EXPECT_EQ(std::vector<uint8_t>(event.value.bytes, event.value.bytes + 8), std::vector<uint8_t>(std::begin(bytes), std::end(bytes)));
    EXPECT_EQ(expected.write ? device_->waitForWrite(id) : device_->cancelRequest(id), VX_CTL_OK);
    EXPECT_EQ(device_->waitForEvent(&event, 0), VX_CTL_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(Device, RequestReady, ::testing::ValuesIn(kReadyEvents),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenDevice, ChannelCountIsOneValue) {
    int32_t count = 0;
    ASSERT_EQ(device_->readChannelCount(&count), VX_CTL_OK);
    EXPECT_EQ(count, vxsim::Gen2Simulator::kDefaultChannelCount);
    controller_.sim().model().define({0, vxctl::kChannelCountKey}, std::vector<int32_t>{1, 2});
    EXPECT_EQ(device_->readChannelCount(&count), VX_CTL_INVALID_QUERYBUFFER_SIZE);
    controller_.sim().model().define({0, vxctl::kChannelCountKey}, std::vector<int32_t>{});
    EXPECT_EQ(device_->readChannelCount(&count), VX_CTL_INVALID_QUERYBUFFER_SIZE);
}

// A request that is sent waits without a limit of its own: the worker ends
// it at its deadline, a lost connection or a close ends it at once. Its ID
// stays taken, in case its reply is only late, until a request sent two
// deadlines after it is answered.
TEST_F(OpenDevice, AnUnansweredRequestTimesOutAboutTwoSecondsAfterItsSend) {
    controller_.sim().model().define({0, kKey}, int32_t{5});
    endpoint().addFault(Gen2Fault::drop(kReads));
    std::vector<int32_t> values;
    const auto start = Clock::now();
    EXPECT_EQ(device_->getProperty_i32(0, kKey, &values), VX_CTL_TIMEOUT);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 2000ms);
    EXPECT_LT(took, 3000ms);
    EXPECT_EQ(device_->slotsInUse(), 1u);
    endpoint().clearFaults();
    EXPECT_EQ(device_->getProperty_i32(0, kKey, &values), VX_CTL_OK);
    EXPECT_EQ(device_->slotsInUse(), 1u) << "a late reply may still come";
    ASSERT_TRUE(vxtest::waitUntil(
        [&] { return device_->getProperty_i32(0, kKey, &values) == VX_CTL_OK && device_->slotsInUse() == 0; },
        3000ms));
    EXPECT_GE(Clock::now() - start, 4000ms);
}

struct EndedWait {
    const char* name;
    std::function<void(SimulatedController&, Device&)> end;
    VX_CTL_Result expected;
};

const EndedWait kEndedWaits[] = {
    {"ByALostConnection", [](SimulatedController& c, Device&) { c.endpoint().disconnectAll(); },
     VX_CTL_COMMUNICATION_FAILED},
    {"ByAClose", [](SimulatedController&, Device& d) { d.shutdown(); }, VX_CTL_CANCELED},
};

class EndedWaits : public OpenDevice, public ::testing::WithParamInterface<EndedWait> {};

TEST_P(EndedWaits, EndAtOnce) {
    endpoint().addFault(Gen2Fault::drop(kReads));
    auto reading = std::async(std::launch::async, [&] {
        std::vector<int32_t> values;
        return device_->getProperty_i32(0, kKey, &values);
    });
    ASSERT_TRUE(endpoint().waitForRequests(1, 5000ms));
    const auto start = Clock::now();
    GetParam().end(controller_, *device_);
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reading.get(), GetParam().expected);
    EXPECT_LT(Clock::now() - start, 1500ms);
}

INSTANTIATE_TEST_SUITE_P(Device, EndedWaits, ::testing::ValuesIn(kEndedWaits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenDevice, RequestsAfterALostConnectionFailAtOnceAndKeepNoSlot) {
    endpoint().disconnectAll();
    VX_CTL_Event event{};
    ASSERT_EQ(device_->waitForEvent(&event, 5000), VX_CTL_OK);
    ASSERT_EQ(event.type, VX_CTL_EVENT_CONNECTION_LOST);
    const auto start = Clock::now();
    for (int i = 0; i < 300; ++i) {
        VX_CTL_RequestID id = 0;
        ASSERT_EQ(device_->requestReadProperty(0, kKey, &id, 0), VX_CTL_COMMUNICATION_FAILED) << i;
    }
    std::vector<int32_t> values;
    EXPECT_EQ(device_->getProperty_i32(0, kKey, &values), VX_CTL_COMMUNICATION_FAILED);
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_EQ(device_->slotsInUse(), 0u);
}

// With automatic reconnection a request whose send failed goes out again on
// the new connection and gets its reply there.
TEST(AutoReconnect, SendsARequestAgainOnTheNewConnection) {
    SimulatedController controller(Carrier::Usb);
    controller.sim().model().define({0, kKey}, int32_t{77});
    Device device;
    ASSERT_EQ(device.open(controller.locator().c_str(), nullptr), VX_CTL_OK);
    const int32_t on = 1;
    ASSERT_EQ(device.setProperty_i32(0, vxctl::kAutoReconnectKey, &on, false, 1), VX_CTL_OK);
    controller.sim().usb().api().failCall("FT_Write", VXFTDI_OTHER_ERROR, 1);
    std::vector<int32_t> values;
    ASSERT_EQ(device.getProperty_i32(0, kKey, &values), VX_CTL_OK);
    EXPECT_EQ(values, std::vector<int32_t>{77});
    VxFtdiLineState state{};
    controller.sim().usb().api().lineState(controller.sim().usb().adapter(), &state);
    EXPECT_EQ(state.opens, 2);
}

}  // namespace
