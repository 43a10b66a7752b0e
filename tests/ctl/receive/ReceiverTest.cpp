#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "VeltraxControlPrivate"
#include "ctl/CtlLog.h"
#include "packet/FrameReceiver.h"
#include "platform/LogText.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Records = std::vector<std::string>;
using vxctl::CommandType;
using vxctl::Packet;
using vxctl::SystemType;

const vxctl::Crc32 kCrc;

// Every handler call as one line of text.
class Recorder : public vxctl::FrameHandlers {
public:
    void protocolError(VX_CTL_Result result) override { add("error " + std::to_string(result)); }
    void completion(uint8_t id, VX_CTL_Result result) override {
        add("completion " + std::to_string(id) + " " + std::to_string(result));
    }
    void valueReply(const vxctl::ValueReply& reply) override {
        add("value " + std::to_string(reply.requestId) + " type " + std::to_string(reply.dataType) + " count " +
            std::to_string(reply.count) + " [" + std::string(reply.values, reply.values + reply.size) + "]");
    }
    void event(uint8_t index, uint16_t type, int32_t parameter) override {
        add("event " + std::to_string(index) + " " + std::to_string(type) + " " + std::to_string(parameter));
    }
    void streamFlowStatus(uint32_t first, uint32_t second) override {
        add("flow " + std::to_string(first) + " " + std::to_string(second));
    }
    void versionReply(const std::array<uint32_t, 4>& w) override {
        add("version " + std::to_string(w[0]) + "." + std::to_string(w[1]) + "." + std::to_string(w[2]) + "." +
            std::to_string(w[3]));
    }
    void handshakeReply(uint16_t status) override { add("handshake " + std::to_string(status)); }
    void systemReady(const vxctl::SystemReady& ready) override {
        add(ready.lengthOk ? "ready " + std::to_string(ready.status) : std::string("ready of wrong length"));
    }

    Records records;

private:
    void add(std::string record) { records.push_back(std::move(record)); }
};

Bytes finish(Packet packet) {
    packet.finish(&kCrc);
    return Bytes(packet.data(), packet.data() + packet.size());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A frame with any header and body: start byte, the length that the body
// and the CRC give, the body, then the CRC. No padding unless given.
Bytes raw(uint8_t start, const Bytes& body) {
    EXPECT_EQ(body.size() % 4, 1u) << "a frame of whole words";
    const size_t length = body.size() + vxctl::kCrcBytes;
    Bytes frame = Bytes{start, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)} + body;
    const uint32_t crc = kCrc.compute(frame.data(), frame.size());
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return frame;
}

Bytes completion(uint8_t id, uint16_t result) {
    return finish(std::move(Packet(CommandType::Completion).u8(id).u16(result)));
}
Bytes event(uint8_t index, uint16_t type, int32_t parameter) {
    return finish(std::move(Packet(CommandType::Event).u8(index).u16(type).u32(static_cast<uint32_t>(parameter))));
}
Bytes ready() { return finish(Packet(SystemType::SystemReady)); }

Records receive(const std::vector<Bytes>& chunks, vxctl::FrameReceiver& receiver) {
    Recorder recorder;
    for (const Bytes& chunk : chunks) receiver.receive(chunk.data(), chunk.size(), recorder);
    return recorder.records;
}

Records receive(const Bytes& bytes) {
    vxctl::FrameReceiver receiver(&kCrc);
    return receive({bytes}, receiver);
}

TEST(Reassembly, ByteByByteAndAcrossEverySplitGivesTheSameFrames) {
    const Bytes stream = completion(7, 0) + event(2, 1, -5) +
                         finish(std::move(Packet(CommandType::PropertyValue).u8(9).u8(0x12).text("hello")));
    const Records expected{"completion 7 0", "event 2 1 -5", std::string("value 9 type 18 count 1 [hello") + '\0' + "]"};
    EXPECT_EQ(receive(stream), expected);

    vxctl::FrameReceiver byteByByte(&kCrc);
    std::vector<Bytes> bytes;
    for (uint8_t b : stream) bytes.push_back({b});
    EXPECT_EQ(receive(bytes, byteByByte), expected);

    for (size_t split = 0; split <= stream.size(); ++split) {
        vxctl::FrameReceiver receiver(&kCrc);
        const Bytes first(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(split));
        const Bytes second(stream.begin() + static_cast<ptrdiff_t>(split), stream.end());
        EXPECT_EQ(receive({first, second}, receiver), expected) << "split at " << split;
    }
}

