#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "systems/gen1/Packet.h"
#include "systems/gen1/RingBuffer.h"

using qmx::RawPacket;

namespace {

RawPacket raw(uint16_t address, uint8_t opcode, std::vector<uint8_t> payload) {
    RawPacket packet;
    packet.bytes[0] = static_cast<uint8_t>(address);
    packet.bytes[1] = static_cast<uint8_t>(address >> 8);
    packet.bytes[2] = opcode;
    for (size_t i = 0; i < payload.size(); ++i) packet.bytes[3 + i] = payload[i];
    return packet;
}

struct DecodeCase {
    uint16_t address;
    uint8_t opcode;
    std::vector<uint8_t> payload;
    VX_packet expected;  // channelIndex is filled by the test
};

// 0xFFFE as a signed 16-bit value is -2; 0xFFFFFFFE is -2 as 32 bits.
const std::vector<DecodeCase> kDecodeCases = {
    {0x2101, 0xF1, {129}, {1, 0, 129, 0, 0, 0}},
    {0x2101, 0xA4, {0xFE, 0xFF, 0xFF, 0xFF}, {2, 0, 0, -2, 0, 0}},
    {0x2101, 0xE0, {}, {3, 0, 0, 0, 0, 0}},
    {0x2101, 0x81, {7}, {4, 0, 7, 0, 0, 0}},
    {0x2101, 0x76, {0x00, 0xE1, 0xF5, 0x05, 0xFE, 0xFF}, {5, 0, 100000000, -2, 0, 0}},
    {0x2101, 0x92, {0x34, 0x12}, {6, 0, 0x1234, 0, 0, 0}},
    {0x2101, 0x72, {0xAA, 9}, {7, 0, 9, 0, 0, 0}},
    {0x2101, 0xA1, {2}, {8, 0, 2, 0, 0, 0}},
    {0x9101, 0x1A, {0xAA, 3, 0xFE, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0}, {9, 0, 3, -2, 5, 0}},
    {0x9101, 0x92, {0xFF, 0xFF}, {10, 0, 0xFFFF, 0, 0, 0}},
    {0x9101, 0x19, {0xAA, 0xFE, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}, {11, 0, 0, -2, 0, 0}},
    {0x2101, 0x65, {0xAA, 0x40, 0x42, 0x0F, 0x00}, {12, 0, 1000000, 0, 0, 0}},
    {0x2101, 0x71, {1}, {13, 0, 1, 0, 0, 0}},
    {0x2101, 0x29, {0xAA, 0x9C, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0}, {14, 0, 0, -100, 100, 0}},
    {0x2101,
     0x1D,
     {0xAA, 1, 0, 0, 0, 0xFE, 0xFF, 2, 0, 0, 0, 3, 0},
     {15, 0, 1, -2, 3, 2}},
    {0x2101, 0xB2, {0xAA, 1}, {16, 0, 1, 0, 0, 0}},
    {0x2101, 0x16, {0xAA, 0xFE, 0xFF, 0xFF, 0xFF, 1}, {17, 0, 1, -2, 0, 0}},
    {0x2101, 0x75, {0xAA, 0x10, 0x27, 0, 0}, {18, 0, 10000, 0, 0, 0}},
    {0x2101, 0x39, {0xAA, 0x2F, 0x00, 0x16, 0x08, 0xFE, 0xFF, 0xFF, 0xFF}, {19, 0, 0x0816002F, -2, 0, 0}},
    {0x2101,
     0x1B,
     {4, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x80},
     {20, 0, 4, -2, -32768, 1}},
    {0x2101, 0xD0, {}, {21, 0, 0, 0, 0, 0}},
    {0x2101, 0x45, {3, 0xFE, 0xFF, 0xFF, 0xFF}, {250, 0, 3, -2, 0, 0}},
    {0x2101, 0x55, {4, 7, 0, 0, 0}, {251, 0, 4, 7, 0, 0}},
    {0x2101, 0xD5, {2, 0x44, 0x48, 0, 0}, {251, 0, 2, 18500, 0, 0}},
    {0x2101, 0xF0, {}, {255, 0, 0, 0, 0, 0}},
    {0x0008, 0x20, {}, {255, 0, 0, 0, 0, 0}},
};

}  // namespace

TEST(PacketCodec, LengthFollowsTheOpcodesLowNibble) {
    EXPECT_EQ(qmx::packetLength(0xE0), 3u);
    EXPECT_EQ(qmx::packetLength(0x1D), 16u);
    EXPECT_EQ(qmx::packetLength(0x7F), 18u);
}

