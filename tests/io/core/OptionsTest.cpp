#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "core/OptionKeys.h"
#include "core/Options.h"

namespace vxio {
namespace {

constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();

TEST(OptionParsing, TrimsLinesAndSplitsAtTheFirstBlankOnly) {
    const Options options = parseOptions(
        "  baudrate 9600\r\n\n\t \r\niface network:all network:10.0.0.1\nport  80\n"
        "rx-timeout\t500\nonly-locator\nhealth-check   \nBaudrate 1");
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(options.pairs(), (Pairs{{"baudrate", "9600"},
                                      {"iface", "network:all network:10.0.0.1"},
                                      {"port", " 80"},
                                      {"rx-timeout\t500", ""},
                                      {"only-locator", ""},
                                      {"health-check", ""},
                                      {"Baudrate", "1"}}));
}

TEST(OptionGetters, FirstPairWinsAndGetAllKeepsTextOrder) {
    const Options options = parseOptions("rx-timeout 500\nfind-device-sn B\nrx-timeout 700\n"
                                         "find-device-sn A\nfind-device-sn B\ntx-timeout soon\n"
                                         "port -1\nxonxoff");
    EXPECT_EQ(options.getUnsigned("rx-timeout", 1000), 500u);
    EXPECT_EQ(options.getAll("rx-timeout"), (std::vector<std::string>{"500", "700"}));
    EXPECT_EQ(options.getTextSet("find-device-sn"), (std::set<std::string>{"A", "B"}));
    EXPECT_EQ(options.getText("absent", "fallback"), "fallback");
    EXPECT_EQ(options.getUnsigned("tx-timeout", 1000), 1000u);
    EXPECT_EQ(options.getUnsigned("port", 0), kMax);
    EXPECT_EQ(options.getUnsigned("xonxoff", 7), 7u);
}

TEST(OptionGetters, UnsignedSetRefusesAValueThatIsNotANumber) {
    const Options good = parseOptions("find-usb-vid 1027\nfind-usb-vid 0x10\nfind-usb-vid 1027");
    EXPECT_EQ(good.getUnsignedSet("find-usb-vid"), (std::set<uint32_t>{0, 1027}));
    EXPECT_THROW(parseOptions("find-usb-vid 1027\nfind-usb-vid ftdi").getUnsignedSet("find-usb-vid"),
                 InvalidOptionValue);
    EXPECT_THROW(parseOptions("find-protocol-id").getUnsignedSet("find-protocol-id"),
                 InvalidOptionValue);
}

TEST(OptionGetters, OutputSelectionIsOnlyLocatorOrAnIncludeKey) {
    EXPECT_TRUE(parseOptions("only-locator").hasOutputSelection());
    EXPECT_TRUE(parseOptions("iface-type usb\ninclude-device-sn").hasOutputSelection());
    EXPECT_FALSE(parseOptions("iface-type usb\nfind-include-x 1").hasOutputSelection());
}

TEST(OptionNumbers, FollowTheCLibraryRule) {
    const std::pair<const char*, std::optional<uint32_t>> cases[] = {
        {"500", 500u}, {"  42", 42u}, {"\t8", 8u}, {"+7", 7u}, {"-1", kMax}, {"12abc", 12u},
        {"4294967295", kMax}, {"4294967296", std::nullopt}, {"abc", std::nullopt},
        {"", std::nullopt}, {"-", std::nullopt}, {"- 5", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        uint32_t value = 123;
        EXPECT_EQ(parseUnsigned(text, &value), expected.has_value());
        EXPECT_EQ(value, expected.value_or(123));
    }
}

TEST(RawOptionLookup, MatchesSubstringsAndReadsToTheLineEnd) {
    const char* const cases[][3] = {
        {"port", "connect-timeout 100\r\nport    81\r\nbaudrate 9600", "81"},
        // The first occurrence counts, even inside a longer key.
        {"port", "iface-port 7\nport 80", "7"},
        // A key without a value takes the value of a later line.
        {"force-rescan", "force-rescan\nbaudrate 9600", "9600"},
        {"force-rescan", "force-rescan", ""},
        {"xonxoff", "xonxoff   ", ""},
        {"product-name", "product-name QMX Interface\nusb-vid 1027", "QMX Interface"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[1]);
        EXPECT_EQ(rawText(c[0], c[1]), c[2]);
    }
    EXPECT_EQ(rawUnsigned("port", "port http\n", 5), 0u);
    EXPECT_EQ(rawUnsigned("port", "baudrate 9600\n", 5), 5u);
    EXPECT_EQ(rawUnsigned("port", "port 99999999999", 0), kMax);
    EXPECT_TRUE(rawHas("force-rescan", "product-name no-force-rescan-here"));
}

struct RuleCase {
    const char* key;
    const char* text;
    VX_IO_Result result;
    uint32_t value;
};

TEST(OptionRules, NumericBoundsAndDefaults) {
    const RuleCase parsed[] = {
        {"rx-timeout", "rx-timeout soon", VX_IO_OK, 1000},
        {"discovery-timeout", "", VX_IO_OK, 100},
        {"ftdi-latency", "", VX_IO_OK, 2},
        {"ftdi-latency", "ftdi-latency 0", VX_IO_INVALID_OPTION, 0},
        {"ftdi-latency", "ftdi-latency 255", VX_IO_OK, 255},
        {"ftdi-latency", "ftdi-latency 256", VX_IO_INVALID_OPTION, 256},
        {"health-check", "", VX_IO_OK, 250},
        {"health-check", "health-check 0", VX_IO_OK, 0},
        {"health-check", "health-check 49", VX_IO_INVALID_OPTION, 49},
        {"health-check", "health-check 50", VX_IO_OK, 50},
        {"baudrate", "baudrate 0", VX_IO_INVALID_OPTION, 0},
        {"baudrate", "baudrate fast", VX_IO_INVALID_OPTION, 0},
    };
    for (const RuleCase& c : parsed) {
        SCOPED_TRACE(c.text);
        uint32_t value = 0;
        EXPECT_EQ(readUnsignedOption(parseOptions(c.text), c.key, &value), c.result);
        EXPECT_EQ(value, c.value);
    }
    const RuleCase raw[] = {
        {"port", "", VX_IO_OK, 0},
        {"port", "port 65535", VX_IO_OK, 65535},
        {"port", "port 65536", VX_IO_INVALID_OPTION, 65536},
        {"connect-timeout", "", VX_IO_OK, 5000},
        {"baudrate", "", VX_IO_INVALID_OPTION, 0},
    };
    for (const RuleCase& c : raw) {
        SCOPED_TRACE(c.text);
        uint32_t value = 0;
        EXPECT_EQ(readRawUnsignedOption(c.text, c.key, &value), c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(OptionRules, WordOptions) {
    const char* const cases[][4] = {
        // key, option text, expected value, "ok" or "bad"
        {"locator-format-usb", "", "sn", "ok"},
        {"locator-format-usb", "locator-format-usb id", "id", "ok"},
        {"locator-format-usb", "locator-format-usb ID", "ID", "bad"},
        {"locator-format-network", "locator-format-network host", "host", "ok"},
        {"ftdi-flow-control", "", "", "ok"},
        {"ftdi-flow-control", "ftdi-flow-control", "", "bad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[1]);
        std::string value;
        EXPECT_EQ(readChoiceOption(parseOptions(c[1]), c[0], &value),
                  std::string(c[3]) == "ok" ? VX_IO_OK : VX_IO_INVALID_OPTION);
        EXPECT_EQ(value, c[2]);
    }
}

}  // namespace
}  // namespace vxio