TEST(Reassembly, TwoFramesAndAByteInOneChunkDispatchTwoAndKeepTheByte) {
    const Bytes third = completion(3, 0);
    vxctl::FrameReceiver receiver(&kCrc);
    EXPECT_EQ(receive({completion(1, 0) + completion(2, 0) + Bytes{third[0]}}, receiver),
              (Records{"completion 1 0", "completion 2 0"}));
    EXPECT_EQ(receive({Bytes(third.begin() + 1, third.end())}, receiver), Records{"completion 3 0"});
}

TEST(Reassembly, AfterAResetOneLeadingZeroByteIsDroppedOnce) {
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        Records expected;
    };
    const Case cases[] = {
        {"zero then ready", {Bytes{0} + ready()}, {"ready 0"}},
        {"zero alone, then ready", {{0}, ready()}, {"ready 0"}},
        {"nothing, zero, ready", {{}, Bytes{0} + ready()}, {"ready 0"}},
        {"no zero: nothing dropped", {ready()}, {"ready 0"}},
        // A second zero byte begins a header whose length cannot be.
        {"only once", {Bytes{0} + ready() + Bytes{0} + ready()}, {"ready 0", "error 16"}},
    };
    for (const Case& c : cases) {
        vxctl::FrameReceiver receiver(&kCrc);
        receiver.dropOneZeroByte();
        const Records got = receive(c.chunks, receiver);
        ASSERT_FALSE(got.empty()) << c.name;
        EXPECT_EQ(Records(got.begin(), got.begin() + static_cast<ptrdiff_t>(std::min(got.size(), c.expected.size()))),
                  c.expected)
            << c.name;
    }
}

