#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConfigFrame.h"
#include "ConsoleInput.h"
#include "Entries.h"

using namespace netconfig;

namespace {

std::string hex(const uint8_t* bytes, size_t count) {
    std::string text;
    char two[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        text += two;
    }
    return text;
}

std::vector<uint8_t> unhex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string encoded(ConfigFrame frame) {
    frame.sourceMac = RequestSourceMac;
    FrameBytes buffer;
    buffer.fill(0xAA);
    encodeFrame(frame, buffer);
    return hex(buffer.data(), buffer.size());
}

const std::string Fill(36, '0');

TEST(ConfigFrames, DiscoveryRequestIsTheSixtyBytesOfTheLayout) {
    EXPECT_EQ(encoded(makeRequest(OpDiscover, BroadcastMac)),
              "ffffffffffff" "020202020202" "5554" "0000" "0001" "0002"
              "c0a801c8" "c0a80101" "ffff0000" "1388" "3030303030303030" + Fill);
}

TEST(ConfigFrames, SetCarriesTheTypedValuesInTypedOrder) {
    ConfigFrame frame = makeRequest(OpSetConfiguration, MacAddress{0x0a, 0x51, 0x4d, 0, 0, 7});
    frame.ip = acceptAddress(4, {192, 168, 1, 200}).value();
    frame.gateway = acceptAddress(4, {10, 0, 0, 1}).value();
    frame.mask = acceptMask(4, {255, 255, 255, 0}).value();
    frame.port = acceptPort(1, 5000).value();
    EXPECT_EQ(encoded(frame), "0a514d000007" "020202020202" "5554" "0000" "0001" "0004"
                              "c0a801c8" "0a000001" "ffffff00" "1388" "3030303030303030" + Fill);
}

const std::string Reply = "020202020202" "0a514d000001" "5554" "02cb" "0001" "0000"
                          "0a010203" "0a010201" "ffffff00" "1770" "3030303030303030" + Fill;

struct DecodeCase {
    const char* name;
    size_t offset;        // a word written at this offset, unless 0
    uint16_t word;
    size_t captured;
    size_t wire;
    int result;
};

TEST(ConfigFrames, DecodingRefusesWhatIsNoReplyAndLeavesTheRecord) {
    const DecodeCase cases[] = {
        {"reply", 0, 0, 60, 60, ResultOk},
        {"longer capture", 0, 0, 64, 64, ResultOk},
        {"foreign marker", 14, 0x02CC, 60, 60, ResultOk},
        {"59 bytes", 0, 0, 59, 59, ResultNotAReply},
        {"60 on the wire, 59 captured", 0, 0, 59, 60, ResultNotAReply},
        {"EtherType 0x5555", 12, 0x5555, 60, 60, ResultNotAReply},
        {"marker 0 (a request)", 14, 0, 60, 60, ResultNotAReply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = unhex(Reply);
        bytes.resize(64, 0xEE);
        if (c.offset) {
            bytes[c.offset] = static_cast<uint8_t>(c.word >> 8);
            bytes[c.offset + 1] = static_cast<uint8_t>(c.word);
        }
        ConfigFrame frame;
        frame.port = 4242;
        ASSERT_EQ(decodeFrame(frame, std::span<const uint8_t>(bytes.data(), c.captured), c.wire), c.result);
        if (c.result != ResultOk) {
            EXPECT_EQ(frame.port, 4242);
            EXPECT_EQ(frame.sourceMac, MacAddress{});
            continue;
        }
        EXPECT_EQ(frame.destinationMac, RequestSourceMac);
        EXPECT_EQ(frame.sourceMac, (MacAddress{0x0a, 0x51, 0x4d, 0, 0, 1}));
        EXPECT_EQ(frame.etherType, ConfigEtherType);
        EXPECT_EQ(frame.headerWord, 1);
        EXPECT_EQ(frame.code, 0);
        EXPECT_EQ(frame.ip, (Ipv4Bytes{10, 1, 2, 3}));
        EXPECT_EQ(frame.gateway, (Ipv4Bytes{10, 1, 2, 1}));
        EXPECT_EQ(frame.mask, (Ipv4Bytes{255, 255, 255, 0}));
        EXPECT_EQ(frame.port, 6000);
        EXPECT_EQ(frame.zeroDigits, ZeroDigits);
        // Decoded, but only the reply marker makes it the awaited reply.
        EXPECT_EQ(isReply(frame), c.offset == 0);
    }
}

TEST(ConfigFrames, ReplyStatusGivesTheResult) {
    const struct {
        uint16_t status;
        int result;
    } cases[] = {{0xFFFE, ResultFailureStatus}, {0x2001, ResultInvalidParameter}, {0x2000, ResultInvalidParameter},
                 {0xFFFF, ResultInvalidParameter}, {0, ResultOk}, {1, ResultOk}, {0xDFFF, ResultOk}};
    for (const auto& c : cases) EXPECT_EQ(replyResult(c.status), c.result) << std::hex << c.status;
}

enum class Entry { Address, Mask, Port };

// What a line typed at a prompt becomes: the bytes sent, or "" for a
// refusal.
std::string enter(Entry entry, std::string typed) {
    std::FILE* in = fmemopen(typed.data(), typed.size(), "r");
    ConsoleInput input(in);
    EnteredNumbers n{};
    const int count = input.readNumbers(n.data(), entry == Entry::Port ? 1 : 4);
    std::fclose(in);
    if (entry == Entry::Port) {
        const auto port = acceptPort(count, n[0]);
        return port ? std::to_string(*port) : "";
    }
    const auto bytes = entry == Entry::Address ? acceptAddress(count, n) : acceptMask(count, n);
    return bytes ? hex(bytes->data(), bytes->size()) : "";
}

TEST(Entries, EachTypedEntryIsTakenOrRefused) {
    const struct {
        Entry entry;
        const char* typed;
        const char* sent;
    } cases[] = {
        {Entry::Address, "192.168.1.200", "c0a801c8"},
        {Entry::Address, "254.255.255.255", "feffffff"},
        {Entry::Address, "1.0.0.0", "01000000"},
        {Entry::Address, " 010.0.0.1 trailing", "0a000001"},
        {Entry::Address, "0.1.2.3", ""},
        {Entry::Address, "255.1.1.1", ""},
        {Entry::Address, "1.2.3", ""},
        {Entry::Address, "1.2.3.256", ""},
        {Entry::Address, "192.-1.1.1", ""},
        {Entry::Address, "-5.255.255.255", ""},
        {Entry::Address, "4294967488.168.1.1", ""},
        {Entry::Address, "192 .168.1.1", ""},
        {Entry::Mask, "255.255.255.0", "ffffff00"},
        {Entry::Mask, "255.255.0.0", "ffff0000"},
        {Entry::Mask, "128.0.0.0", "80000000"},
        {Entry::Mask, "255.255.255.254", "fffffffe"},
        {Entry::Mask, "0.0.0.0", ""},
        {Entry::Mask, "255.255.255.255", ""},
        {Entry::Mask, "255.0.255.0", ""},
        {Entry::Mask, "0.255.255.255", ""},
        {Entry::Mask, "0.65535.0.0", ""},
        {Entry::Mask, "255.255.-256.0", ""},
        {Entry::Mask, "255.255.0", ""},
        {Entry::Port, "1", "1"},
        {Entry::Port, "65535", "65535"},
        {Entry::Port, "+5000", "5000"},
        {Entry::Port, "0", ""},
        {Entry::Port, "65536", ""},
        {Entry::Port, "-1", ""},
        {Entry::Port, "port", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(enter(c.entry, c.typed), c.sent) << c.typed;
}

}  // namespace
