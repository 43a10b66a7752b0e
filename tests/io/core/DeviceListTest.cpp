#include <gtest/gtest.h>

#include <algorithm>

#include "core/DeviceList.h"
#include "core/Locator.h"
#include "core/Transports.h"
#include "ftdi/UsbShortList.h"

namespace vxio {
namespace {

TEST(DeviceListEscaping, EscapesPercentNewlineBarAndEqualsOnly) {
    EXPECT_EQ(escapeValue("a|b=c%d\ne\rf"), "a%7Cb%3Dc%25d%0Ae\rf");
    EXPECT_EQ(escapeValue("%0A"), "%250A");
    EXPECT_EQ(escapeValue(""), "");
}

TEST(DeviceListEscaping, ValuesReadBackUnchanged) {
    const std::string values[] = {"|=%\n", "%3D%7C%25%0A", "100%", "%%", "a\r\nb", "%zz", "plain"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        const std::string escaped = escapeValue(value);
        EXPECT_EQ(escaped.find_first_of("|=\n"), std::string::npos);
        EXPECT_EQ(unescapeValue(escaped), value);
    }
}

class DeviceListWriting : public ::testing::Test {
protected:
    const DeviceList devices{
        {{"iface-type", "usb"}, {"device-sn", "S1|x"}, {"locator", "usb:sn:S1"}},
        {{"iface-type", "network"}, {"locator", "network:h=1"}},
        {{"iface-type", "serial"}, {"name", "ttyS0"}},
    };
    std::string write(const char* options) const {
        return writeDeviceList(devices, parseOptions(options));
    }
};

TEST_F(DeviceListWriting, SelectedKeysFollowOptionOrder) {
    EXPECT_EQ(write("include-device-sn\ninclude-locator"),
              "device-sn=S1%7Cx|locator=usb:sn:S1\nlocator=network:h%3D1");
    EXPECT_EQ(write("include-locator\ninclude-device-sn"),
              "locator=usb:sn:S1|device-sn=S1%7Cx\nlocator=network:h%3D1");
}

TEST_F(DeviceListWriting, AKeyGivenTwiceIsWrittenTwice) {
    EXPECT_EQ(write("include-name\ninclude-name"), "name=ttyS0|name=ttyS0");
}

TEST_F(DeviceListWriting, OnlyLocatorWinsAndWritesLocatorsUnescaped) {
    EXPECT_EQ(write("include-all\nonly-locator\ninclude-name"), "usb:sn:S1\nnetwork:h=1");
}

TEST_F(DeviceListWriting, IncludeAllWritesEveryPropertyOfEveryRecord) {
    const std::string text = write("include-name\ninclude-all");
    const std::vector<std::string> expected{
        "device-sn=S1%7Cx", "iface-type=usb", "locator=usb:sn:S1", "iface-type=network",
        "locator=network:h%3D1", "iface-type=serial", "name=ttyS0"};
    for (const std::string& pair : expected) EXPECT_NE(text.find(pair), std::string::npos) << pair;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(std::count(text.begin(), text.end(), '|'), 4);
}

TEST_F(DeviceListWriting, RecordsWithoutSelectedPropertiesGiveNoLine) {
    EXPECT_EQ(write("include-usb-id"), "");
    EXPECT_EQ(write("include-name"), "name=ttyS0");
    EXPECT_EQ(writeDeviceList({}, parseOptions("include-all")), "");
}

struct LocatorCase {
    const char* locator;
    VX_IO_Result result;
    int type;
};

TEST(LocatorKinds, TextBeforeTheFirstColonNamesTheKind) {
    const LocatorCase cases[] = {
        {"usb:sn:A1", VX_IO_OK, VX_IO_IFACE_USB},
        {"usb:id:12:extra", VX_IO_OK, VX_IO_IFACE_USB},
        {"network:192.168.1.2:2000", VX_IO_OK, VX_IO_IFACE_NETWORK},
        {"serial:COM3", VX_IO_OK, VX_IO_IFACE_SERIAL},
        {"serial:", VX_IO_OK, VX_IO_IFACE_SERIAL},
        {"USB:sn:A1", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
        {"usb", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
        {"", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
        {":usb", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
        {"tcp:1.2.3.4", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
        {" usb:sn:A1", VX_IO_INVALID_LOCATOR, VX_IO_IFACE_UNKNOWN},
    };
    for (const LocatorCase& c : cases) {
        SCOPED_TRACE(c.locator);
        int type = 77;
        EXPECT_EQ(locatorInterfaceType(c.locator, &type), c.result);
        EXPECT_EQ(type, c.type);
    }
}

struct SplitCase {
    const char* locator;
    int type;
    const char* rest;
    std::vector<std::string> pieces;
};

TEST(LocatorKinds, TheKindIsReadOnceAndTheRestSplitOnColons) {
    const SplitCase cases[] = {
        {"usb:sn:A1", VX_IO_IFACE_USB, "sn:A1", {"sn", "A1"}},
        {"network::10.0.0.2::5000:", VX_IO_IFACE_NETWORK, ":10.0.0.2::5000:", {"10.0.0.2", "5000"}},
        {"serial:", VX_IO_IFACE_SERIAL, "", {}},
        {"serial:/dev/ttyS0", VX_IO_IFACE_SERIAL, "/dev/ttyS0", {"/dev/ttyS0"}},
        {"tcp:1.2.3.4", VX_IO_IFACE_UNKNOWN, "", {}},
        {"usb", VX_IO_IFACE_UNKNOWN, "", {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.locator);
        const ParsedLocator parsed = parseLocator(c.locator);
        const Transport* transport = parsed.transport;
        EXPECT_EQ(transport != nullptr ? transport->interfaceType : VX_IO_IFACE_UNKNOWN, c.type);
        EXPECT_EQ(parsed.rest, c.rest);
        EXPECT_EQ(parsed.pieces, c.pieces);
    }
}

TEST(TransportTable, EachKindAndTypeHasOneRow) {
    for (const Transport* transport : kTransports) {
        SCOPED_TRACE(transport->kind);
        EXPECT_EQ(transportOfKind(transport->kind), transport);
        EXPECT_EQ(transportOfType(transport->interfaceType), transport);
        EXPECT_NE(transport->createDevice, nullptr);
    }
    EXPECT_EQ(transportOfKind("all"), nullptr);
    EXPECT_EQ(transportOfType(VX_IO_IFACE_ALL), nullptr);
}

struct ShortListCase {
    const char* options;
    VX_IO_Result result;
    const char* line;
};

TEST(UsbShortList, FieldsFollowTheIncludeKeysInFixedOrder) {
    UsbAdapterSummary adapter;
    adapter.chipId = 305419896;
    adapter.vendorId = 1027;
    adapter.productId = 24596;
    adapter.description = "QMX Interface A";
    adapter.serialNumber = "FT12AB";
    const ShortListCase cases[] = {
        {"", VX_IO_OK, "usb"},
        {"include-id", VX_IO_OK, "usb:id:305419896"},
        {"canonical-locator", VX_IO_OK, "usb:sn:FT12AB"},
        {"include-sn 1\ninclude-id 1", VX_IO_OK, "usb:id:305419896:sn:FT12AB"},
        {"include-ds\ninclude-usb-pid\ninclude-usb-vid", VX_IO_OK,
         "usb:usb-vid:1027:usb-pid:24596:ds:QMX Interface A"},
        {"canonical-locator\ninclude-id", VX_IO_INVALID_OPTION, nullptr},
        {"canonical-locator\ninclude-sn", VX_IO_INVALID_OPTION, nullptr},
        {"canonical-locator\ninclude-usb-vid", VX_IO_INVALID_OPTION, nullptr},
    };
    for (const ShortListCase& c : cases) {
        SCOPED_TRACE(c.options);
        ShortListFields fields;
        ASSERT_EQ(readShortListFields(c.options, &fields), c.result);
        if (c.line != nullptr) {
            EXPECT_EQ(usbShortListLine(adapter, fields), c.line);
        }
    }
}

}  // namespace
}  // namespace vxio
