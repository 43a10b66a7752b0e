#include <gtest/gtest.h>

#include <functional>
#include <mutex>

#include "VeltraxControlPrivate"
#include "sim/CaptureLink.h"
#include "sim/Gen2Endpoint.h"

using namespace std::chrono_literals;
using vxsim::Bytes;
using vxsim::Gen2Fault;
using vxsim::Gen2Model;
using vxsim::Gen2Endpoint;
using vxsim::Gen2Request;
using vxsim::PropertyValue;
namespace gen2 = vxsim::gen2;

namespace {

using simtest::CaptureLink;

// The library's own request frames: the client of these tests.
Bytes wire(vxctl::Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return Bytes(packet.data(), packet.data() + packet.size());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A reply taken apart: start byte, type and the payload with its padding.
struct Reply {
    uint8_t start;
    uint8_t type;
    Bytes body;
};

std::vector<Reply> replies(const Bytes& bytes, std::vector<gen2::Rejected>* rejected = nullptr) {
    gen2::FrameParser parser;
    std::vector<Reply> result;
    for (auto& item : parser.feed(bytes.data(), bytes.size())) {
        if (item.frame) result.push_back({item.frame->start, item.frame->type, item.frame->body});
        if (item.rejected && rejected) rejected->push_back(*item.rejected);
    }
    return result;
}

Bytes fields(const std::function<void(gen2::Fields&)>& fill) {
    gen2::Fields f;
    fill(f);
    return f.bytes();
}

class Gen2EndpointTest : public ::testing::Test {
protected:
    Gen2EndpointTest() : endpoint(model) {
        model.define({0, 0x100}, int32_t{-7});
        model.define({1, 0x101}, int64_t{0x0123456789});
        model.define({0, 0x102}, std::string("QMX2"));
        model.define({2, 0x103}, std::vector<int32_t>{1, 2, 3});
        model.define({0, 0x104}, std::vector<int64_t>{-1});
        model.define({0, 0x105}, int32_t{5}, true);
        endpoint.onConnect(link);
    }
    ~Gen2EndpointTest() override { endpoint.onDisconnect(link); }

    void send(const Bytes& bytes) { endpoint.onReceive(link, bytes.data(), bytes.size()); }
    // Sends and gives every reply that came at once.
    std::vector<Reply> exchange(const Bytes& bytes) {
        link.clear();
        send(bytes);
        return replies(link.all());
    }
    void expectNothingRejected() {
        for (const auto& r : endpoint.rejected()) ADD_FAILURE() << "rejected: " << r.reason;
    }

    Gen2Model model;
    Gen2Endpoint endpoint;
    CaptureLink link;
};

TEST(Gen2Codec, FramesAsTheLibraryDoes) {
    const Bytes read{0xA0, 0x0D, 0x00, 0x01, 0x01, 0x00, 0x00, 0x16, 0x00, 0x0F, 0x02, 0x00, 0x30, 0x6C, 0xAC, 0xC5};
    EXPECT_EQ(gen2::encodeFrame(0xA0, 0x01, {1, 0, 0, 0x16, 0x00, 0x0F, 0x02}), read);
    EXPECT_EQ(gen2::encodeFrame(0xA4, 0x00, fields([](auto& f) { f.u32(gen2::kHandshakeMagic).u16(1).u16(1).u32(1); })),
              wire(vxctl::handshakeFrame(true)));
    EXPECT_EQ(gen2::encodeFrame(0xA0, 0x13, fields([](auto& f) { f.u8(1).u8(2).u64(uint64_t(-9)); })),
              wire(vxctl::moveFrame(1, 2, -9)));
}

struct Accepted {
    const char* name;
    Bytes frame;
    uint8_t type;
    std::optional<PropertyValue> value;
};

const int32_t kThree[] = {4, 5, 6};
const int64_t kTwo[] = {-4, 1LL << 40};
const uint8_t kStream[] = {9, 8, 7, 0, 0};

TEST_F(Gen2EndpointTest, AcceptsEveryRequestTheLibraryBuilds) {
    const Accepted cases[] = {
        {"read", wire(vxctl::readPropertyFrame(0, 0, 0, 0x100)), 0x01, std::nullopt},
        {"write i32", wire(vxctl::writePropertyFrame(0, 0, 9, 1, int32_t{-3})), 0x02, PropertyValue{int32_t{-3}}},
        {"write i64", wire(vxctl::writePropertyFrame(0, 0, 9, 1, int64_t{1} << 40)), 0x02, PropertyValue{int64_t{1} << 40}},
        {"write text", wire(vxctl::writePropertyFrame(0, 0, 9, 1, std::string_view("abc"))), 0x02,
         PropertyValue{std::string("abc")}},
        {"write empty text", wire(vxctl::writePropertyFrame(0, 0, 9, 1, std::string_view())), 0x02,
         PropertyValue{std::string()}},
        {"array i32", wire(vxctl::writePropertyArrayFrame(0, 0, 9, 1, kThree, 3)), 0x03,
         PropertyValue{std::vector<int32_t>{4, 5, 6}}},
        {"array i64", wire(vxctl::writePropertyArrayFrame(0, 0, 9, 1, kTwo, 2)), 0x03,
         PropertyValue{std::vector<int64_t>{-4, 1LL << 40}}},
        {"stop", wire(vxctl::channelCommandFrame(vxctl::CommandType::Stop, 0, 1)), 0x10, std::nullopt},
        {"calibrate", wire(vxctl::channelCommandFrame(vxctl::CommandType::Calibrate, 0, 1)), 0x11, std::nullopt},
        {"reference", wire(vxctl::channelCommandFrame(vxctl::CommandType::Reference, 0, 1)), 0x12, std::nullopt},
        {"move", wire(vxctl::moveFrame(0, 1, -100)), 0x13, PropertyValue{int64_t{-100}}},
        {"open group", wire(vxctl::openCommandGroupFrame(3, 1)), 0x20, std::nullopt},
        {"close group", wire(vxctl::closeCommandGroupFrame(3)), 0x21, std::nullopt},
        {"cancel group", wire(vxctl::cancelCommandGroupFrame(3)), 0x22, std::nullopt},
        {"version", wire(vxctl::versionRequestFrame()), 0x30, std::nullopt},
        {"open stream", wire(vxctl::openStreamFrame(4, 0)), 0x72, std::nullopt},
        {"stream frame", wire(vxctl::streamDataFrame(1, kStream, sizeof kStream)), 0x73, std::nullopt},
        {"close stream", wire(vxctl::closeStreamFrame(4, 1)), 0x74, std::nullopt},
        {"abort stream", wire(vxctl::abortStreamFrame(4, 1)), 0x75, std::nullopt},
        {"handshake", wire(vxctl::handshakeFrame(true)), 0x00, std::nullopt},
        {"probe handshake", wire(vxctl::probeHandshakeFrame()), 0x00, std::nullopt},
        {"info request", wire(vxctl::infoRequestFrame()), 0x05, std::nullopt},
        {"reset", wire(vxctl::deviceResetFrame()), 0x09, std::nullopt},
    };
    for (const Accepted& c : cases) {
        endpoint.clearRequests();
        send(c.frame);
        expectNothingRejected();
        const auto requests = endpoint.requests();
        ASSERT_EQ(requests.size(), 1u) << c.name;
        EXPECT_EQ(requests[0].type, c.type) << c.name;
        EXPECT_EQ(requests[0].value, c.value) << c.name;
        EXPECT_EQ(requests[0].bytes, c.frame) << c.name;
    }
}

TEST_F(Gen2EndpointTest, RecordsEveryMalformedFrameAndResumesAtTheNextStartByte) {
    const Bytes good = wire(vxctl::versionRequestFrame());
    auto body = [](uint8_t start, uint8_t type, const Bytes& payload) { return gen2::encodeFrame(start, type, payload); };
    Bytes badCrc = good;
    badCrc.back() ^= 0x80;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"garbage", {0x55, 0x00, 0x13}, "no start byte"},
        {"zero length", {0xA0, 0x00, 0x00}, "impossible length 0"},
        {"unaligned length", {0xA0, 0x06, 0x00}, "impossible length 6"},
        {"bad CRC", badCrc, "bad CRC"},
        {"padding not zero", body(0xA0, 0x10, {0, 1, 1}), "payload of the wrong size or padding"},
        {"short read", body(0xA0, 0x01, {1, 0, 0}), "payload of the wrong size or padding"},
        {"read with an extra byte", body(0xA0, 0x01, {1, 0, 0, 1, 0, 0, 0, 5}), "payload of the wrong size or padding"},
        {"text without zero", body(0xA0, 0x02, {1, 0, 0, 1, 0, 0, 0, 0x12, 'a', 'b', 'c', 'd'}), "payload of the wrong size or padding"},
        {"write of type 7", body(0xA0, 0x02, {1, 0, 0, 1, 0, 0, 0, 0x07, 1, 0, 0, 0}), "write of an unknown data type"},
        {"array of text", body(0xA0, 0x03, {1, 0, 0, 1, 0, 0, 0, 0x12, 0, 0}), "array of an unknown data type"},
        {"array short of its count", body(0xA0, 0x03, {1, 0, 0, 1, 0, 0, 0, 0x06, 2, 0, 1, 0, 0, 0}),
         "payload of the wrong size or padding"},
        {"unknown command", body(0xA0, 0x40, {}), "unknown command type"},
        {"a reply type", body(0xA0, 0x81, {1, 0, 0}), "unknown command type"},
        {"unknown system type", body(0xA4, 0x01, {}), "unknown system type"},
        {"handshake magic", body(0xA4, 0x00, {0x74, 0x4C, 0x65, 0x57, 1, 0, 1, 0, 1, 0, 0, 0}),
         "handshake with a wrong magic"},
        {"handshake without CRC", body(0xA4, 0x00, {0x74, 0x4C, 0x65, 0x56, 1, 0, 1, 0, 0, 0, 0, 0}),
         "handshake without the CRC on"},
        {"empty stream frame", body(0xA0, 0x73, {}), "stream frame without stream bytes"},
    };
    for (const Case& c : cases) {
        endpoint.clearRequests();
        const auto answered = exchange(c.bytes + good);
        const auto rejected = endpoint.rejected();
        ASSERT_EQ(rejected.size(), 1u) << c.name;
        EXPECT_EQ(rejected[0].reason, c.reason) << c.name;
        EXPECT_EQ(rejected[0].bytes, Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<ptrdiff_t>(rejected[0].bytes.size())))
            << c.name;
        ASSERT_EQ(answered.size(), 1u) << c.name << ": the frame after it is served";
        EXPECT_EQ(answered[0].type, gen2::command::kVersionReply) << c.name;
    }
}

