// What the simulated controller does with movement commands, command groups
// and its trajectory stream, as the host sees it on the wire.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "VeltraxControlPrivate"
#include "sim/CaptureLink.h"
#include "sim/Gen2Endpoint.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using simtest::Bytes;
using simtest::CaptureLink;
using vxctl::CommandType;
using vxsim::Gen2Endpoint;
using vxsim::Gen2Model;
namespace gen2 = vxsim::gen2;
namespace result = vxsim::gen2result;

constexpr uint16_t kMovementFinished = 0x0001;
constexpr uint16_t kStreamFinished = 0x8000;
constexpr uint16_t kGroupTriggered = 0x8010;
constexpr uint32_t kChannelCountKey = 0x020F0016;

Bytes wire(vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return Bytes(packet.data(), packet.data() + packet.size());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes units(size_t count) { return Bytes(count * 9, 0x33); }

Bytes streamFrame(uint8_t handle, size_t count) {
    const Bytes bytes = units(count);
    return wire(vxctl::streamDataFrame(handle, bytes.data(), bytes.size()));
}

// A frame from the controller as the host reads it: an event, a stream
// status, a completion or a value.
struct Seen {
    uint8_t type = 0;
    uint8_t index = 0;        // event index, or request ID
    uint16_t code = 0;        // event type, or completion result
    uint32_t value = 0;       // event value, first status count, or value read
    uint32_t second = 0;      // second status count
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* out) {
    *out << std::hex << "{type " << int{s.type} << " index " << int{s.index} << " code " << s.code << " value " << s.value
         << " second " << s.second << "}";
}

uint32_t le32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24);
}

std::vector<Seen> seen(const Bytes& bytes) {
    gen2::FrameParser parser;
    std::vector<Seen> frames;
    for (auto& item : parser.feed(bytes.data(), bytes.size())) {
        if (!item.frame) continue;
        const Bytes& b = item.frame->body;
        Seen s{item.frame->type};
        switch (s.type) {
        case gen2::command::kEvent:
            s = {s.type, b[0], static_cast<uint16_t>(b[1] | b[2] << 8), le32(b, 3)};
            break;
        case gen2::command::kStreamFlowStatus:
            s = {s.type, 0, 0, le32(b, 0), le32(b, 4)};
            break;
        case gen2::command::kCompletion:
            s = {s.type, b[0], static_cast<uint16_t>(b[1] | b[2] << 8)};
            break;
        case gen2::command::kPropertyValue:
            s = {s.type, b[0], b[1], le32(b, 2)};
            break;
        default:
            break;
        }
        frames.push_back(s);
    }
    return frames;
}

Seen event(uint8_t index, uint16_t type, uint32_t value) { return {gen2::command::kEvent, index, type, value}; }
Seen status(uint32_t first, uint32_t second) { return {gen2::command::kStreamFlowStatus, 0, 0, first, second}; }
Seen completion(uint8_t id, uint16_t code) { return {gen2::command::kCompletion, id, code}; }
Seen value(uint8_t id, uint32_t v) { return {gen2::command::kPropertyValue, id, gen2::datatype::kInt32, v}; }

class Gen2Run : public ::testing::Test {
protected:
    Gen2Run() : endpoint(model) {
        model.define({0, kChannelCountKey}, int32_t{3}, true);
        model.setChannelCount(3);
        // Long enough to be seen running right after the command.
        model.setMotionTimes({150ms, 150ms, 150ms});
        model.setStreamCapacity(4);
        endpoint.onConnect(link);
    }
    ~Gen2Run() override { endpoint.onDisconnect(link); }

    // Sends and gives what came back at once.
    std::vector<Seen> exchange(const Bytes& bytes) {
        link.clear();
        endpoint.onReceive(link, bytes.data(), bytes.size());
        return seen(link.all());
    }
    // What the controller sent by itself by the time `count` frames are in.
    std::vector<Seen> later(size_t count) {
        EXPECT_TRUE(vxtest::waitUntil([&] { return seen(link.all()).size() >= count; }, 5000ms));
        return seen(link.all());
    }

    Gen2Model model;
    Gen2Endpoint endpoint;
    CaptureLink link;
};

TEST_F(Gen2Run, MovementsEndWithAnEventAfterTheirTime) {
    const struct {
        const char* name;
        Bytes command;
        int64_t position;
    } rows[] = {
        {"move", wire(vxctl::moveFrame(0, 1, -2500)), -2500},
        {"calibrate", wire(vxctl::channelCommandFrame(CommandType::Calibrate, 0, 1)), -2500},
        {"reference", wire(vxctl::channelCommandFrame(CommandType::Reference, 0, 1)), 0},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(exchange(row.command).empty()) << row.name;
        EXPECT_TRUE(model.moving(1)) << row.name;
        EXPECT_EQ(later(1), std::vector<Seen>{event(1, kMovementFinished, result::kOk)}) << row.name;
        EXPECT_FALSE(model.moving(1)) << row.name;
        EXPECT_EQ(model.position(1), row.position) << row.name;
    }
}

