// The device search: the option texts its option lines make, how the lists
// of its searches are joined, and the USB search against the FTDI driver
// double. None of these searches the network.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "VeltraxCTL.h"
#include "VeltraxIO.h"
#include "search/DeviceListReader.h"
#include "search/DeviceSearch.h"
#include "platform/Text.h"
#include "sim/Gen2Simulator.h"

namespace {

const std::string kBase = "find-only-available\nfind-device-type 2\n";
const std::string kUsb =
    "iface-type usb\nfind-usb-product-name Veltrax QMX2\nfind-usb-product-name Veltrax WEM Eval Board\n"
    "find-usb-product-name Veltrax ZBU FB\n";
const std::string kNetwork = "iface-type network\niface network:all\n";
const std::string kSerial = "iface-type serial\n";

struct OptionCase {
    const char* lines;
    std::vector<std::string> searches;
};

TEST(DeviceSearchOptions, EachLineSwitchesItsSearchOrFormat) {
    const std::string plain = kBase + "only-locator\n";
    const std::string extended = kBase + "include-locator\n";
    const std::vector<OptionCase> cases = {
        {"", {plain + kUsb, plain + kNetwork}},
        {"no-network-devices\nextended-format", {extended + kUsb}},
        {"no-network-devices \nextended-format ", {plain + kUsb, plain + kNetwork}},
        {"\n\ninclude-serial-devices\n\nno-network-devices\n", {plain + kUsb, plain + kSerial}},
        {"include-serial-devices\nNo-Network-Devices", {plain + kUsb, plain + kNetwork, plain + kSerial}},
    };
    for (const OptionCase& c : cases) EXPECT_EQ(c.searches, vxctl::searchOptionTexts(c.lines)) << c.lines;
}

// Answers each search from a script, as the I/O library does: the text and
// its zero byte when both fit, else 12 with the size untouched.
struct Answer {
    VX_IO_Result result;
    std::string list;
};

class ScriptedSearches {
public:
    explicit ScriptedSearches(std::deque<Answer> answers) : answers_(std::move(answers)) {}

    vxctl::Enumerate enumerate() {
        return [this](int type, const char* options, char* buffer, size_t* size) {
            EXPECT_EQ(VX_IO_IFACE_ALL, type);
            searches.push_back(options);
            const Answer answer = answers_.front();
            answers_.pop_front();
            if (answer.result != VX_IO_OK) return answer.result;
            if (*size < answer.list.size() + 1) return VX_IO_Result{VX_IO_BUFFER_TOO_SMALL};
            std::memcpy(buffer, answer.list.c_str(), answer.list.size() + 1);
            *size = answer.list.size();
            return VX_IO_Result{VX_IO_OK};
        };
    }

