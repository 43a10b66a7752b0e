#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "VeltraxControlPrivate"
#include "ctl/CtlLog.h"

namespace {

using Bytes = std::vector<uint8_t>;
using vxctl::CommandType;
using vxctl::Packet;

// The ordinary byte-wise CRC-32, as a reference apart from the library's.
uint32_t referenceCrc(const Bytes& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

Bytes bytesOf(const Packet& packet) { return Bytes(packet.data(), packet.data() + packet.size()); }

Bytes finished(Packet packet) {
    static const vxctl::Crc32 crc;
    packet.finish(&crc);
    return bytesOf(packet);
}

TEST(Crc, TheReferenceIsZlibsAndTheSlicedOneAgreesWithIt) {
    const std::string check = "123456789";
    EXPECT_EQ(referenceCrc(Bytes(check.begin(), check.end())), 0xCBF43926u);

    const vxctl::Crc32 crc;
    std::mt19937 random(7);
    for (size_t words = 0; words <= 64; ++words) {
        Bytes data(words * 4);
        for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
        EXPECT_EQ(crc.compute(data.data(), data.size()), referenceCrc(data)) << words << " words";
    }
}

TEST(Frame, ReadRequestIsTheKnownSixteenBytes) {
    const Bytes expected{0xA0, 0x0D, 0x00, 0x01, 0x01, 0x00, 0x00, 0x16,
                         0x00, 0x0F, 0x02, 0x00, 0x30, 0x6C, 0xAC, 0xC5};
    EXPECT_EQ(finished(vxctl::readPropertyFrame(1, 0, 0, 0x020F0016)), expected);
}

struct Golden {
    const char* name;
    std::function<Packet()> build;
    Bytes beforeCrc;  // header with the final length, type, payload, padding
};

const int32_t kPair32[] = {1, -2};
const int64_t kOne64[] = {-1};
const uint8_t kStreamBytes[] = {1, 2, 3, 4};

const Golden kGolden[] = {
    {"WriteInt32", [] { return vxctl::writePropertyFrame(2, 3, 4, 0x01020304, int32_t{-2}); },
     {0xA0, 0x11, 0x00, 0x02, 2, 3, 4, 0x04, 0x03, 0x02, 0x01, 0x06, 0xFE, 0xFF, 0xFF, 0xFF}},
    {"WriteInt64", [] { return vxctl::writePropertyFrame(2, 0, 1, 0x0A, int64_t{0x0102030405060708}); },
     {0xA0, 0x15, 0x00, 0x02, 2, 0, 1, 0x0A, 0, 0, 0, 0x0E, 8, 7, 6, 5, 4, 3, 2, 1}},
    {"WriteString", [] { return vxctl::writePropertyFrame(9, 0, 0, 0x0B, std::string_view("ab")); },
     {0xA0, 0x11, 0x00, 0x02, 9, 0, 0, 0x0B, 0, 0, 0, 0x12, 'a', 'b', 0, 0}},
    {"WriteArrayInt32", [] { return vxctl::writePropertyArrayFrame(5, 1, 2, 0x0C, kPair32, 2); },
     {0xA0, 0x19, 0x00, 0x03, 5, 1, 2, 0x0C, 0, 0, 0, 0x06, 2, 0,
      1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0}},
    {"WriteArrayInt64", [] { return vxctl::writePropertyArrayFrame(5, 0, 2, 0x0C, kOne64, 1); },
     {0xA0, 0x19, 0x00, 0x03, 5, 0, 2, 0x0C, 0, 0, 0, 0x0E, 1, 0,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
    {"Stop", [] { return vxctl::channelCommandFrame(CommandType::Stop, 1, 2); },
     {0xA0, 0x09, 0x00, 0x10, 1, 2, 0, 0}},
    {"Calibrate", [] { return vxctl::channelCommandFrame(CommandType::Calibrate, 0, 3); },
     {0xA0, 0x09, 0x00, 0x11, 0, 3, 0, 0}},
    {"Reference", [] { return vxctl::channelCommandFrame(CommandType::Reference, 31, 0); },
     {0xA0, 0x09, 0x00, 0x12, 31, 0, 0, 0}},
    {"Move", [] { return vxctl::moveFrame(0, 1, -5); },
     {0xA0, 0x11, 0x00, 0x13, 0, 1, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
    {"OpenCommandGroup", [] { return vxctl::openCommandGroupFrame(5, 1); },
     {0xA0, 0x09, 0x00, 0x20, 5, 1, 0, 0}},
    {"CloseCommandGroup", [] { return vxctl::closeCommandGroupFrame(5); },
     {0xA0, 0x09, 0x00, 0x21, 5, 0, 0, 0}},
    {"CancelCommandGroup", [] { return vxctl::cancelCommandGroupFrame(6); },
     {0xA0, 0x09, 0x00, 0x22, 6, 0, 0, 0}},
    {"VersionRequest", [] { return vxctl::versionRequestFrame(); }, {0xA0, 0x05, 0x00, 0x30}},
    {"OpenStream", [] { return vxctl::openStreamFrame(9, 2); }, {0xA0, 0x09, 0x00, 0x72, 9, 2, 0, 0}},
    {"StreamFrame", [] { return vxctl::streamDataFrame(1, kStreamBytes, sizeof kStreamBytes); },
     {0xA0, 0x0D, 0x00, 0x73, 1, 1, 2, 3, 4, 0, 0, 0}},
    {"CloseStream", [] { return vxctl::closeStreamFrame(9, 1); }, {0xA0, 0x09, 0x00, 0x74, 9, 1, 0, 0}},
    {"AbortStream", [] { return vxctl::abortStreamFrame(9, 1); }, {0xA0, 0x09, 0x00, 0x75, 9, 1, 0, 0}},
    {"Handshake", [] { return vxctl::handshakeFrame(true); },
     {0xA4, 0x11, 0x00, 0x00, 0x74, 0x4C, 0x65, 0x56, 1, 0, 1, 0, 1, 0, 0, 0}},
    {"ProbeHandshake", [] { return vxctl::probeHandshakeFrame(); },
     {0xA4, 0x0D, 0x00, 0x00, 0x74, 0x4C, 0x65, 0x56, 0, 0, 0, 0}},
    {"InfoRequest", [] { return vxctl::infoRequestFrame(); }, {0xA4, 0x05, 0x00, 0x05}},
    {"DeviceReset", [] { return vxctl::deviceResetFrame(); }, {0xA4, 0x05, 0x00, 0x09}},
};

void PrintTo(const Golden& golden, std::ostream* out) { *out << golden.name; }

class GoldenFrames : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenFrames, AreLaidOutPaddedAndCheckedAsTheWireHasThem) {
    const Golden& golden = GetParam();
    Bytes expected = golden.beforeCrc;
    const uint32_t crc = referenceCrc(expected);
    for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>(crc >> (8 * i)));

    const Bytes frame = finished(golden.build());
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.size() % 4, 0u);

    // The receiver's check: the residue over the whole frame, and nothing
    // else once any single bit is flipped.
    const vxctl::Crc32 check;
    EXPECT_EQ(check.compute(frame.data(), frame.size()), vxctl::kCrcResidue);
    for (size_t bit = 0; bit < frame.size() * 8; ++bit) {
        Bytes damaged = frame;
        damaged[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        ASSERT_NE(check.compute(damaged.data(), damaged.size()), vxctl::kCrcResidue) << "bit " << bit;
    }
}

INSTANTIATE_TEST_SUITE_P(Requests, GoldenFrames, ::testing::ValuesIn(kGolden),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Frame, PaddingMakesTypeAndPayloadOneMoreThanAMultipleOfFour) {
    struct Case {
        size_t typeAndPayload;
        size_t padding;
    };
    const Case cases[] = {{1, 0}, {5, 0}, {9, 0}, {13, 0}, {8, 1}, {7, 2}, {6, 3}, {2, 3}};
    for (const Case& c : cases) {
        Packet packet(CommandType::VersionRequest);
        for (size_t i = 1; i < c.typeAndPayload; ++i) packet.u8(0xEE);
        packet.finish(nullptr);
        EXPECT_EQ(packet.length(), c.typeAndPayload + c.padding) << c.typeAndPayload;
        for (size_t i = 3 + c.typeAndPayload; i < packet.size(); ++i) EXPECT_EQ(packet.data()[i], 0);
    }
}

std::vector<int32_t> values(size_t count) {
    std::vector<int32_t> result(count);
    for (size_t i = 0; i < count; ++i) result[i] = static_cast<int32_t>(i);
    return result;
}

TEST(Frame, FiftyNineInt32ValuesFillTheLargestFrame) {
    const auto v = values(59);
    Packet packet = vxctl::writePropertyArrayFrame(1, 0, 0, 0x0C, v.data(), 59);
    const Bytes frame = finished(packet);
    EXPECT_EQ(frame.size(), vxctl::kFrameCapacity);
    EXPECT_EQ(frame[1] | (frame[2] << 8), 253);
}

void reportToStderr(const char* line) { std::fprintf(stderr, "%s\n", line); }

using FrameDeathTest = ctltest::LogTest;

TEST_F(FrameDeathTest, CrossingALimitWritesTheAssertionLineAndEndsTheProcess) {
    const auto full = values(59);
    const auto tooMany = values(60);
    const vxctl::Crc32 crc;
    // The library's own report goes to its log; here it goes to stderr as well
    // so that the death test sees the line.
    EXPECT_DEATH(
        {
            vxctl::setInvariantReport(reportToStderr);
            Packet packet = vxctl::writePropertyArrayFrame(1, 0, 0, 0x0C, full.data(), 59);
            packet.finish(&crc);
            packet.u8(0);
        },
        "Assertion failed in VeltraxControlPrivate, line 80");
    EXPECT_DEATH(
        {
            vxctl::setInvariantReport(reportToStderr);
            Packet packet = vxctl::writePropertyArrayFrame(1, 0, 0, 0x0C, tooMany.data(), 60);
            packet.finish(&crc);
        },
        "Assertion failed in VeltraxControlPrivate, line 110");
}

TEST_F(FrameDeathTest, TheLibraryWritesTheAssertionLineToItsLogAtLevelOne) {
    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 1)));
    // The line must come from the library's own report, installed at load.
    static const uint8_t tooLong[vxctl::kMaxLength] = {};
    EXPECT_DEATH(Packet(CommandType::StreamFrame).bytes(tooLong, sizeof tooLong), "");
    const auto lines = ctltest::apiTexts(dir.file("VeltraxCTL.log"), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Assertion failed in VeltraxControlPrivate, line 80");
}

}  // namespace
