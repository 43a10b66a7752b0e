#include <set>
#include <string>

#include <gtest/gtest.h>

#include "NetworkPeers.h"
#include "discovery/Host.h"
#include "network/DiscoveryTable.h"
#include "network/NetworkLocator.h"

using namespace nettest;

namespace {

const std::string kOn0 = "iface network:" + kIface0 + "\ndiscovery-timeout 200\n";

}  // namespace

TEST(NetworkEnumeration, ListsEveryPropertyOfADiscoveredDevice) {
    vxsim::DiscoveryIdentity identity;
    identity.deviceType = 131073;
    identity.protocolId = 3;
    identity.port = 2001;
    identity.info = "stage rack | left";
    auto device = farDevice("ENUM-1", 0, identity);

    auto found = enumerateBySerial(kOn0);
    ASSERT_EQ(found.count("ENUM-1"), 1u);
    const Record expected{
        {"iface-type", "network"},       {"network-host", vxtest::netns::FarAddress0},
        {"network-port", "2001"},        {"device-type", "131073"},
        {"device-sn", "ENUM-1"},         {"available", "1"},
        {"protocol-id", "3"},            {"locator", "network:sn:ENUM-1"},
        {"iface", "network:" + kIface0}, {"device-info", "stage rack | left"},
    };
    EXPECT_EQ(found["ENUM-1"], expected);
}

TEST(NetworkEnumeration, AllSearchesEveryInterface) {
    auto near = farDevice("ALL-0", 0);
    auto far = farDevice("ALL-1", 1);
    std::string text;
    ASSERT_EQ(enumerate("include-device-sn\ninclude-iface\niface network:all\ndiscovery-timeout 200\n", text),
              VX_IO_OK);
    std::set<std::pair<std::string, std::string>> seen;
    for (auto& record : parseList(text)) seen.insert({record["device-sn"], record["iface"]});
    EXPECT_EQ(seen.count({"ALL-0", "network:" + kIface0}), 1u) << text;
    EXPECT_EQ(seen.count({"ALL-1", "network:" + kIface1}), 1u) << text;
    EXPECT_EQ(seen.size(), 2u) << text;
}

TEST(NetworkEnumeration, DevicesAreFoundWhereverTheyAddressTheirReplies) {
    struct Device {
        const char* serial;
        int pair;
        vxsim::DiscoveryRoute route;
    };
    const Device devices[] = {
        {"LIMITED-0", 0, vxsim::DiscoveryRoute::LimitedBroadcast},
        {"SUBNET-0", 0, vxsim::DiscoveryRoute::Broadcast},
        {"UNICAST-0", 0, vxsim::DiscoveryRoute::Unicast},
        {"LIMITED-1", 1, vxsim::DiscoveryRoute::LimitedBroadcast},
    };
    std::vector<std::unique_ptr<vxsim::DiscoveryDevice>> running;
    std::set<std::pair<std::string, std::string>> expected;
    for (const auto& d : devices) {
        running.push_back(farDevice(d.serial, d.pair));
        running.back()->setReplyRoute(d.route);
        expected.insert({d.serial, "network:" + (d.pair == 0 ? kIface0 : kIface1)});
    }
    std::string text;
    ASSERT_EQ(enumerate("include-device-sn\ninclude-iface\niface network:all\ndiscovery-timeout 300\n", text),
              VX_IO_OK);
    const auto records = parseList(text);
    std::set<std::pair<std::string, std::string>> seen;
    for (auto record : records) seen.insert({record["device-sn"], record["iface"]});
    EXPECT_EQ(seen, expected) << text;
    EXPECT_EQ(records.size(), expected.size()) << text;
}

struct FilterCase {
    const char* options;
    VX_IO_Result result;
    std::set<std::string> serials;
};