TEST(Reassembly, ImpossibleLengthsAreRefusedAtOnceWithoutWaitingForTheirBytes) {
    // Below 5 (no room for a type byte and a CRC), above 253, or a frame
    // that is not whole 32-bit words.
    for (uint16_t length : {0, 1, 4, 6, 7, 8, 254, 257, 0xFFFF}) {
        const Bytes header{0xA0, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
        EXPECT_EQ(receive(header + completion(1, 0)), (Records{"error 16", "completion 1 0"})) << length;
    }
}

// Stray bytes in place of a reply must not cost the frames after them,
// however the chunks fall.
TEST(Reassembly, AfterAnImpossibleHeaderTheNextStartByteBeginsTheNextFrame) {
    struct Case {
        const char* name;
        Bytes stream;
        Records expected;
    };
    const Records recovered{"error 16", "completion 1 0"};
    const Case cases[] = {
        {"stray bytes after a length of 255", Bytes{0xA0, 0xFF, 0x00, 0x13, 0x37, 0x00, 0x5A} + completion(1, 0),
         recovered},
        {"unknown start byte", Bytes{0x55, 0x01, 0x02, 0x03, 0x04, 0x05} + completion(1, 0), recovered},
        {"a frame begins inside the refused header", Bytes{0x00} + completion(1, 0), recovered},
        {"each loss is reported once", Bytes{0xA0, 0xFF, 0x00, 0x01} + completion(1, 0) + Bytes{0x13} + completion(2, 0),
         {"error 16", "completion 1 0", "error 16", "completion 2 0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(receive(c.stream), c.expected) << c.name;
        vxctl::FrameReceiver byteByByte(&kCrc);
        std::vector<Bytes> bytes;
        for (uint8_t b : c.stream) bytes.push_back({b});
        EXPECT_EQ(receive(bytes, byteByByte), c.expected) << c.name << ", byte by byte";
    }
}

TEST(Reassembly, AFlippedBitDropsTheFrameWithInvalidPacket) {
    Bytes damaged = completion(1, 0);
    damaged[5] ^= 0x10;
    EXPECT_EQ(receive(damaged + completion(2, 0)), (Records{"error 16", "completion 2 0"}));
}

struct Decoding {
    const char* name;
    Bytes frame;
    Records expected;
};

const Decoding kDecoding[] = {
    {"completion", completion(239, 0x0150), {"completion 239 336"}},
    {"request id 0", completion(0, 0), {"error 16"}},
    {"request id 240", completion(240, 0), {"error 16"}},
    {"completion of type byte only", raw(0xA0, {0x81}), {"error 16"}},
    {"int32 value", finish(std::move(Packet(CommandType::PropertyValue).u8(4).u8(0x06).u32(0x34333231))),
     {"value 4 type 6 count 1 [1234]"}},
    {"int64 value", finish(std::move(Packet(CommandType::PropertyValue).u8(4).u8(0x0E).u64(0x3837363534333231))),
     {"value 4 type 14 count 1 [12345678]"}},
    {"value with id 0", finish(std::move(Packet(CommandType::PropertyValue).u8(0).u8(0x06).u32(1))), {"error 16"}},
    {"value of type byte only", raw(0xA0, {0x82}), {"error 16"}},
    {"unknown data type", finish(std::move(Packet(CommandType::PropertyValue).u8(4).u8(0x07).u32(1))),
     {"completion 4 16"}},
    {"int64 past the CRC", raw(0xA0, {0x82, 4, 0x0E, 1, 2, 3, 4, 5, 6}), {"completion 4 16"}},
    {"string without terminator", raw(0xA0, {0x82, 4, 0x12, 'a', 'b'}), {"completion 4 16"}},
    {"array of two int32", finish(std::move(Packet(CommandType::PropertyArray).u8(5).u8(0x10).u16(2).u32(0x64636261).u32(0x68676665))),
     {"value 5 type 16 count 2 [abcdefgh]"}},
    {"empty array", finish(std::move(Packet(CommandType::PropertyArray).u8(5).u8(0x06).u16(0))), {"value 5 type 6 count 0 []"}},
    {"array reaching past the CRC", finish(std::move(Packet(CommandType::PropertyArray).u8(5).u8(0x11).u16(2).u64(1))),
     {"completion 5 16"}},
    {"three strings", finish(std::move(Packet(CommandType::PropertyArray).u8(6).u8(0x12).u16(3).text("a").text("").text("bc"))),
     {std::string("value 6 type 18 count 3 [a") + '\0' + '\0' + "bc" + '\0' + "]"}},
    {"two of three strings", raw(0xA0, {0x83, 6, 0x12, 3, 0, 'a', 0, 'b', 0}), {"completion 6 16"}},
    {"array with id 240", finish(std::move(Packet(CommandType::PropertyArray).u8(240).u8(0x06).u16(0))), {"error 16"}},
    {"event", event(3, 0x8001, -70000), {"event 3 32769 -70000"}},
    {"short event", raw(0xA0, {0x88, 3, 1, 0, 0}), {"error 16"}},
    {"flow status", finish(std::move(Packet(CommandType::StreamFlowStatus).u32(10).u32(20))), {"flow 10 20"}},
    {"short flow status", raw(0xA0, {0x89, 1, 0, 0, 0}), {"error 16"}},
    {"version", finish(std::move(Packet(CommandType::VersionReply).u32(0).u32(0).u32(0).u32(1))), {"version 0.0.0.1"}},
    {"short version", raw(0xA0, {0x8A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), {"error 16"}},
    {"handshake reply", finish(std::move(Packet(SystemType::HandshakeReply).u32(vxctl::kHandshakeMagic).u16(3))),
     {"handshake 3"}},
    {"handshake reply, wrong magic", finish(std::move(Packet(SystemType::HandshakeReply).u32(0x56654C75).u16(0))),
     {"error 16"}},
    {"handshake reply, wrong length",
     finish(std::move(Packet(SystemType::HandshakeReply).u32(vxctl::kHandshakeMagic).u16(0).u32(0))), {"error 16"}},
    {"ready with status", finish(std::move(Packet(SystemType::SystemReadyWithStatus).u16(5))), {"ready 5"}},
    {"ready", ready(), {"ready 0"}},
    {"ready of length 9", finish(std::move(Packet(SystemType::SystemReady).u16(0))), {"ready of wrong length"}},
    {"ready with status of length 5", raw(0xA4, {0xF0}), {"ready of wrong length"}},
    // Dropped without a report.
    {"other start byte", raw(0xA1, {0x81, 1, 0, 0, 0}), {}},
    {"unknown command type", raw(0xA0, {0x84, 1, 0, 0, 0}), {}},
    {"reply type under the system start byte", raw(0xA4, {0x81, 1, 0, 0, 0}), {}},
    {"info reply", raw(0xA4, {0x85, 1, 1, 0, 0}), {}},
};

void PrintTo(const Decoding& decoding, std::ostream* out) { *out << decoding.name; }

class Decoder : public ::testing::TestWithParam<Decoding> {};

TEST_P(Decoder, FollowsTheLengthAndRequestIdRulesOfEachType) {
    EXPECT_EQ(receive(GetParam().frame), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, Decoder, ::testing::ValuesIn(kDecoding), [](const auto& info) {
    std::string name;
    for (char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

using ReceiverLog = ctltest::LogTest;

TEST_F(ReceiverLog, GoodFramesAreDumpedAtLevelFourBeforeTheyAreDispatched) {
    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 4)));
    Bytes damaged = completion(2, 0);
    damaged[4] ^= 1;
    receive(ready() + damaged);
    const auto dumps = ctltest::apiTexts(dir.file("VeltraxCTL.log"), 4);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(dumps[0], " IN packet: " + vxplatform::hexDump(ready().data(), ready().size()));
}

}  // namespace
