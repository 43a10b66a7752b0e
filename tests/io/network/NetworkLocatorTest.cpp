#include <arpa/inet.h>

#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "core/Locator.h"
#include "network/NetworkLocator.h"
#include "network/NetworkTransport.h"

namespace {

// The one device the resolver knows: serial "AB12" at 10.1.2.3, announcing
// port 2000 (or none for serial "NOPORT").
VX_IO_Result knownDevice(const std::string& serial, const std::string&, vxio::ResolvedDevice& device) {
    if (serial != "AB12" && serial != "NOPORT") return VX_IO_DEVICE_NOT_FOUND;
    device.address = inet_addr("10.1.2.3");
    device.port = serial == "AB12" ? 2000 : 0;
    return VX_IO_OK;
}

// As an open reads a locator: its kind first, then the network transport's
// reading of the pieces after "network:".
VX_IO_Result parse(const std::string& options, const std::string& locator,
                   const vxio::SerialResolver& resolve, std::string& host, uint16_t& port) {
    const vxio::ParsedLocator parsed = vxio::parseLocator(locator);
    if (parsed.transport != &vxio::kNetworkTransport) return VX_IO_INVALID_LOCATOR;
    return vxio::parseNetworkLocator(options, parsed.pieces, resolve, host, port);
}

struct LocatorCase {
    const char* locator;
    const char* options;
    VX_IO_Result result;
    const char* host;  // expected on success
    uint16_t port;
};

void PrintTo(const LocatorCase& c, std::ostream* os) { *os << '"' << c.locator << "\" / \"" << c.options << '"'; }

class NetworkLocatorTable : public testing::TestWithParam<LocatorCase> {};

TEST_P(NetworkLocatorTable, GivesHostPortOrResult) {
    const LocatorCase& c = GetParam();
    std::string host = "unset";
    uint16_t port = 1;
    VX_IO_Result result = parse(c.options, c.locator, knownDevice, host, port);
    EXPECT_EQ(result, c.result) << c.locator << " / " << c.options;
    if (c.result == VX_IO_OK && result == VX_IO_OK) {
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NetworkLocatorTable,
    testing::Values(
        // host and port written
        LocatorCase{"network:192.168.1.20:5000", "", VX_IO_OK, "192.168.1.20", 5000},
        LocatorCase{"network:controller.lan:65535", "", VX_IO_OK, "controller.lan", 65535},
        // the written port beats the option
        LocatorCase{"network:192.168.1.20:5000", "port 4000", VX_IO_OK, "192.168.1.20", 5000},
        // a written 0 counts as no port
        LocatorCase{"network:192.168.1.20:0", "port 4000", VX_IO_OK, "192.168.1.20", 4000},
        LocatorCase{"network:192.168.1.20:0", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:192.168.1.20:65536", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:192.168.1.20:x1", "port 4000", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:192.168.1.20:-1", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:192.168.1.20:4294967296", "", VX_IO_INVALID_OPTION, "", 0},
        // a number is read as far as its digits go, as option values are
        LocatorCase{"network:192.168.1.20:5000x", "", VX_IO_OK, "192.168.1.20", 5000},
        // two pieces need the "port" option: there is no default port
        LocatorCase{"network:192.168.1.20", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:192.168.1.20", "port 4000", VX_IO_OK, "192.168.1.20", 4000},
        LocatorCase{"network:192.168.1.20", "port 0", VX_IO_INVALID_OPTION, "", 0},
        // the option is checked first, whatever the pieces
        LocatorCase{"network:192.168.1.20:5000", "port 70000", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:bogus:1:2:3", "port 70000", VX_IO_INVALID_OPTION, "", 0},
        // the kind is read before the option
        LocatorCase{"bogus", "port 70000", VX_IO_INVALID_LOCATOR, "", 0},
        // empty pieces vanish
        LocatorCase{"network::192.168.1.20::5000", "", VX_IO_OK, "192.168.1.20", 5000},
        // malformed
        LocatorCase{"network", "port 1", VX_IO_INVALID_LOCATOR, "", 0},
        LocatorCase{"network:", "port 1", VX_IO_INVALID_LOCATOR, "", 0},
        LocatorCase{"serial:COM1", "port 1", VX_IO_INVALID_LOCATOR, "", 0},
        LocatorCase{"Network:1.2.3.4:5", "", VX_IO_INVALID_LOCATOR, "", 0},
        LocatorCase{"network:1.2.3.4:5:6", "", VX_IO_INVALID_LOCATOR, "", 0},
        // serial number: written port, then option, then announced port
        LocatorCase{"network:sn:AB12", "", VX_IO_OK, "10.1.2.3", 2000},
        LocatorCase{"network:sn:AB12", "port 4000", VX_IO_OK, "10.1.2.3", 4000},
        LocatorCase{"network:sn:AB12:3000", "port 4000", VX_IO_OK, "10.1.2.3", 3000},
        LocatorCase{"network:sn:AB12:0", "", VX_IO_OK, "10.1.2.3", 2000},
        LocatorCase{"network:sn:AB12:65536", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:sn:NOPORT", "", VX_IO_INVALID_OPTION, "", 0},
        LocatorCase{"network:sn:NOPORT", "port 7", VX_IO_OK, "10.1.2.3", 7},
        LocatorCase{"network:sn:UNKNOWN", "port 7", VX_IO_DEVICE_NOT_FOUND, "", 0},
        LocatorCase{"network:sn:AB12:1:2", "", VX_IO_INVALID_LOCATOR, "", 0},
        // "sn" with two pieces is a host name
        LocatorCase{"network:sn", "port 9", VX_IO_OK, "sn", 9}));

TEST(NetworkLocator, ResolverResultEndsTheOpen) {
    auto badIface = [](const std::string&, const std::string&, vxio::ResolvedDevice&) {
        return VX_IO_INVALID_OPTION;
    };
    std::string host;
    uint16_t port = 0;
    EXPECT_EQ(parse("", "network:sn:X", badIface, host, port), VX_IO_INVALID_OPTION);
    // Without any resolver a serial number is never found.
    EXPECT_EQ(parse("", "network:sn:X", vxio::SerialResolver(), host, port),
              VX_IO_DEVICE_NOT_FOUND);
}

struct AddressCase {
    const char* text;
    const char* expect;  // dotted form, or null for invalid
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IPv4Table : public testing::TestWithParam<AddressCase> {};

TEST_P(IPv4Table, ParsesDottedDecimal) {
    const AddressCase& c = GetParam();
    uint32_t address = vxio::parseIPv4(c.text);
    if (!c.expect) {
        EXPECT_EQ(address, 0u) << c.text;
        return;
    }
    EXPECT_EQ(vxio::formatIPv4(address), c.expect);
    EXPECT_EQ(address, inet_addr(c.expect));  // first piece is the first byte
}

INSTANTIATE_TEST_SUITE_P(Addresses, IPv4Table,
                         testing::Values(AddressCase{"127.0.0.1", "127.0.0.1"},
                                         AddressCase{"10.200.3.255", "10.200.3.255"},
                                         AddressCase{"010.1.1.1", "10.1.1.1"},
                                         AddressCase{"0010.1.1.0255", "10.1.1.255"},
                                         AddressCase{"1.2.3.0256", nullptr},
                                         AddressCase{"0.0.0.0", nullptr},
                                         AddressCase{"256.1.1.1", nullptr},
                                         AddressCase{"1.2.3", nullptr},
                                         AddressCase{"1.2.3.4.5", nullptr},
                                         AddressCase{"1..3.4", nullptr},
                                         AddressCase{"1.2.3.-4", nullptr},
                                         AddressCase{"1.2.3.4 ", nullptr},
                                         AddressCase{"all", nullptr},
                                         AddressCase{"", nullptr}));

}  // namespace