    std::vector<std::string> searches;

private:
    std::deque<Answer> answers_;
};

struct JoinCase {
    const char* name;
    const char* options;
    std::deque<Answer> answers;
    size_t capacity;
    VX_CTL_Result result;
    size_t length;
    const char* list;  // checked on success
};

TEST(DeviceSearchJoin, ListsAreJoinedByOneLineFeed) {
    const std::vector<JoinCase> cases = {
        {"both found", "", {{0, "usb:sn:A"}, {0, "network:sn:B\nnetwork:sn:C"}}, 64, VX_CTL_OK, 34,
         "usb:sn:A\nnetwork:sn:B\nnetwork:sn:C"},
        {"first finds nothing", "", {{0, ""}, {0, "network:sn:B"}}, 64, VX_CTL_OK, 12, "network:sn:B"},
        {"last finds nothing", "", {{0, "usb:sn:A"}, {0, ""}}, 64, VX_CTL_OK, 8, "usb:sn:A"},
        {"nothing anywhere", "", {{0, ""}, {0, ""}}, 64, VX_CTL_OK, 0, ""},
        {"no driver, network found", "", {{VX_IO_DRIVER_NOT_AVAILABLE, ""}, {0, "network:sn:B"}}, 64, VX_CTL_OK,
         12, "network:sn:B"},
        {"a failed search adds no separator", "include-serial-devices",
         {{0, "usb:sn:A"}, {VX_IO_LIST_QUERY_FAILED, ""}, {0, "serial:/dev/ttyS0"}}, 64, VX_CTL_OK, 26,
         "usb:sn:A\nserial:/dev/ttyS0"},
        {"capacity equal to the length", "", {{0, "usb:sn:A"}, {0, "network:sn:B"}}, 21,
         VX_CTL_INVALID_QUERYBUFFER_SIZE, 21, nullptr},
        {"capacity one more", "", {{0, "usb:sn:A"}, {0, "network:sn:B"}}, 22, VX_CTL_OK, 21,
         "usb:sn:A\nnetwork:sn:B"},
        // 15 + LF + 15 leave one byte of 32 before the serial list: no room
        // for it, so the buffer is too small.
        {"lists before the last fill all but one byte", "include-serial-devices",
         {{0, "usb:sn:QMX2-001"}, {0, "network:sn:N-01"}, {0, "serial:/dev/serial/by-id/usb-QMX2-0001"}}, 32,
         VX_CTL_INVALID_QUERYBUFFER_SIZE, 32, nullptr},
        {"every list with room for all", "include-serial-devices",
         {{0, "usb:sn:QMX2-001"}, {0, "network:sn:N-01"}, {0, "serial:/dev/serial/by-id/usb-QMX2-0001"}}, 71,
         VX_CTL_OK, 70, "usb:sn:QMX2-001\nnetwork:sn:N-01\nserial:/dev/serial/by-id/usb-QMX2-0001"},
        {"every search failed, no driver last", "no-network-devices", {{VX_IO_DRIVER_NOT_AVAILABLE, ""}}, 64,
         VX_CTL_DRIVER_FAILED, 0, nullptr},
        {"every search failed, other last", "", {{VX_IO_DRIVER_NOT_AVAILABLE, ""}, {VX_IO_LIST_QUERY_FAILED, ""}},
         64, VX_CTL_COMMUNICATION_FAILED, 0, nullptr},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSearches script(c.answers);
        std::vector<char> buffer(c.capacity + 1, 'x');
        size_t length = c.capacity;
        EXPECT_EQ(c.result, vxctl::findDevices(c.options, buffer.data(), &length, script.enumerate()));
        EXPECT_EQ(c.length, length);
        if (c.list) {
            EXPECT_STREQ(c.list, buffer.data());
        }
        EXPECT_EQ(c.answers.size(), script.searches.size());
    }
}

TEST(DeviceSearchJoin, NullOptionsAreNoLines) {
    ScriptedSearches script({{0, ""}, {0, ""}});
    char buffer[8];
    size_t length = sizeof buffer;
    EXPECT_EQ(VX_CTL_OK, vxctl::findDevices(nullptr, buffer, &length, script.enumerate()));
    EXPECT_EQ(2u, script.searches.size());
}

// Controllers behind adapters of the driver double.
class UsbSearch : public ::testing::Test {
protected:
    // The I/O library reads the driver's list at most every 1500 ms: the
    // adapters of this test are read afresh, not an earlier test's list.
    static void rescan() {
        char list[4096];
        size_t length = sizeof list;
        ASSERT_EQ(VX_IO_OK, VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan", list, &length));
    }
    std::string find(const char* options, VX_CTL_Result expected = VX_CTL_OK) {
        char buffer[512];
        size_t length = sizeof buffer;
        EXPECT_EQ(expected, VX_CTL_FindDevices(options, buffer, &length));
        return expected == VX_CTL_OK ? std::string(buffer, length) : std::string();
    }

    vxsim::Gen2Simulator first_;
    vxsim::Gen2Simulator second_;
};

TEST_F(UsbSearch, ListsControllerAdaptersByProductName) {
    first_.attachUsb({"S=1|2", "Veltrax QMX2", 0x5E000001});
    second_.attachUsb({"ZB-7", "Veltrax ZBU FB", 0x5E000002});
    vxsim::Gen2Simulator firstGeneration;
    firstGeneration.attachUsb({"QMX-9", "Veltrax QMX-I", 0x5E000003});
    rescan();

    std::vector<std::string> bare = vxplatform::splitText(find("no-network-devices"), "\n");
    std::sort(bare.begin(), bare.end());
    EXPECT_EQ((std::vector<std::string>{"usb:sn:S=1|2", "usb:sn:ZB-7"}), bare);

    const std::string extended = find("extended-format\nno-network-devices");
    EXPECT_NE(std::string::npos, extended.find("locator=usb:sn:S%3D1%7C2")) << extended;
    std::vector<std::string> read;
    for (const vxctl::DeviceRecord& record : vxctl::readDeviceList(extended)) read.push_back(record.at("locator"));
    std::sort(read.begin(), read.end());
    EXPECT_EQ(bare, read);
}

TEST_F(UsbSearch, TooSmallABufferGivesTheLength) {
    first_.attachUsb({"CAP-1", "Veltrax QMX2", 0x5E000011});
    rescan();
    char buffer[32];
    size_t length = std::strlen("usb:sn:CAP-1");
    EXPECT_EQ(VX_CTL_INVALID_QUERYBUFFER_SIZE, VX_CTL_FindDevices("no-network-devices", buffer, &length));
    length = sizeof buffer;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_FindDevices("no-network-devices", buffer, &length));
    EXPECT_STREQ("usb:sn:CAP-1", buffer);
}

}  // namespace
