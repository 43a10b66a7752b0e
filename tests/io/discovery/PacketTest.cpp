#include <gtest/gtest.h>

#include "discovery/Packet.h"

using namespace veltraxnd;

namespace {

std::vector<uint8_t> validFrame(size_t size) {
    VX_ND_Packet p;
    p.OpCode = OpDiscoverReply;
    p.Data.assign(size - PacketHeaderSize, 0);
    return encodePacket(p);
}

VX_ND_Packet withData(uint8_t opCode, std::vector<uint8_t> data) {
    VX_ND_Packet p;
    p.OpCode = opCode;
    p.Data = std::move(data);
    return p;
}

TokenBytes sequenceToken() {
    TokenBytes t;
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(0xA0 + i);
    return t;
}

}  // namespace

TEST(DiscoveryPacket, EmptyDiscoverRequestHasGoldenBytes) {
    const auto bytes = encodePacket(makeDiscoverRequest(AnyDeviceType, "", sequenceToken()));
    std::vector<uint8_t> expected{0xC2, 93, 0, 33, 0x50, 0x44, 0x4E, 0x56, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    expected.resize(80, 0);
    const auto token = sequenceToken();
    expected.insert(expected.end(), token.begin(), token.end());
    EXPECT_EQ(bytes, expected);
}

TEST(DiscoveryPacket, RoundTripPadsDataToFourBytes) {
    VX_ND_Packet p;
    p.Version = 0;
    p.OpCode = OpSetDeviceInfo;
    p.DeviceType = 0x12345678;
    p.SerialNumber = "QMX-42";
    p.Token = sequenceToken();
    p.Data = {3, 'a', 'b', 'c', 0};
    const auto bytes = encodePacket(p);
    ASSERT_EQ(bytes.size(), 104u);
    EXPECT_EQ(bytes[1] | bytes[2] << 8, 101);

    VX_ND_Packet back;
    ASSERT_EQ(decodePacket(bytes, back), DecodeResult::Valid);
    EXPECT_EQ(back.Version, 0u);
    EXPECT_EQ(back.OpCode, OpSetDeviceInfo);
    EXPECT_EQ(back.DeviceType, 0x12345678u);
    EXPECT_EQ(back.SerialNumber, "QMX-42");
    EXPECT_EQ(back.Token, p.Token);
    EXPECT_EQ(back.Data, (std::vector<uint8_t>{3, 'a', 'b', 'c', 0, 0, 0, 0}));  // padding included
}

TEST(DiscoveryPacket, DecodeRefusesMalformedFrames) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto frame = validFrame(100);
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"shorter than the header", std::vector<uint8_t>(frame.begin(), frame.begin() + 92)});
    auto odd = validFrame(96);
    odd.push_back(0);
    odd.push_back(0);
    odd[1] = 95;  // length agrees, size 98 is not a multiple of 4
    cases.push_back({"not a multiple of 4", odd});
    auto start = frame;
    start[0] = 0xC3;
    cases.push_back({"wrong start byte", start});
    auto length = validFrame(96);
    length[1] = 94;
    cases.push_back({"wrong length field", length});
    auto magic = frame;
    magic[7] = 0x57;
    cases.push_back({"wrong magic", magic});

    for (const auto& c : cases) {
        VX_ND_Packet p;
        p.SerialNumber = "untouched";
        EXPECT_EQ(decodePacket(c.bytes, p), DecodeResult::Invalid) << c.what;
        EXPECT_EQ(p.SerialNumber, "untouched") << c.what;
    }
    VX_ND_Packet p;
    EXPECT_EQ(decodePacket(frame, p), DecodeResult::Valid);
}

TEST(DiscoveryPacket, LaterVersionIsWellFormedButUnsupported) {
    VX_ND_Packet p;
    p.Version = 2;
    p.SerialNumber = "V2";
    VX_ND_Packet back;
    EXPECT_EQ(decodePacket(encodePacket(p), back), DecodeResult::UnsupportedVersion);
    EXPECT_EQ(back.SerialNumber, "V2");
}

TEST(DiscoveryPacket, SerialNumberIsCutTo63BytesAndAZero) {
    const std::string serial(70, 'S');
    const auto bytes = encodePacket(makeDiscoverRequest(1, serial, {}));
    ASSERT_EQ(bytes.size(), 96u);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 79), std::string(63, 'S'));
    EXPECT_EQ(bytes[79], 0);

    VX_ND_Packet back;
    ASSERT_EQ(decodePacket(bytes, back), DecodeResult::Valid);
    EXPECT_EQ(back.SerialNumber, std::string(63, 'S'));
}

