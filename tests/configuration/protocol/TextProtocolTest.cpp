#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "TextProtocol.h"

namespace {

using qmxtext::Reply;

constexpr uint32_t kMinusOne = 0xFFFFFFFFu;

Reply parsed(const std::string& line) {
    Reply reply;
    EXPECT_EQ(qmxtext::parseReply(line, &reply), VX_OK) << line;
    return reply;
}

TEST(TextProtocol, CommandLines) {
    EXPECT_EQ(qmxtext::textCommand("GCT", {3}), "GCT3");
    EXPECT_EQ(qmxtext::textCommand("FRM", {0, 1, 1000, 1}), "FRM0,1,1000,1");
    EXPECT_EQ(qmxtext::textCommand("MPR", {2, -500, 0}), "MPR2,-500,0");
    EXPECT_EQ(qmxtext::textCommand("GNC"), "GNC");
    EXPECT_EQ(qmxtext::frameCommand("GCT3"), ":GCT3\n");
}

TEST(TextProtocol, ReplyGrammarAndConversion) {
    struct Case {
        std::string line;
        uint32_t status;
        std::string name;  // checked when the line matched
        std::vector<uint32_t> values;
    };
    const Case cases[] = {
        {":CT0,1\n", VX_OK, "CT", {0, 1}},
        {":ST(2)5,3\n", VX_OK, "ST", {2, 5, 3}},
        {":P0,-100\n", VX_OK, "P", {0, 0xFFFFFF9Cu}},
        {":FP0,0x1F\n", VX_OK, "FP", {0, 31}},
        {":E-1,0\n", VX_OK, "E", {kMinusOne, 0}},
        {":ABCD7\n", VX_OK, "ABCD", {7}},
        // Stray bytes before the colon are dropped.
        {std::string("\n\0xy", 4) + ":CT0,1\n", VX_OK, "CT", {0, 1}},
        {":CT0,1", VX_PROTOCOL_ERROR, "", {}},
        {":CT0,1\r\n", VX_PROTOCOL_ERROR, "", {}},
        {":ct0,1\n", VX_PROTOCOL_ERROR, "", {}},
        {":CT0,1 \n", VX_PROTOCOL_ERROR, "", {}},
        {":ABCDE1\n", VX_PROTOCOL_ERROR, "", {}},
        {":P\n", VX_PROTOCOL_ERROR, "", {}},
        {":P(12)3\n", VX_PROTOCOL_ERROR, "", {}},
        {":P0x10\n", VX_PROTOCOL_ERROR, "", {}},
        {"\n", VX_PROTOCOL_ERROR, "", {}},
        {"", VX_PROTOCOL_ERROR, "", {}},
        // Ten values after the name match (the slot reply), eleven do not.
        {":HS1,2,3,4,5,6,7,8,9,10\n", VX_OK, "HS", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {":HS(4)1,2,3,4,5,6,7,8,9,10\n", VX_OK, "HS", {4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {":HS1,2,3,4,5,6,7,8,9,10,11\n", VX_PROTOCOL_ERROR, "", {}},
        {":V0,-0x10\n", VX_OK, "V", {0, 0xFFFFFFF0u}},
        {":V4294967295\n", VX_OK, "V", {kMinusOne}},
        {":V-2147483648\n", VX_OK, "V", {0x80000000u}},
        // Matching the grammar but not converting: count tells what was stored.
        {":V0,x10\n", VX_INTERNAL_ERROR, "V", {0}},
        {":V0,1F\n", VX_INTERNAL_ERROR, "V", {0}},
        {":V4294967296\n", VX_INTERNAL_ERROR, "V", {}},
        {":V-2147483649\n", VX_INTERNAL_ERROR, "V", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        Reply reply;
        reply.name = "untouched";
        ASSERT_EQ(qmxtext::parseReply(c.line, &reply), c.status);
        if (c.status == VX_PROTOCOL_ERROR) {
            EXPECT_EQ(reply.name, "untouched");
            continue;
        }
        EXPECT_EQ(reply.name, c.name);
        ASSERT_EQ(reply.count, static_cast<int>(c.values.size()));
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(reply.values[i], c.values[i]) << i;
    }
}

// One rule applied to one reply line.
struct RuleCase {
    const char* what;
    std::string line;
    std::function<uint32_t(const Reply&)> rule;
    uint32_t status;
};

void checkRules(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + testing::PrintToString(c.line));
        EXPECT_EQ(c.rule(parsed(c.line)), c.status);
    }
}

TEST(TextProtocol, AcknowledgeRules) {
    auto a = [](uint32_t channel) {
        return [channel](const Reply& r) { return qmxtext::acknowledgeRule(r, channel); };
    };
    auto b = [](uint32_t target) {
        return [target](const Reply& r) { return qmxtext::systemFirstAcknowledgeRule(r, target); };
    };
    auto c = [](const Reply& r) { return qmxtext::unaddressedAcknowledgeRule(r); };
    checkRules({
        {"A", ":E2,0\n", a(2), VX_OK},
        {"A", ":E-1,146\n", a(2), 146},
        {"A", ":E2,146\n", a(2), 146},
        {"A", ":E1,0\n", a(2), VX_PROTOCOL_ERROR},
        {"A", ":E-1,146,0\n", a(2), VX_PROTOCOL_ERROR},
        {"A", ":E2\n", a(2), VX_PROTOCOL_ERROR},
        {"A", ":S2,0\n", a(2), VX_PROTOCOL_ERROR},
        {"B", ":E-1,146,0\n", b(2), 146},
        {"B", ":E-1,146\n", b(2), 146},
        {"B", ":E2,5\n", b(2), 5},
        {"B", ":E255,0\n", b(qmxtext::kSpeedLevelTable), VX_OK},
        {"B", ":E3,0\n", b(2), VX_PROTOCOL_ERROR},
        {"B", ":E2,0,1\n", b(2), VX_PROTOCOL_ERROR},
        {"B", ":E-1\n", b(2), VX_PROTOCOL_ERROR},
        {"B", ":P2,0\n", b(2), VX_PROTOCOL_ERROR},
        {"C", ":E-1,7\n", c, 7},
        {"C", ":E5,9\n", c, VX_OK},
        {"C", ":E5\n", c, VX_PROTOCOL_ERROR},
        {"C", ":E-1\n", c, VX_PROTOCOL_ERROR},
        {"C", ":IM1,2\n", c, VX_PROTOCOL_ERROR},
    });
}

TEST(TextProtocol, DataRule) {
    auto d = [](qmxtext::DataShape shape) {
        return [shape](const Reply& r) { return qmxtext::dataRule(r, shape); };
    };
    checkRules({
        {"P", ":P0,-500\n", d({"P", 2, 0u}), VX_OK},
        {"P", ":E-1,129\n", d({"P", 2, 0u}), 129},
        {"P", ":E0,129\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        // A success code where data belongs, or no code at all, answers nothing.
        {"P", ":E-1,0\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        {"P", ":E-1\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        {"P", ":P1,-500\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        {"P", ":P0,-500,1\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        {"P", ":A0,-500\n", d({"P", 2, 0u}), VX_PROTOCOL_ERROR},
        {"TP", ":TP0,7,3\n", d({"TP", 3, 0u, 7u}), VX_OK},
        {"TP", ":TP0,8,3\n", d({"TP", 3, 0u, 7u}), VX_PROTOCOL_ERROR},
        {"BR", ":BR115200\n", d({"BR", 1}), VX_OK},
        {"BR", ":BR9600,1\n", d({"BR", 1}), VX_PROTOCOL_ERROR},
    });
}

TEST(TextProtocol, ChannelPropertyRule) {
    const uint32_t key = 0x0816002F;
    struct Case {
        std::string line;
        uint32_t status;
        int32_t value;
    };
    const Case cases[] = {
        {":CPR0,135659567,-7\n", VX_OK, -7},
        {":E0,156\n", 156, 99},
        {":E3,156,1\n", 156, 99},
        {":E-1,129\n", 129, 99},
        {":E0,0\n", VX_PROTOCOL_ERROR, 99},
        {":E0\n", VX_PROTOCOL_ERROR, 99},
        {":CPR0,1,-7\n", VX_PROTOCOL_ERROR, 99},
        {":CPR1,135659567,-7\n", VX_PROTOCOL_ERROR, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        int32_t value = 99;
        EXPECT_EQ(qmxtext::channelPropertyRule(parsed(c.line), 0, key, &value), c.status);
        EXPECT_EQ(value, c.value);
    }
}

TEST(TextProtocol, FirmwareVersionRules) {
    struct Case {
        std::string line;
        uint32_t kind;
        uint32_t status;
        uint32_t version;
    };
    const uint32_t untouched = 0xDEADBEEF;
    const Case cases[] = {
        {":IV1,2,3\n", 1, VX_OK, (1u << 24) + (2u << 16) + 3},
        {":IV1,2,3,4\n", 1, VX_OK, (1u << 27) + (2u << 24) + (3u << 16) + 4},
        {":IV1,2\n", 1, VX_PROTOCOL_ERROR, untouched},
        {":IV1,2,3,4,5\n", 1, VX_PROTOCOL_ERROR, untouched},
        {":E-1,240\n", 1, 240, untouched},
        {":E-1,0\n", 1, VX_PROTOCOL_ERROR, untouched},
        {":FV4,1,2,3,4,5,6,7,8\n", 2, VX_OK, qmxtext::packVersion(1, 2, 3, 4)},
        {":FV4,1,2,3,4,5,6,7,8\n", 3, VX_OK, qmxtext::packVersion(5, 6, 7, 8)},
        {":FV4,1,2,3,4,5,6,7,8\n", 9, VX_OK, qmxtext::packVersion(1, 2, 3, 4)},
        {":FV3,1,2,3,4,5,6,7,8\n", 2, VX_PROTOCOL_ERROR, untouched},
        {":FV4,1,2,3,4,5,6,7\n", 2, VX_PROTOCOL_ERROR, untouched},
        {":E-1,128\n", 5, 128, untouched},
        {":E4,128\n", 5, VX_PROTOCOL_ERROR, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + " kind " + std::to_string(c.kind));
        uint32_t version = untouched;
        const Reply reply = parsed(c.line);
        const uint32_t status = c.kind == 1
                                    ? qmxtext::interfaceVersionRule(reply, &version)
                                    : qmxtext::firmwareVersionRule(reply, c.kind, 4, &version);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(version, c.version);
    }
    // a takes bits 31-27, b 26-24, c 23-16, d 15-0.
    EXPECT_EQ(qmxtext::packVersion(31, 7, 255, 65535), 0xFFFFFFFFu);
}

TEST(TextProtocol, FeaturePermissionAndIndexMapRules) {
    struct Case {
        std::string line;
        uint32_t status;
        uint32_t number;
    };
    const Case permissions[] = {
        {":FP0,6\n", VX_OK, 6},
        {":FP0,300\n", VX_OK, 300},
        {":FP1,6\n", VX_PROTOCOL_ERROR, 0},
        {":FP0,6,7\n", VX_PROTOCOL_ERROR, 0},
        {":E-1,150\n", 150, 0},
        {":E0,150\n", VX_PROTOCOL_ERROR, 0},
    };
    for (const Case& c : permissions) {
        SCOPED_TRACE(c.line);
        uint32_t number = 0;
        EXPECT_EQ(qmxtext::featurePermissionRule(parsed(c.line), 0, &number), c.status);
        EXPECT_EQ(number, c.number);
    }
    const Case indexMap[] = {
        {":IM1,5,300\n", VX_OK, 44},       {":E1,5,7\n", VX_OK, 7},
        {":IM1,5,7,9\n", VX_OK, 7},        {":IM2,5,7\n", VX_PROTOCOL_ERROR, 0},
        {":IM1,5\n", VX_PROTOCOL_ERROR, 0}, {":E-1,150\n", 150, 0},
    };
    for (const Case& c : indexMap) {
        SCOPED_TRACE(c.line);
        uint8_t entry = 0;
        EXPECT_EQ(qmxtext::indexMapReadRule(parsed(c.line), &entry), c.status);
        EXPECT_EQ(entry, c.number);
    }
}

TEST(TextProtocol, LocatorCopy) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    uint32_t size = 11;
    EXPECT_EQ(qmxtext::copyLocator("serial:COM4", buffer, &size), VX_QUERY_BUFFER_SIZE);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(buffer[0], 'x');
    size = 12;
    EXPECT_EQ(qmxtext::copyLocator("serial:COM4", buffer, &size), VX_OK);
    EXPECT_EQ(size, 11u);
    EXPECT_STREQ(buffer, "serial:COM4");
    size = 12;
    EXPECT_EQ(qmxtext::copyLocator("serial:COM4", nullptr, &size), VX_QUERY_BUFFER_SIZE);
    EXPECT_EQ(qmxtext::copyLocator("serial:COM4", buffer, nullptr), VX_INVALID_PARAMETER);
}

}  // namespace