TEST_F(Gen2Run, AStopOrAnotherCommandEndsARunningMovementAtOnce) {
    model.setMotionTimes({10s, 10s, 10s});
    const Bytes stop = wire(vxctl::channelCommandFrame(CommandType::Stop, 0, 2));
    EXPECT_TRUE(exchange(stop).empty()) << "nothing to stop";
    EXPECT_TRUE(exchange(wire(vxctl::moveFrame(0, 2, 1000000))).empty());
    EXPECT_EQ(exchange(wire(vxctl::channelCommandFrame(CommandType::Reference, 0, 2))),
              std::vector<Seen>{event(2, kMovementFinished, result::kMovementOverridden)});
    EXPECT_EQ(exchange(stop), std::vector<Seen>{event(2, kMovementFinished, result::kAborted)});
    EXPECT_FALSE(model.moving(2));
    EXPECT_EQ(exchange(wire(vxctl::moveFrame(0, 3, 1))),
              std::vector<Seen>{event(3, kMovementFinished, result::kInvalidChannelIndex)});
}

TEST_F(Gen2Run, AGroupRunsOnItsCloseOrItsTriggerAndReportsIt) {
    for (const uint8_t mode : {0, 1}) {
        const uint8_t group = 7;
        // The read of request 8 is not in the group: it runs at once.
        const Bytes all = wire(vxctl::openCommandGroupFrame(group, mode)) +
                          wire(vxctl::readPropertyFrame(9, group, 0, kChannelCountKey)) +
                          wire(vxctl::moveFrame(group, 0, 40 + mode)) +
                          wire(vxctl::readPropertyFrame(8, 0, 0, kChannelCountKey)) +
                          wire(vxctl::closeCommandGroupFrame(group));

        const std::vector<Seen> ran{value(9, 3), event(0, kGroupTriggered, uint32_t{group} << 24)};
        std::vector<Seen> expected{value(8, 3)};
        if (mode == 0) expected.insert(expected.end(), ran.begin(), ran.end());
        EXPECT_EQ(exchange(all), expected) << int{mode};
        if (mode != 0) {
            EXPECT_EQ(endpoint.groupsWaiting(), 1u);
            EXPECT_FALSE(model.moving(0));
            link.clear();
            ASSERT_TRUE(endpoint.triggerGroup(group));
            EXPECT_EQ(seen(link.all()), ran);
        }
        EXPECT_FALSE(endpoint.triggerGroup(group)) << "run once";
        EXPECT_EQ(endpoint.groupsWaiting(), 0u);
        EXPECT_TRUE(model.moving(0));
        const Seen finished = event(0, kMovementFinished, result::kOk);
        EXPECT_TRUE(vxtest::waitUntil([&] { return seen(link.all()).back() == finished; }, 5000ms));
        EXPECT_EQ(model.position(0), 40 + mode);
    }
}

TEST_F(Gen2Run, ADisconnectInAGroupDropsTheLinkWhereTheGroupRuns) {
    const vxsim::Gen2Match moves{gen2::kCommandStart, gen2::command::kMove};
    for (const uint8_t mode : {0, 1}) {
        CaptureLink own;
        endpoint.onConnect(own);
        endpoint.addFault(vxsim::Gen2Fault::disconnect(moves, 1));
        const uint8_t group = 5;
        const Bytes all = wire(vxctl::openCommandGroupFrame(group, mode)) +
                          wire(vxctl::readPropertyFrame(9, group, 0, kChannelCountKey)) +
                          wire(vxctl::moveFrame(group, 0, 10)) +
                          wire(vxctl::readPropertyFrame(10, group, 0, kChannelCountKey)) +
                          wire(vxctl::closeCommandGroupFrame(group));
        endpoint.onReceive(own, all.data(), all.size());
        if (mode != 0) {
            EXPECT_FALSE(own.closed()) << "nothing ran yet";
            ASSERT_TRUE(endpoint.triggerGroup(group));
        }
        // What ran before the faulting request still went out; nothing after it.
        EXPECT_EQ(seen(own.all()), std::vector<Seen>{value(9, 3)}) << int{mode};
        EXPECT_TRUE(own.closed()) << int{mode};
        endpoint.onDisconnect(own);
    }
}

TEST_F(Gen2Run, ACancelledGroupEndsWithAnAbortAndRunsNothing) {
    const uint8_t group = 4;
    exchange(wire(vxctl::openCommandGroupFrame(group, 2)) + wire(vxctl::moveFrame(group, 0, 99)) +
             wire(vxctl::closeCommandGroupFrame(group)));
    EXPECT_EQ(exchange(wire(vxctl::cancelCommandGroupFrame(group))),
              std::vector<Seen>{event(0, kGroupTriggered, uint32_t{group} << 24 | result::kAborted)});
    EXPECT_FALSE(endpoint.triggerGroup(group));
    EXPECT_EQ(model.position(0), 0);
}