TEST_F(Gen2EndpointTest, PropertiesAreReadAndWrittenWithTheControllersResultCodes) {
    struct Case {
        const char* name;
        Bytes request;
        uint8_t replyType;
        Bytes replyBody;  // padding included
    };
    const Case cases[] = {
        {"i32", wire(vxctl::readPropertyFrame(1, 0, 0, 0x100)), 0x82, {1, 0x06, 0xF9, 0xFF, 0xFF, 0xFF, 0, 0}},
        {"i64", wire(vxctl::readPropertyFrame(2, 0, 1, 0x101)), 0x82, {2, 0x0E, 0x89, 0x67, 0x45, 0x23, 0x01, 0, 0, 0, 0, 0}},
        {"text", wire(vxctl::readPropertyFrame(3, 0, 0, 0x102)), 0x82, {3, 0x12, 'Q', 'M', 'X', '2', 0, 0}},
        {"i32 array", wire(vxctl::readPropertyFrame(4, 0, 2, 0x103)), 0x83,
         {4, 0x06, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}},
        {"i64 array", wire(vxctl::readPropertyFrame(5, 0, 0, 0x104)), 0x83,
         {5, 0x0E, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"unknown key", wire(vxctl::readPropertyFrame(6, 0, 1, 0x100)), 0x81, {6, 0x12, 0, 0}},
        {"write", wire(vxctl::writePropertyFrame(7, 0, 0, 0x100, int32_t{42})), 0x81, {7, 0, 0, 0}},
        {"write read-only", wire(vxctl::writePropertyFrame(8, 0, 0, 0x105, int32_t{1})), 0x81, {8, 0x23, 0, 0}},
        {"write of another type", wire(vxctl::writePropertyFrame(9, 0, 0, 0x100, int64_t{1})), 0x81, {9, 0x16, 0, 0}},
        {"write unknown key", wire(vxctl::writePropertyFrame(10, 0, 0, 0x999, int32_t{1})), 0x81, {10, 0x12, 0, 0}},
        {"array write", wire(vxctl::writePropertyArrayFrame(11, 0, 2, 0x103, kThree, 3)), 0x81, {11, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const auto answered = exchange(c.request);
        ASSERT_EQ(answered.size(), 1u) << c.name;
        EXPECT_EQ(answered[0].start, gen2::kCommandStart) << c.name;
        EXPECT_EQ(answered[0].type, c.replyType) << c.name;
        EXPECT_EQ(answered[0].body, c.replyBody) << c.name;
    }
    expectNothingRejected();
    EXPECT_EQ(model.value({0, 0x100}), PropertyValue{int32_t{42}});
    EXPECT_EQ(model.value({2, 0x103}), (PropertyValue{std::vector<int32_t>{4, 5, 6}}));
    EXPECT_EQ(model.value({0, 0x105}), PropertyValue{int32_t{5}});

    // Request ID 0 awaits no reply; the write still happens.
    EXPECT_TRUE(exchange(wire(vxctl::writePropertyFrame(0, 0, 0, 0x100, int32_t{43}))).empty());
    EXPECT_TRUE(exchange(wire(vxctl::readPropertyFrame(0, 0, 0, 0x100))).empty());
    EXPECT_EQ(model.value({0, 0x100}), PropertyValue{int32_t{43}});
}

TEST_F(Gen2EndpointTest, VersionHandshakeAndResetAnswerAsConfigured) {
    const Bytes version = wire(vxctl::versionRequestFrame());
    const Bytes handshake = wire(vxctl::handshakeFrame(true));
    const Bytes reset = wire(vxctl::deviceResetFrame());
    auto only = [](const std::vector<Reply>& r) {
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? Reply{} : r[0];
    };

    EXPECT_EQ(only(exchange(version)).body, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    endpoint.setVersionWords({0, 0, 0, 2});
    EXPECT_EQ(only(exchange(version)).body[12], 2);

    const Reply accepted = only(exchange(handshake));
    EXPECT_EQ(accepted.start, gen2::kSystemStart);
    EXPECT_EQ(accepted.type, gen2::sysframe::kHandshakeReply);
    EXPECT_EQ(accepted.body, Bytes({0x74, 0x4C, 0x65, 0x56, 0, 0, 0, 0}));
    EXPECT_EQ(link.all().size(), 16u) << "length 13";
    endpoint.setHandshakeReply({0x11223344, 5, true});
    EXPECT_EQ(only(exchange(handshake)).body, Bytes({0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0, 0, 0, 0, 0}));

    model.define({0, 1}, int32_t{1});
    model.write({0, 1}, int32_t{2});
    EXPECT_EQ(only(exchange(reset)).type, gen2::sysframe::kReady);
    EXPECT_EQ(link.all().size(), 8u) << "length 5";
    EXPECT_EQ(model.value({0, 1}), PropertyValue{int32_t{1}}) << "a reset restores the defined values";
    endpoint.setReadyStatus(uint16_t{3});
    const Reply withStatus = only(exchange(reset));
    EXPECT_EQ(withStatus.type, gen2::sysframe::kReadyWithStatus);
    EXPECT_EQ(withStatus.body, Bytes({3, 0, 0, 0}));

    endpoint.setReadyStatus(std::nullopt);
    endpoint.setZeroBeforeReady(true);
    link.clear();
    send(reset);
    const Bytes zeroFirst = link.all();
    ASSERT_EQ(zeroFirst.size(), 9u);
    EXPECT_EQ(zeroFirst[0], 0);
    EXPECT_EQ(Bytes(zeroFirst.begin() + 1, zeroFirst.end()), gen2::encodeFrame(0xA4, 0xF1, {}));
    expectNothingRejected();
}

TEST_F(Gen2EndpointTest, UnrequestedFramesGoToEveryConnection) {
    CaptureLink second;
    endpoint.onConnect(second);
    endpoint.injectEvent(2, 0x0001, -5);
    endpoint.sendUnsolicitedReady();
    for (CaptureLink* l : {&link, &second}) {
        const auto got = replies(l->all());
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].type, gen2::command::kEvent);
        EXPECT_EQ(got[0].body, Bytes({2, 1, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0}));
        EXPECT_EQ(got[1].type, gen2::sysframe::kReady);
    }
    endpoint.onDisconnect(second);
}

TEST_F(Gen2EndpointTest, FaultsApplyToMatchingRequestsAsOftenAsAsked) {
    const Bytes read = wire(vxctl::readPropertyFrame(1, 0, 0, 0x100));
    const Bytes version = wire(vxctl::versionRequestFrame());
    const vxsim::Gen2Match reads{0xA0, 0x01};

    endpoint.addFault(Gen2Fault::drop(reads, 1));
    EXPECT_TRUE(exchange(read).empty());
    EXPECT_EQ(exchange(read).size(), 1u) << "once only";
    EXPECT_EQ(exchange(version).size(), 1u) << "other types untouched";
    endpoint.clearFaults();

    endpoint.addFault(Gen2Fault::duplicate(reads, 1));
    EXPECT_EQ(exchange(read).size(), 2u);

    endpoint.addFault(Gen2Fault::corrupt(reads, 1));
    link.clear();
    send(read);
    std::vector<gen2::Rejected> damaged;
    EXPECT_TRUE(replies(link.all(), &damaged).empty());
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_EQ(damaged[0].reason, "bad CRC");

    endpoint.addFault(Gen2Fault::shorten(reads, 0, 1));
    link.clear();
    send(read);
    EXPECT_EQ(link.all(), gen2::encodeFrame(0xA0, 0x82, {})) << "type byte and CRC only";

    endpoint.addFault(Gen2Fault::late(reads, 100ms, 1));
    link.clear();
    const auto sent = std::chrono::steady_clock::now();
    send(read);
    EXPECT_TRUE(link.writes().empty());
    ASSERT_TRUE(endpoint.waitForLateReplies(1, 2s));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 100ms);
    EXPECT_EQ(replies(link.all()).size(), 1u);

    endpoint.addFault(Gen2Fault::disconnect(reads, 1));
    EXPECT_TRUE(exchange(read).empty());
    EXPECT_TRUE(link.closed());
    EXPECT_EQ(model.writes(), 0u);
    expectNothingRejected();
}

TEST_F(Gen2EndpointTest, WritesAreSplitOrMergedOnRequest) {
    const Bytes two = wire(vxctl::versionRequestFrame()) + wire(vxctl::readPropertyFrame(1, 0, 0, 0x100));
    link.clear();
    send(two);
    EXPECT_EQ(link.writes().size(), 2u);

    endpoint.setMergeReplies(true);
    link.clear();
    send(two);
    ASSERT_EQ(link.writes().size(), 1u);
    EXPECT_EQ(replies(link.writes()[0]).size(), 2u);

    endpoint.setMergeReplies(false);
    endpoint.setChunkSize(3);
    link.clear();
    send(two);
    for (const Bytes& write : link.writes()) EXPECT_LE(write.size(), 3u);
    EXPECT_EQ(replies(link.all()).size(), 2u);
}

TEST_F(Gen2EndpointTest, RefusedConnectionsAreDroppedAtOnce) {
    endpoint.setRefuseConnections(true);
    CaptureLink refused;
    endpoint.onConnect(refused);
    EXPECT_TRUE(refused.closed());
    EXPECT_EQ(endpoint.refusedConnections(), 1u);
    const Bytes version = wire(vxctl::versionRequestFrame());
    endpoint.onReceive(refused, version.data(), version.size());
    EXPECT_TRUE(refused.writes().empty());
    EXPECT_EQ(endpoint.connections(), 1u);
    endpoint.onDisconnect(refused);
}

}  // namespace
