#include "UsbTestSupport.h"

namespace usbtest {
namespace {

class UsbListTest : public UsbTest {};

constexpr char kSerials[] = "canonical-locator";
constexpr char kSearchAll[] = "iface-type usb\ninclude-all";

TEST_F(UsbListTest, CachedListServesEnumerationsFor1500msUnlessForced) {
    plug(Adapter().sn("A1"));
    EXPECT_EQ("usb:sn:A1", enumerate(1, kSerials).text);

    plug(Adapter().sn("B2"));
    advanceClock(1499ms);
    EXPECT_EQ("usb:sn:A1", enumerate(1, kSerials).text);
    EXPECT_EQ(1u, records(enumerate(9999, kSearchAll).text).size());

    advanceClock(1ms);
    EXPECT_EQ("usb:sn:A1\nusb:sn:B2", enumerate(1, kSerials).text);

    plug(Adapter().sn("C3"));
    EXPECT_EQ("usb:sn:A1\nusb:sn:B2", enumerate(1, kSerials).text);
    EXPECT_EQ("usb:sn:A1\nusb:sn:B2\nusb:sn:C3",
              enumerate(1, std::string(kSerials) + "\nforce-rescan").text);
    EXPECT_EQ(3u, calls({"FT_CreateDeviceInfoList"}).size())
        << "the first scan, one after 1500 ms, one forced";
}

TEST_F(UsbListTest, EmptyDriverListGivesEmptyText) {
    EXPECT_EQ(VX_IO_OK, enumerate(1, "include-id").result);
    EXPECT_EQ("", enumerate(1, "include-id\nforce-rescan").text);
    EXPECT_EQ(VX_IO_OK, enumerate(9999, kSearchAll).result);
    EXPECT_TRUE(calls({"FTID_GetNumDevices", "FT_GetDeviceInfoList"}).empty());
}

TEST_F(UsbListTest, TwoChannelChipIsListedOnceByChannelAWithSuffixesCut) {
    const Adapter sensor = Adapter().sn("FT12").desc("Veltrax Sensor");
    const VxFtdiAdapterSpec spec = specOf(sensor);
    int channelB = 0;
    ftdi().addDualAdapter(&spec, &channelB);
    // A high-speed chip of another type keeps its " A".
    plug(Adapter().sn("HS9").desc("Other A").ofType(8).withFlags(VXFTDI_FLAG_HIGH_SPEED));

    EXPECT_EQ("usb:ds:Veltrax Sensor A:sn:FT12\nusb:ds:Other A:sn:HS9",
              enumerate(1, "include-ds\ninclude-sn").text);
    EXPECT_EQ("usb:sn:FT12", enumerate(1, "canonical-locator\nproduct-name Veltrax Sensor").text);
    EXPECT_EQ("", enumerate(1, "canonical-locator\nproduct-name Other").text);

    const auto found = records(enumerate(9999, kSearchAll).text);
    ASSERT_EQ(2u, found.size());
    EXPECT_EQ("Veltrax Sensor A", found[0].at("usb-desc"));
    EXPECT_EQ("FT12", found[0].at("device-sn"));
    EXPECT_EQ("usb:sn:FT12", found[0].at("locator"));
    EXPECT_EQ(1u, records(enumerate(9999, "iface-type usb\ninclude-locator\n"
                                          "find-usb-product-name Veltrax Sensor")
                              .text)
                      .size());
}

TEST_F(UsbListTest, ShortListSkipsOpenedAdaptersSearchOnlyWhenAsked) {
    plug(Adapter().sn("BUSY").withFlags(VXFTDI_FLAG_OPENED));
    plug(Adapter().sn("FREE"));
    plug(Adapter().sn("ODD").ofType(VXFTDI_TYPE_UNKNOWN));

    EXPECT_EQ("usb:sn:FREE\nusb:sn:ODD", enumerate(1, kSerials).text);
    EXPECT_EQ("usb:sn:BUSY\nusb:sn:FREE", enumerate(9999, "iface-type usb\nonly-locator").text);
    EXPECT_EQ("usb:sn:FREE",
              enumerate(9999, "iface-type usb\nonly-locator\nfind-only-available").text);
}

struct FilterCase {
    const char* options;
    const char* expected;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << "'" << c.options << "'"; }

class UsbShortListFilterTest : public UsbListTest,
                               public ::testing::WithParamInterface<FilterCase> {};

TEST_P(UsbShortListFilterTest, SelectsByProductNameVendorAndProductId) {
    plug(Adapter().sn("Q1").desc("Veltrax QMX-I").product(0x6001));
    plug(Adapter().sn("Q2").desc("Veltrax QMX2").product(0x6015));
    plug(Adapter().sn("Z3").desc("Veltrax ZBU-3D").vendor(0x1234));
    EXPECT_EQ(GetParam().expected,
              enumerate(1, std::string("include-sn\n") + GetParam().options).text);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, UsbShortListFilterTest,
    ::testing::Values(FilterCase{"", "usb:sn:Q1\nusb:sn:Q2\nusb:sn:Z3"},
                      FilterCase{"product-name Veltrax QMX2", "usb:sn:Q2"},
                      FilterCase{"product-name Veltrax", ""},
                      FilterCase{"usb-pid 24597", "usb:sn:Q2"},
                      FilterCase{"usb-vid 4660", "usb:sn:Z3"},
                      FilterCase{"usb-vid 1027\nusb-pid 24577", "usb:sn:Q1"},
                      FilterCase{"usb-vid 1027\nproduct-name Veltrax ZBU-3D", ""}));

TEST_F(UsbListTest, ShortListWritesFieldsInFixedOrder) {
    plug(Adapter().sn("S1").desc("Veltrax QMX2").vendor(0x0403).product(0x6015).chip(77));
    EXPECT_EQ("usb:id:77", enumerate(1, "include-id").text);
    EXPECT_EQ("usb:id:77:usb-vid:1027:usb-pid:24597:ds:Veltrax QMX2:sn:S1",
              enumerate(1, "include-sn\ninclude-ds\ninclude-usb-pid\ninclude-usb-vid\ninclude-id")
                  .text);
    EXPECT_EQ(VX_IO_INVALID_OPTION, enumerate(1, "canonical-locator\ninclude-ds").result);
    EXPECT_EQ("usb", enumerate(1, "").text);
}

TEST_F(UsbListTest, ChipIdsAreReadOnceUntilTheNextRescan) {
    plug(Adapter().sn("S1").chip(11));
    plug(Adapter().sn("S2").chip(22));
    ftdi().clearCallLog();
    EXPECT_EQ("usb:id:11\nusb:id:22", enumerate(1, "include-id").text);
    EXPECT_EQ((std::vector<std::string>{"FTID_GetNumDevices()", "FT_Open(0)",
                                        "FTID_GetChipIDFromHandle()", "FT_Close()", "FT_Open(1)",
                                        "FTID_GetChipIDFromHandle()", "FT_Close()"}),
              calls({"FTID_GetNumDevices", "FT_Open", "FTID_GetChipIDFromHandle", "FT_Close"}));
    EXPECT_EQ(0, ftdi().openHandleCount());

    ftdi().clearCallLog();
    EXPECT_EQ("usb:id:11\nusb:id:22", enumerate(1, "include-id").text);
    EXPECT_TRUE(calls({"FT_Open"}).empty());
    EXPECT_EQ("usb:id:11\nusb:id:22", enumerate(1, "include-id\nforce-rescan").text);
    EXPECT_EQ(2u, calls({"FT_Open"}).size());
}

struct FailureCase {
    const char* function;
    const char* options;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.function << " fails"; }

class UsbShortListFailureTest : public UsbListTest,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UsbShortListFailureTest, DriverQueryFailureGives13) {
    plug(Adapter{});
    ftdi().failCall(GetParam().function, VXFTDI_OTHER_ERROR, 1);
    EXPECT_EQ(VX_IO_LIST_QUERY_FAILED, enumerate(1, GetParam().options).result);
    EXPECT_EQ(0, ftdi().openHandleCount());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UsbShortListFailureTest,
    ::testing::Values(FailureCase{"FT_CreateDeviceInfoList", "include-sn"},
                      FailureCase{"FT_GetDeviceInfoList", "include-sn"},
                      FailureCase{"FTID_GetNumDevices", "include-id"},
                      FailureCase{"FT_Open", "include-id"},
                      FailureCase{"FTID_GetChipIDFromHandle", "include-id"}));

TEST_F(UsbListTest, FailedShortListLeavesTheEmptyText) {
    plug(Adapter().sn("S1"));
    ftdi().failCall("FT_CreateDeviceInfoList", VXFTDI_OTHER_ERROR, 1);
    for (const auto& [options, expected] :
         {std::pair{"include-sn", VX_IO_LIST_QUERY_FAILED},
          std::pair{"canonical-locator\ninclude-ds", VX_IO_INVALID_OPTION}}) {
        char buffer[32] = "stale text";
        size_t length = sizeof(buffer);
        EXPECT_EQ(expected, VX_IO_EnumerateDevices(1, options, buffer, &length)) << options;
        EXPECT_EQ(0u, length) << options;
        EXPECT_STREQ("", buffer) << options;
    }
}

TEST_F(UsbListTest, ShortListTooSmallBufferGives12AndTheNeededLength) {
    plug(Adapter().sn("S1"));
    const Listing listing = enumerate(1, kSerials, 1);
    EXPECT_EQ(VX_IO_BUFFER_TOO_SMALL, listing.result);
    EXPECT_EQ(std::string("usb:sn:S1").size(), listing.length);
}

TEST_F(UsbListTest, SearchRecordsCarryIdsAndFollowTheLocatorFormat) {
    plug(Adapter().sn("S1").desc("Veltrax QMX2").product(0x6015).chip(501));
    plug(Adapter().sn("S2").chip(0));
    plug(Adapter().sn("S3").chip(503).withFlags(VXFTDI_FLAG_OPENED));

    const auto found = records(enumerate(9999, kSearchAll).text);
    ASSERT_EQ(3u, found.size());
    EXPECT_EQ((std::map<std::string, std::string>{{"iface-type", "usb"},
                                                  {"usb-vid", "1027"},
                                                  {"usb-pid", "24597"},
                                                  {"usb-desc", "Veltrax QMX2"},
                                                  {"device-sn", "S1"},
                                                  {"locator", "usb:sn:S1"},
                                                  {"usb-id", "501"}}),
              found[0]);
    EXPECT_EQ(0u, found[1].count("usb-id")) << "chip id 0 is not written";
    EXPECT_EQ(0u, found[2].count("usb-id")) << "an adapter held elsewhere cannot be asked";

    EXPECT_EQ("usb:id:501\nusb:id:0\nusb:id:0",
              enumerate(9999, "iface-type usb\nonly-locator\nlocator-format-usb id").text);
    EXPECT_EQ(VX_IO_INVALID_OPTION,
              enumerate(9999, "iface-type usb\nonly-locator\nlocator-format-usb ix").result);
}

TEST_F(UsbListTest, SearchFiltersBySets) {
    plug(Adapter().sn("Q1").desc("Veltrax QMX-I").product(0x6001));
    plug(Adapter().sn("Q2").desc("Veltrax QMX2").product(0x6015));
    plug(Adapter().sn("Z3").desc("Veltrax ZBU-3D").vendor(0x1234));
    const std::string base = "iface-type usb\nonly-locator\n";
    EXPECT_EQ("usb:sn:Q1\nusb:sn:Z3",
              enumerate(9999, base + "find-usb-product-name Veltrax QMX-I\n"
                                     "find-usb-product-name Veltrax ZBU-3D")
                  .text);
    EXPECT_EQ("usb:sn:Q1\nusb:sn:Q2", enumerate(9999, base + "find-usb-vid 1027").text);
    EXPECT_EQ("usb:sn:Q2", enumerate(9999, base + "find-usb-pid 24597").text);
    EXPECT_EQ("usb:sn:Z3", enumerate(9999, base + "find-usb-pid 24577\nfind-usb-vid 4660").text);
    EXPECT_EQ(VX_IO_INVALID_OPTION, enumerate(9999, base + "find-usb-vid many").result);
    EXPECT_EQ(VX_IO_INVALID_OPTION, enumerate(9999, base + "find-protocol-id x").result);
    // The first-generation controller is known by its description; the
    // probe of Q2 finds nothing behind it.
    EXPECT_EQ("usb:sn:Q1", enumerate(9999, base + "find-protocol-id 146").text);
    EXPECT_EQ("usb:sn:Q1\nusb:sn:Z3",
              enumerate(9999, base + "find-protocol-id 147\nfind-protocol-id 146").text);
}

}  // namespace
}  // namespace usbtest