TEST(DiscoveryPacket, DecodedSerialEndsAtFirstZeroAndNeverReadsByte79) {
    auto bytes = encodePacket(makeDiscoverRequest(1, "AB", {}));
    bytes[19] = 'X';  // after the terminating zero at 18
    VX_ND_Packet back;
    ASSERT_EQ(decodePacket(bytes, back), DecodeResult::Valid);
    EXPECT_EQ(back.SerialNumber, "AB");

    std::fill(bytes.begin() + 16, bytes.begin() + 80, 'Z');
    ASSERT_EQ(decodePacket(bytes, back), DecodeResult::Valid);
    EXPECT_EQ(back.SerialNumber, std::string(63, 'Z'));
}

TEST(DiscoveryPacket, ConfigurationRecordAtItsLimits) {
    const std::vector<uint8_t> record{1, 10, 0, 0, 5, 10, 0, 0, 1, 255, 255, 0, 0};
    DeviceConfig config;
    EXPECT_FALSE(decodeConfiguration(withData(OpConfiguration, {record.begin(), record.end() - 1}), config));
    ASSERT_TRUE(decodeConfiguration(withData(OpConfiguration, record), config));
    EXPECT_TRUE(config.DHCP);
    EXPECT_EQ(config.IP, (IPv4Address{10, 0, 0, 5}));
    EXPECT_EQ(config.Gateway, (IPv4Address{10, 0, 0, 1}));
    EXPECT_EQ(config.SubnetMask, (IPv4Address{255, 255, 0, 0}));
    EXPECT_EQ(encodeConfiguration(config), record);

    for (uint8_t op : {OpGetConfiguration, OpSetConfiguration, OpConfiguration})
        EXPECT_TRUE(decodeConfiguration(withData(op, record), config)) << int(op);
    for (uint8_t op : {OpResetConfiguration, OpResult, OpDiscoverReply})
        EXPECT_FALSE(decodeConfiguration(withData(op, record), config)) << int(op);
}

TEST(DiscoveryPacket, DiscoverRecordAtItsLimits) {
    struct Case {
        size_t infoLength;  // the length byte
        size_t dataSize;
        bool decodes;
    };
    const Case cases[] = {
        {0, 5, false}, {0, 6, true}, {5, 10, false}, {5, 11, true}, {63, 69, true}, {64, 200, false},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> data(c.dataSize, 'i');
        data[0] = 7;
        data[1] = 1;
        data[2] = 0x39;
        data[3] = 0x30;
        data[4] = static_cast<uint8_t>(c.infoLength);
        DiscoverRecord record;
        EXPECT_EQ(decodeDiscover(withData(OpDiscoverInform, data), record), c.decodes)
            << c.infoLength << "/" << c.dataSize;
        if (c.decodes) {
            EXPECT_EQ(record.ProtocolId, 7);
            EXPECT_TRUE(record.Available);
            EXPECT_EQ(record.Port, 12345);
            EXPECT_EQ(record.Info, std::string(c.infoLength, 'i'));
        }
    }
    DiscoverRecord record;
    EXPECT_FALSE(decodeDiscover(withData(OpResult, encodeDiscover({1, true, 1, "x"})), record));
    EXPECT_TRUE(decodeDiscover(withData(OpDiscoverReply, encodeDiscover({1, true, 1, std::string(80, 'x')})), record));
    EXPECT_EQ(record.Info.size(), 63u);
}

TEST(DiscoveryPacket, ResultAndDeviceInfoRecordsAtTheirLimits) {
    ResultCode code;
    EXPECT_FALSE(decodeResult(withData(OpResult, {19}), code));
    ASSERT_TRUE(decodeResult(withData(OpResult, {0xFD, 0x7F}), code));
    EXPECT_EQ(code, ResultCode::FeatureNotSupported);
    EXPECT_FALSE(decodeResult(withData(OpConfiguration, {0, 0}), code));

    std::string info;
    EXPECT_FALSE(decodeDeviceInfo(withData(OpSetDeviceInfo, {3, 'a', 'b', 'c'}), info));
    ASSERT_TRUE(decodeDeviceInfo(withData(OpSetDeviceInfo, {3, 'a', 'b', 'c', 0}), info));
    EXPECT_EQ(info, "abc");
    EXPECT_FALSE(decodeDeviceInfo(withData(OpSetDeviceInfo, std::vector<uint8_t>(70, 64)), info));
    EXPECT_EQ(encodeDeviceInfo("abc"), (std::vector<uint8_t>{3, 'a', 'b', 'c', 0}));
}

