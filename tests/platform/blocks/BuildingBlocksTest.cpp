#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/CopyOut.h"
#include "platform/Ipv4.h"
#include "platform/SlotTable.h"
#include "platform/Text.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(TextTest, SplitTrimAndJoin) {
    EXPECT_EQ(vxplatform::splitText("::a:b::c:", ":"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(vxplatform::splitText("a\r\nb", "\r\n"), (Pieces{"a", "b"}));
    EXPECT_EQ(vxplatform::splitText("", ":"), Pieces{});
    EXPECT_EQ(vxplatform::splitFields("serial::x:", ':'), (Pieces{"serial", "", "x", ""}));
    EXPECT_EQ(vxplatform::splitFields("", ':'), Pieces{""});
    EXPECT_EQ(vxplatform::trimText(" \t a b \r\n"), "a b");
    EXPECT_EQ(vxplatform::trimText(" \r\n"), "");
    EXPECT_EQ(vxplatform::trimRight("  a \n"), "  a");
    EXPECT_EQ(vxplatform::joinText({"a", "", "b"}, ", "), "a, , b");
}

struct Ipv4Case {
    const char* text;
    std::optional<std::string> parsed;  // formatted back; empty when refused
};

TEST(Ipv4Test, ParsesDottedDecimalOnly) {
    const Ipv4Case cases[] = {
        {"192.168.0.1", "192.168.0.1"}, {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"}, {"010.0001.0.00255", "10.1.0.255"},
        {"256.0.0.1", std::nullopt}, {"1.2.3", std::nullopt}, {"1.2.3.4.5", std::nullopt},
        {"1..3.4", std::nullopt}, {"1.2.3.4 ", std::nullopt}, {"-1.2.3.4", std::nullopt},
        {"", std::nullopt}, {"1.2.3.0x4", std::nullopt}, {"99999999999.1.1.1", std::nullopt},
    };
    for (const Ipv4Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<uint32_t> address = vxplatform::parseIpv4(c.text);
        ASSERT_EQ(address.has_value(), c.parsed.has_value());
        if (address) {
            EXPECT_EQ(vxplatform::formatIpv4(*address), *c.parsed);
        }
    }
    EXPECT_EQ(vxplatform::parseIpv4("127.0.0.1"), htonl(0x7F000001));
}

TEST(CopyOutTest, CapacityRules) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    size_t length = 4;
    EXPECT_TRUE(vxplatform::copyOut("abc", buffer, &length));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(length, 3u);

    length = 3;
    EXPECT_FALSE(vxplatform::copyOut("abc", buffer, &length));
    EXPECT_EQ(length, 3u);
    length = 8;
    EXPECT_FALSE(vxplatform::copyOut("abc", nullptr, &length));
    EXPECT_EQ(length, 8u);
    EXPECT_FALSE(vxplatform::copyOut("abc", buffer, nullptr));

    length = 2;
    EXPECT_FALSE(vxplatform::copyOutReportingNeed("abcdef", buffer, &length));
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(SlotTableTest, InsertTakeAndRanges) {
    vxplatform::SlotTable<int, 4> table;
    EXPECT_EQ(table.insertFirstFree(std::make_shared<int>(1)), 0u);
    EXPECT_EQ(table.insertFirstFree(std::make_shared<int>(2), 2), 2u);
    EXPECT_FALSE(table.insertAt(2, std::make_shared<int>(3)));
    EXPECT_FALSE(table.insertAt(4, std::make_shared<int>(3)));
    EXPECT_TRUE(table.insertAt(3, std::make_shared<int>(4)));
    EXPECT_EQ(table.insertFirstFree(std::make_shared<int>(5), 2, 4), std::nullopt);
    EXPECT_EQ(table.occupied(), 3u);

    std::vector<size_t> seen;
    table.forEach([&](size_t index, const std::shared_ptr<int>&) { seen.push_back(index); });
    EXPECT_EQ(seen, (std::vector<size_t>{0, 2, 3}));

    EXPECT_EQ(*table.take(2), 2);
    EXPECT_EQ(table.take(2), nullptr);
    EXPECT_EQ(table.find(9), nullptr);
    EXPECT_EQ(table.occupied(), 2u);
    table.clear();
    EXPECT_EQ(table.occupied(), 0u);
    EXPECT_EQ(table.find(0), nullptr);
}

}  // namespace