class NetworkFilters : public testing::TestWithParam<FilterCase> {
protected:
    static void SetUpTestSuite() {
        vxsim::DiscoveryIdentity a, b, c;
        a.deviceType = 10, a.protocolId = 1, a.available = true;
        b.deviceType = 20, b.protocolId = 2, b.available = true;
        c.deviceType = 10, c.protocolId = 2, c.available = false;
        devices_.push_back(farDevice("F-A", 0, a));
        devices_.push_back(farDevice("F-B", 0, b));
        devices_.push_back(farDevice("F-C", 0, c));
    }
    static void TearDownTestSuite() { devices_.clear(); }
    static inline std::vector<std::unique_ptr<vxsim::DiscoveryDevice>> devices_;
};

TEST_P(NetworkFilters, ListOnlyMatchingDevices) {
    const FilterCase& c = GetParam();
    std::string text;
    ASSERT_EQ(enumerate(kOn0 + "include-device-sn\n" + c.options, text), c.result);
    std::set<std::string> serials;
    for (auto& record : parseList(text)) serials.insert(record["device-sn"]);
    EXPECT_EQ(serials, c.serials) << c.options;
}

INSTANTIATE_TEST_SUITE_P(
    FindKeys, NetworkFilters,
    testing::Values(FilterCase{"", VX_IO_OK, {"F-A", "F-B", "F-C"}},
                    FilterCase{"find-device-type 10", VX_IO_OK, {"F-A", "F-C"}},
                    FilterCase{"find-device-type 10\nfind-device-type 20", VX_IO_OK, {"F-A", "F-B", "F-C"}},
                    FilterCase{"find-protocol-id 2", VX_IO_OK, {"F-B", "F-C"}},
                    FilterCase{"find-device-sn F-B\nfind-device-sn F-C", VX_IO_OK, {"F-B", "F-C"}},
                    FilterCase{"find-only-available", VX_IO_OK, {"F-A", "F-B"}},
                    FilterCase{"find-device-type 10\nfind-only-available", VX_IO_OK, {"F-A"}},
                    FilterCase{"find-device-type 30", VX_IO_OK, {}},
                    FilterCase{"find-device-type ten", VX_IO_INVALID_OPTION, {}},
                    FilterCase{"find-protocol-id x", VX_IO_INVALID_OPTION, {}}));

TEST(NetworkEnumeration, WritesLocatorsInEitherFormat) {
    vxsim::DiscoveryIdentity identity;
    identity.port = 2345;
    auto device = farDevice("FMT-1", 0, identity);
    std::string text;
    ASSERT_EQ(enumerate(kOn0 + "only-locator\nfind-device-sn FMT-1\n", text), VX_IO_OK);
    EXPECT_EQ(text, "network:sn:FMT-1");
    ASSERT_EQ(enumerate(kOn0 + "only-locator\nfind-device-sn FMT-1\nlocator-format-network host\n", text), VX_IO_OK);
    EXPECT_EQ(text, std::string("network:") + vxtest::netns::FarAddress0 + ":2345");
    EXPECT_EQ(enumerate(kOn0 + "only-locator\nlocator-format-network ip\n", text), VX_IO_INVALID_OPTION);
}

TEST(NetworkEnumeration, InterfaceOptionRules) {
    auto device = farDevice("IF-1", 0);
    std::string text;
    EXPECT_EQ(enumerate("only-locator\niface network:0.0.0.0\n", text), VX_IO_INVALID_OPTION);
    EXPECT_EQ(enumerate("only-locator\niface network:192.0.2\n", text), VX_IO_INVALID_OPTION);
    // Without "iface" nothing is searched.
    ASSERT_EQ(enumerate("only-locator\n", text), VX_IO_OK);
    EXPECT_EQ(text, "");
    // An address that is no local interface cannot be served: no devices, no failure.
    ASSERT_EQ(enumerate("only-locator\niface network:10.255.0.1\ndiscovery-timeout 50\n", text), VX_IO_OK);
    EXPECT_EQ(text, "");
    // Values for other interface kinds are skipped.
    ASSERT_EQ(enumerate("only-locator\niface serial:ttyS0\n", text), VX_IO_OK);
    EXPECT_EQ(text, "");
}