TEST(DiscoveryPacket, ResultCodeNames) {
    const std::pair<uint16_t, const char*> names[] = {
        {0, "Success"},
        {1, "UnknownCommand"},
        {5, "Unknown"},
        {19, "InvalidParameter"},
        {31, "PermissionDenied"},
        {32, "ProtocolVersionNotSupported"},
        {37, "CommandNotProcessable"},
        {32765, "FeatureNotSupported"},
        {32766, "FeatureNotImplemented"},
        {32767, "Other"},
        {65535, "Unknown"},
    };
    for (const auto& [code, name] : names) EXPECT_STREQ(resultCodeName(code), name) << code;
}

TEST(DiscoveryPacket, PacketTextPerOperation) {
    const std::string head = "VX_ND_Packet { OpCode: ";
    const std::string tail = ", Version: 1, SerialNumber: \"SN\", Token: A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF";
    struct Case {
        uint8_t op;
        std::vector<uint8_t> data;
        std::string expected;
    };
    const std::vector<Case> cases{
        {OpGetConfiguration, {}, "Get Configuration" + tail + " }"},
        {OpSetConfiguration, {0, 10, 0, 0, 5, 10, 0, 0, 1, 255, 0, 0, 0},
         "Set Configuration" + tail +
             ", IP: 10.0.0.5, Gateway: 10.0.0.1, SubnetMask: 255.0.0.0, DHCP: Disabled }"},
        {OpResetConfiguration, {}, "Reset Configuration" + tail + " }"},
        {OpSetDeviceInfo, {2, 'h', 'i', 0}, "Set Device Info" + tail + ", Device Info: \"hi\" }"},
        {OpDiscoverRequest, {}, "Discover Request" + tail + " }"},
        {OpResult, {37, 0}, "Result" + tail + ", ResultCode: CommandNotProcessable }"},
        {OpResult, {}, "Result" + tail + ", Data: INVALID }"},
        {OpConfiguration, {1, 1, 2, 3, 4, 1, 2, 3, 1, 255, 255, 255, 0},
         "Configuration" + tail + ", IP: 1.2.3.4, Gateway: 1.2.3.1, SubnetMask: 255.255.255.0, DHCP: Enabled }"},
        {OpDiscoverReply, {0x2A, 1, 0xD0, 0x07, 3, 'x', 'y', 'z', 0},
         "Discover Reply" + tail + ", ProtocolId: 0x2a, Port: 2000, Available: Yes, Info: xyz }"},
        {OpDiscoverInform, {0, 0, 1, 0, 0, 0}, "Discover Inform" + tail + ", ProtocolId: 0x0, Port: 1, Available: No, Info:  }"},
        {OpDiscoverInform, {0, 0, 1, 0, 9, 0}, "Discover Inform" + tail + ", Data: INVALID }"},
        {99, {1, 2, 3}, "Unknown" + tail + " }"},
    };
    for (const auto& c : cases) {
        VX_ND_Packet p = withData(c.op, c.data);
        p.SerialNumber = "SN";
        p.Token = sequenceToken();
        EXPECT_EQ(packetText(p), head + c.expected);
    }
}

TEST(DiscoveryPacket, RawPacketText) {
    const uint8_t three[] = {0xC2, 0x5D, 0x00};
    EXPECT_EQ(rawPacketText(three, 3), "VX_ND_RawPacket { size: 3, data: c2 5d 00 }");
    EXPECT_EQ(rawPacketText(three, 0), "VX_ND_RawPacket { size: 0}");
    const uint8_t nine[] = {0, 1, 2, 3, 4, 5, 6, 7, 0xff};
    EXPECT_EQ(rawPacketText(nine, 9), "VX_ND_RawPacket { size: 9, data: 00 01 02 03 04 05 06 07  ff }");
}

TEST(DiscoveryPacket, TokensAreVersion4UuidsInUuidText) {
    std::mt19937_64 engine(42);
    std::mt19937_64 replay(42);
    const uint64_t a = replay();
    const auto token = generateToken(engine);
    EXPECT_EQ(token[0], static_cast<uint8_t>(a));
    EXPECT_EQ(token[7], static_cast<uint8_t>(a >> 56));
    EXPECT_EQ(token[6] & 0xF0, 0x40);
    EXPECT_EQ(token[8] & 0xC0, 0x80);
    EXPECT_NE(generateToken(engine), token);

    EXPECT_EQ(tokenText(sequenceToken()), "A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF");
}