TEST_F(Gen2Run, TheStreamBuffersItsCapacityAndEndsWhenItRunsDry) {
    const std::vector<Seen> opened = exchange(wire(vxctl::openStreamFrame(5, 0)));
    ASSERT_EQ(opened.size(), 1u);
    const uint8_t handle = static_cast<uint8_t>(opened[0].value);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(exchange(wire(vxctl::openStreamFrame(6, 0))), std::vector<Seen>{completion(6, result::kHandleLimitReached)});

    EXPECT_TRUE(exchange(streamFrame(handle, 3)).empty());
    EXPECT_TRUE(exchange(streamFrame(handle + 1, 1)).empty()) << "another stream's frame is lost";
    EXPECT_EQ(model.streamBuffered(), 3u);
    link.clear();
    endpoint.playStream(2);
    EXPECT_EQ(seen(link.all()), std::vector<Seen>{status(2, 4)});
    EXPECT_TRUE(exchange(streamFrame(handle, 3)).empty());
    link.clear();
    endpoint.playStream(5);
    const uint32_t end = uint32_t{handle} << 24;
    EXPECT_EQ(seen(link.all()), (std::vector<Seen>{status(6, 4), event(0, kStreamFinished, end | result::kInsufficientFrames)}));
    // Ended with an error: kept until closed.
    EXPECT_EQ(model.streamHandle(), handle);
    EXPECT_EQ(exchange(wire(vxctl::closeStreamFrame(7, handle))), std::vector<Seen>{completion(7, result::kOk)});
    EXPECT_EQ(model.streamHandle(), 0);
}

TEST_F(Gen2Run, TheStreamEndsOnCloseAbortOrOverflow) {
    auto open = [&] {
        const std::vector<Seen> opened = exchange(wire(vxctl::openStreamFrame(1, 0)));
        return static_cast<uint8_t>(opened.at(0).value);
    };
    // A close plays out what is buffered first.
    uint8_t handle = open();
    exchange(streamFrame(handle, 2));
    EXPECT_EQ(exchange(wire(vxctl::closeStreamFrame(2, handle))), std::vector<Seen>{completion(2, result::kOk)});
    link.clear();
    endpoint.playStream(1);
    EXPECT_EQ(seen(link.all()), std::vector<Seen>{status(1, 4)});
    link.clear();
    endpoint.playStream(1);
    EXPECT_EQ(seen(link.all()), (std::vector<Seen>{status(2, 4), event(0, kStreamFinished, uint32_t{handle} << 24)}));

    handle = open();
    EXPECT_EQ(exchange(wire(vxctl::closeStreamFrame(2, handle))),
              (std::vector<Seen>{completion(2, result::kOk), event(0, kStreamFinished, uint32_t{handle} << 24)}));

    handle = open();
    EXPECT_EQ(exchange(wire(vxctl::abortStreamFrame(3, handle + 1))), std::vector<Seen>{completion(3, result::kInvalidStreamHandle)});
    EXPECT_EQ(exchange(wire(vxctl::abortStreamFrame(3, handle))),
              (std::vector<Seen>{completion(3, result::kOk), event(0, kStreamFinished, uint32_t{handle} << 24 | result::kAborted)}));

    handle = open();
    EXPECT_EQ(exchange(streamFrame(handle, 5)),
              std::vector<Seen>{event(0, kStreamFinished, uint32_t{handle} << 24 | result::kBufferOverflow)});
}

TEST_F(Gen2Run, AResetStopsEverythingAndReportsNothingOfIt) {
    model.setMotionTimes({10s, 10s, 10s});
    exchange(wire(vxctl::moveFrame(0, 1, 1000)) + wire(vxctl::openCommandGroupFrame(2, 1)) +
             wire(vxctl::moveFrame(2, 0, 5)) + wire(vxctl::closeCommandGroupFrame(2)) + wire(vxctl::openStreamFrame(1, 0)));
    EXPECT_TRUE(model.moving(1));
    EXPECT_EQ(endpoint.groupsWaiting(), 1u);
    EXPECT_NE(model.streamHandle(), 0);

    const std::vector<Seen> replies = exchange(wire(vxctl::deviceResetFrame()));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, gen2::sysframe::kReady);
    EXPECT_FALSE(model.moving(1));
    EXPECT_EQ(model.nextFinish(), std::nullopt);
    EXPECT_EQ(endpoint.groupsWaiting(), 0u);
    EXPECT_EQ(model.streamHandle(), 0);
}

}  // namespace