TEST(NetworkEnumeration, DevicesThatStopAnsweringLeaveTheList) {
    auto device = farDevice("GONE-1", 0);
    EXPECT_EQ(enumerateBySerial(kOn0).count("GONE-1"), 1u);
    device->setSilent(true);
    EXPECT_EQ(enumerateBySerial(kOn0).count("GONE-1"), 0u);
}

TEST(NetworkEnumeration, SerialNumbersThatWouldCorruptListsAreIgnored) {
    auto good = farDevice("SAFE-1", 0);
    auto colon = farDevice("EVIL:1", 0);
    auto newline = farDevice("EVIL\nlocator=network:sn:X", 0);
    auto control = farDevice(std::string("EVIL\x01", 5), 0);
    std::string text;
    ASSERT_EQ(enumerate(kOn0 + "only-locator\n", text), VX_IO_OK);
    EXPECT_EQ(text, "network:sn:SAFE-1");
}

TEST(NetworkEnumeration, ADeadDiscoveryHostIsReplaced) {
    vxsim::DiscoveryIdentity identity;
    identity.port = 3000;
    auto device = farDevice("REVIVE-1", 0, identity);
    ASSERT_EQ(enumerateBySerial(kOn0)["REVIVE-1"]["network-port"], "3000");

    // As if its receive thread had ended on a socket error.
    auto host = vxio::DiscoveryInterfaceTable::instance().hostOf(vxio::parseIPv4(kIface0));
    ASSERT_TRUE(host);
    host->Stop();
    ASSERT_FALSE(host->IsRunning());

    device->setPort(3001);
    // A dead host would keep the stale record; a new one hears the new port.
    EXPECT_EQ(enumerateBySerial(kOn0)["REVIVE-1"]["network-port"], "3001");
    EXPECT_NE(vxio::DiscoveryInterfaceTable::instance().hostOf(vxio::parseIPv4(kIface0)), host);
}

TEST(NetworkInterfaces, ListsTheTestInterfaces) {
    std::vector<char> buffer(4096);
    size_t length = buffer.size();
    ASSERT_EQ(VX_IO_EnumerateInterfaces("iface-type network\ninclude-all\n", buffer.data(), &length), VX_IO_OK);
    const auto records = parseList(std::string(buffer.data(), length));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (Record{{"iface-type", "network"},
                                  {"network-host", kIface0},
                                  {"network-subnet-mask", "255.255.255.0"},
                                  {"name", vxtest::netns::NearIface0}}));
    EXPECT_EQ(records[1].at("network-host"), kIface1);
    EXPECT_EQ(records[1].at("name"), vxtest::netns::NearIface1);
}

TEST(DiscoveryTable, PurgeKeepsOnlyInterfacesThatRaiseEvents) {
    auto& table = vxio::DiscoveryInterfaceTable::instance();
    const uint32_t iface0 = vxio::parseIPv4(kIface0);
    const uint32_t iface1 = vxio::parseIPv4(kIface1);
    std::string text;
    ASSERT_EQ(enumerate("only-locator\niface network:all\ndiscovery-timeout 10\n", text), VX_IO_OK);
    ASSERT_TRUE(table.hostOf(iface0));
    ASSERT_EQ(VX_IO_SetGlobalOptions(("discovery-iface network:" + kIface1).c_str()), VX_IO_OK);

    table.purgeInterfaceEntries(0);
    EXPECT_FALSE(table.hostOf(iface0));
    auto host = table.hostOf(iface1);
    ASSERT_TRUE(host);
    EXPECT_TRUE(host->IsRunning());

    ASSERT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:none"), VX_IO_OK);
    table.purgeInterfaceEntries(0);
    EXPECT_FALSE(table.hostOf(iface1));
    // A purged interface's host is stopped.
    EXPECT_FALSE(host->IsRunning());
}