TEST(PacketCodec, DecodesEveryAnswerKind) {
    uint32_t channel = 0;
    for (const DecodeCase& c : kDecodeCases) {
        SCOPED_TRACE(testing::Message() << "opcode 0x" << std::hex << int(c.opcode));
        VX_packet out{};
        ASSERT_EQ(qmx::decodeAnswer(raw(c.address, c.opcode, c.payload), ++channel, &out), 0u);
        VX_packet expected = c.expected;
        expected.channelIndex = channel;
        EXPECT_EQ(out.packetType, expected.packetType);
        EXPECT_EQ(out.channelIndex, expected.channelIndex);
        EXPECT_EQ(out.data1, expected.data1);
        EXPECT_EQ(out.data2, expected.data2);
        EXPECT_EQ(out.data3, expected.data3);
        EXPECT_EQ(out.data4, expected.data4);
        // The synchronous getters read the same fields.
        const VX_packet fields = qmx::answerFields(raw(c.address, c.opcode, c.payload));
        EXPECT_EQ(fields.data1, expected.data1);
        EXPECT_EQ(fields.data2, expected.data2);
        EXPECT_EQ(fields.data3, expected.data3);
        EXPECT_EQ(fields.data4, expected.data4);
    }
}

TEST(PacketCodec, ErrorCodeIsTheCodeOfAnErrorAnswerOnly) {
    EXPECT_EQ(raw(0x2101, 0xF1, {143}).errorCode(), 143u);
    EXPECT_EQ(raw(0x2101, 0xF1, {0}).errorCode(), 0u) << "an error answer without a code";
    EXPECT_EQ(raw(0x2101, 0x81, {143}).errorCode(), 0u) << "not an error answer";
}

TEST(PacketCodec, AnalogValueNeedsAPositionerOrEndEffectorClass) {
    for (uint16_t address : {0x6101, 0xB101, 0x1101}) {
        VX_packet out{};
        out.packetType = 77;
        EXPECT_EQ(qmx::decodeAnswer(raw(address, 0x92, {1, 0}), 0, &out), 12u) << address;
        EXPECT_EQ(out.packetType, 77u) << "nothing written";
    }
}

TEST(PacketCodec, OutPacketIsCompleteOnlyAtTheOpcodesLength) {
    qmx::OutPacket packet(0x2101, 0x86);
    packet.u16(0xFFFF).u16(4095);
    EXPECT_FALSE(packet.complete());
    packet.u16(20000);
    ASSERT_TRUE(packet.complete());
    const std::vector<uint8_t> expected{0x01, 0x21, 0x86, 0xFF, 0xFF, 0xFF, 0x0F, 0x20, 0x4E};
    EXPECT_EQ(std::vector<uint8_t>(packet.data(), packet.data() + packet.length()), expected);
}

TEST(PacketAssembler, ReassemblesAcrossAnySplit) {
    const std::vector<uint8_t> stream{0x01, 0x21, 0xE0,                    // no payload
                                      0x01, 0x21, 0xA4, 1, 2, 3, 4,        // position
                                      0x08, 0x00, 0x11, 3};                // channel count
    for (size_t cut = 1; cut <= stream.size(); ++cut) {
        qmx::PacketAssembler assembler;
        std::vector<RawPacket> packets;
        for (size_t at = 0; at < stream.size(); at += cut)
            assembler.feed(stream.data() + at, std::min(cut, stream.size() - at),
                           [&](const RawPacket& p) { packets.push_back(p); });
        ASSERT_EQ(packets.size(), 3u) << "cut " << cut;
        EXPECT_EQ(packets[0].opcode(), 0xE0);
        EXPECT_EQ(packets[1].i32(0), 0x04030201);
        EXPECT_EQ(packets[1].bytes[6], 4);
        EXPECT_EQ(packets[1].bytes[7], 0) << "nothing behind a packet";
        EXPECT_EQ(packets[2].address(), 0x0008);
        EXPECT_EQ(assembler.pending(), 0u);
    }
}

TEST(RingBuffer, KeepsOrderAcrossWrapAndRefusesFrontWhenEmpty) {
    qmx::ring_buffer<int> ring(3);
    EXPECT_EQ(ring.capacity(), 3u);
    try {
        ring.front();
        FAIL() << "front of an empty ring";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "called ring_buffer::front() on empty object");
    }
    ring.pop();  // no effect
    for (int round = 0; round < 4; ++round) {
        ring.push(round * 10);
        ring.push(round * 10 + 1);
        EXPECT_EQ(ring.front(), round * 10);
        ring.pop();
        EXPECT_EQ(ring.front(), round * 10 + 1);
        ring.pop();
        EXPECT_TRUE(ring.empty());
    }
    ring.push(1);
    ring.push(2);
    ring.push(3);
    EXPECT_TRUE(ring.full());
    ring.push(4);  // the oldest gives way
    EXPECT_EQ(ring.size(), 3u);
    EXPECT_EQ(ring.front(), 2);
}
