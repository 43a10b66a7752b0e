#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <limits>
#include <string>

#include "../Datagrams.h"
#include "../LogCapture.h"
#include "NetnsHelpers.h"
#include "discovery/Exceptions.h"
#include "support/Wait.h"

using namespace veltraxnd;
using namespace std::chrono_literals;
using namespace vxtest::netns;
using vxsim::DiscoveryRoute;
using vxtest::ipv4;

TEST(DiscoveryConnection, InterfaceListHoldsTheRunningNonLoopbackInterfaces) {
    const auto list = listNetworkInterfaces();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].adapterName, NearIface0);
    EXPECT_EQ(list[0].friendlyName, NearIface0);
    EXPECT_EQ(list[0].address, ipv4(NearAddress0));
    EXPECT_EQ(list[0].mask, ipv4("255.255.255.0"));
    EXPECT_EQ(list[1].address, ipv4(NearAddress1));
}

TEST(DiscoveryConnection, IdsAndNamesForTwoInterfaces) {
    auto connection = createConnection({ipv4(NearAddress0), ipv4(NearAddress1)});
    const char* names[] = {"192.0.2.1 (Broadcast)", "192.0.2.1 (Multicast)", "198.51.100.1 (Broadcast)",
                           "198.51.100.1 (Multicast)"};
    for (unsigned id = 1; id <= 4; ++id) EXPECT_EQ(connection->GetNetworkName(id), names[id - 1]);
    EXPECT_EQ(connection->GetNetworkName(0), "192.0.2.1 (Broadcast), 192.0.2.1 (Multicast), "
                                             "198.51.100.1 (Broadcast), 198.51.100.1 (Multicast)");
    EXPECT_EQ(vxtest::messageOf<InvalidArgumentException>([&] { connection->GetNetworkName(5); }),
              "Network id out of range");
    EXPECT_EQ(vxtest::messageOf<InvalidArgumentException>([&] { connection->Send(5, {1}); }), "Invalid network id");

    connection->Finish(true);
    EXPECT_EQ(connection->GetNetworkName(1), "");
    connection->Send(1, vxtest::discoverRequest());  // nothing, no failure
}

TEST(DiscoveryConnection, SendOnEveryNetworkReachesEachDevicesTwoListeners) {
    auto first = vxtest::farDevice(FarAddress0, "D0");
    auto second = vxtest::farDevice(FarAddress1, "D1");
    auto connection = createConnection({ipv4(NearAddress0), ipv4(NearAddress1)});
    connection->Send(0, vxtest::discoverRequest("nobody"));

    struct Expect {
        vxsim::DiscoveryDevice* device;
        const char* sender;
    };
    for (const auto& e : {Expect{first.get(), NearAddress0}, Expect{second.get(), NearAddress1}}) {
        ASSERT_TRUE(e.device->waitForRequests(2, 3s)) << e.sender;
        auto requests = e.device->requests();
        ASSERT_EQ(requests.size(), 2u) << e.sender;
        std::sort(requests.begin(), requests.end(),
                  [](const auto& a, const auto& b) { return a.viaMulticast < b.viaMulticast; });
        EXPECT_FALSE(requests[0].viaMulticast);
        EXPECT_EQ(requests[0].sender, e.sender);
        EXPECT_EQ(requests[0].senderPort, BroadcastPort);
        EXPECT_TRUE(requests[1].viaMulticast);
        EXPECT_EQ(requests[1].sender, e.sender);
        EXPECT_EQ(requests[1].senderPort, MulticastPort);
        EXPECT_EQ(requests[1].serialNumber, "nobody");
    }
}

TEST(DiscoveryConnection, SendOnOneIdUsesOnlyThatEntry) {
    auto device = vxtest::farDevice(FarAddress0, "D0");
    auto connection = createConnection({ipv4(NearAddress0)});
    connection->Send(2, vxtest::discoverRequest("nobody"));
    ASSERT_TRUE(device->waitForRequests(1, 3s));
    connection->Send(1, vxtest::discoverRequest("nobody"));
    ASSERT_TRUE(device->waitForRequests(2, 3s));
    const auto requests = device->requests();
    EXPECT_TRUE(requests[0].viaMulticast);
    EXPECT_FALSE(requests[1].viaMulticast);
    EXPECT_FALSE(device->waitForRequests(3, 100ms));
}

TEST(DiscoveryConnection, RepliesArriveWithTheEntryIdAndTheSender) {
    struct Case {
        const char* farAddress;
        DiscoveryRoute route;
        unsigned sendOn;
        unsigned arrivesOn;
    };
    const Case cases[] = {
        {FarAddress0, DiscoveryRoute::Unicast, 1, 1},   {FarAddress0, DiscoveryRoute::Unicast, 2, 2},
        {FarAddress0, DiscoveryRoute::Broadcast, 2, 1}, {FarAddress0, DiscoveryRoute::Multicast, 1, 2},
        {FarAddress1, DiscoveryRoute::Unicast, 3, 3},   {FarAddress1, DiscoveryRoute::Broadcast, 3, 3},
        {FarAddress1, DiscoveryRoute::Multicast, 4, 4},
        {FarAddress0, DiscoveryRoute::LimitedBroadcast, 1, 1}, {FarAddress0, DiscoveryRoute::LimitedBroadcast, 2, 1},
        {FarAddress1, DiscoveryRoute::LimitedBroadcast, 3, 3},
    };
    auto connection = createConnection({ipv4(NearAddress0), ipv4(NearAddress1)});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.farAddress) + " route " + std::to_string(static_cast<int>(c.route)) + " on " +
                     std::to_string(c.sendOn));
        auto device = vxtest::farDevice(c.farAddress, "R");
        device->setReplyRoute(c.route);
        connection->Send(c.sendOn, vxtest::discoverRequest("R"));
        const auto reply = vxtest::receiveFrom(*connection, OpDiscoverReply, "R");
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->networkId, c.arrivesOn);
        EXPECT_EQ(reply->sender, ipv4(c.farAddress));
    }
}

TEST(DiscoveryConnection, EveryReplyArrivesOnceOnItsInterface) {
    struct Case {
        const char* farAddress;
        DiscoveryRoute route;
        unsigned arrivesOn;
    };
    const Case cases[] = {
        {FarAddress0, DiscoveryRoute::Unicast, 1},          {FarAddress0, DiscoveryRoute::Broadcast, 1},
        {FarAddress0, DiscoveryRoute::LimitedBroadcast, 1}, {FarAddress1, DiscoveryRoute::Unicast, 3},
        {FarAddress1, DiscoveryRoute::Broadcast, 3},        {FarAddress1, DiscoveryRoute::LimitedBroadcast, 3},
    };
    auto connection = createConnection({ipv4(NearAddress0), ipv4(NearAddress1)});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.farAddress) + " route " + std::to_string(static_cast<int>(c.route)));
        auto device = vxtest::farDevice(c.farAddress, "ONCE");
        device->setReplyRoute(c.route);
        connection->Send(c.arrivesOn, vxtest::discoverRequest("ONCE"));
        const auto reply = vxtest::receiveFrom(*connection, OpDiscoverReply, "ONCE");
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->networkId, c.arrivesOn);
        EXPECT_FALSE(vxtest::receiveFrom(*connection, OpDiscoverReply, "ONCE", 300ms).has_value());
    }
}

TEST(DiscoveryConnection, FinishWakesAWaitingReceive) {
    // The host's time-out, and the largest one, which a caller may use for
    // "until finished".
    for (const uint32_t timeoutMs : {5000u, std::numeric_limits<uint32_t>::max()}) {
        SCOPED_TRACE(timeoutMs);
        auto connection = createConnection({ipv4(NearAddress0)});
        auto waiting = std::async(std::launch::async, [&] {
            unsigned id;
            IPv4Address sender;
            std::vector<uint8_t> bytes;
            const auto begin = std::chrono::steady_clock::now();
            const bool got = connection->Receive(timeoutMs, id, sender, bytes);
            return std::make_pair(got, std::chrono::steady_clock::now() - begin);
        });
        // Give the receive a moment to block; either way it must come back.
        EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
        connection->Finish(true);
        ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
        const auto [got, took] = waiting.get();
        EXPECT_FALSE(got);
        EXPECT_LT(took, 2s);
    }
}

TEST(DiscoveryConnection, OversizedDatagramIsDroppedAndReceivingGoesOn) {
    vxtest::LogCapture log;
    auto device = vxtest::farDevice(FarAddress0, "BIG");
    auto connection = createConnection({ipv4(NearAddress0)});
    device->sendRaw(std::vector<uint8_t>(1100, 0xC2), DiscoveryRoute::Broadcast);
    device->sendInform(DiscoveryRoute::Broadcast);
    const auto inform = vxtest::receiveFrom(*connection, OpDiscoverInform, "BIG");
    ASSERT_TRUE(inform.has_value());
    EXPECT_EQ(inform->networkId, 1u);
    EXPECT_TRUE(log.has("1 Could not receive datagram: " + systemMessage(EMSGSIZE)));
}

TEST(DiscoveryConnection, DatagramOfExactlyTheBufferSizeIsReadWhole) {
    auto device = vxtest::farDevice(FarAddress0, "FULL");
    auto connection = createConnection({ipv4(NearAddress0)});
    VX_ND_Packet full;
    full.OpCode = OpDiscoverInform;
    full.SerialNumber = "FULL";
    full.Data = encodeDiscover({1, true, 2000, "full"});
    full.Data.resize(ReceiveBufferSize - PacketHeaderSize, 0xEE);
    device->sendRaw(encodePacket(full), DiscoveryRoute::Broadcast);
    const auto inform = vxtest::receiveFrom(*connection, OpDiscoverInform, "FULL");
    ASSERT_TRUE(inform.has_value());
    EXPECT_EQ(inform->packet.Data, full.Data);
}

namespace {

// A /32 or /31 address beside the test address: an interface address whose
// subnet has no room for a broadcast address.
class PointAddress : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_EQ(std::system(command("add").c_str()), 0); }
    void TearDown() override { EXPECT_EQ(std::system(command("del").c_str()), 0); }

private:
    static std::string command(const char* verb) {
        return std::string("ip addr ") + verb + " 203.0.113.1/" + GetParam() + " dev vxtest1";
    }
};

}  // namespace

TEST_P(PointAddress, EntryWithoutBroadcastAddressIsSkipped) {
    vxtest::LogCapture log;
    auto device = vxtest::farDevice(FarAddress1, "P");
    auto connection = createConnection({ipv4("203.0.113.1")});
    connection->Send(0, vxtest::discoverRequest("nobody"));
    connection->Send(1, vxtest::discoverRequest("nobody"));

    ASSERT_TRUE(device->waitForRequests(1, 3s));
    const auto requests = device->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].viaMulticast);
    EXPECT_EQ(requests[0].sender, "203.0.113.1");
    EXPECT_TRUE(log.has("1 Could not send datagram over 203.0.113.1 (Broadcast): " + systemMessage(EDESTADDRREQ)));
}

INSTANTIATE_TEST_SUITE_P(Prefixes, PointAddress, ::testing::Values("32", "31"),
                         [](const auto& info) { return std::string("Slash") + info.param; });

namespace {

// The first interface loses its address under a connection, so that every
// send through its entries fails.
class LostAddress : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(std::system("ip addr add 192.0.2.1/24 brd + dev vxtest0"), 0); }
};

}  // namespace

TEST_F(LostAddress, SendOnEveryNetworkTriesEachEntryAndThenReportsTheFailure) {
    auto device = vxtest::farDevice(FarAddress1, "D1");
    auto connection = createConnection({ipv4(NearAddress0), ipv4(NearAddress1)});
    ASSERT_EQ(std::system("ip addr del 192.0.2.1/24 dev vxtest0"), 0);

    EXPECT_EQ(vxtest::messageOf<NetworkException>([&] { connection->Send(0, vxtest::discoverRequest("nobody")); })
                  .rfind("Could not send datagram: ", 0),
              0u);
    ASSERT_TRUE(device->waitForRequests(2, 3s));
    EXPECT_THROW(connection->Send(1, vxtest::discoverRequest("nobody")), NetworkException);
}

namespace {

// vxtest0 loses its link with its far end, as when a cable is pulled.
class PulledCable : public ::testing::Test {
protected:
    static void setFarLink(const char* state) {
        int status = -1;
        inFarNamespace([&] { status = std::system((std::string("ip link set vxpeer0 ") + state).c_str()); });
        ASSERT_EQ(status, 0) << state;
    }
    static bool nearLinkUp() {
        for (const auto& iface : listNetworkInterfaces())
            if (iface.address == ipv4(NearAddress0)) return true;
        return false;
    }
    void TearDown() override {
        setFarLink("up");
        EXPECT_TRUE(vxtest::waitUntil(nearLinkUp));
    }
};

}  // namespace

TEST_F(PulledCable, ConnectionMadeWithoutLinkBroadcastsOnceTheLinkIsBack) {
    setFarLink("down");
    ASSERT_TRUE(vxtest::waitUntil([] { return !nearLinkUp(); }));
    auto connection = createConnection({ipv4(NearAddress0)});
    setFarLink("up");
    ASSERT_TRUE(vxtest::waitUntil(nearLinkUp));

    auto device = vxtest::farDevice(FarAddress0, "D0");
    connection->Send(0, vxtest::discoverRequest("nobody"));
    ASSERT_TRUE(device->waitForRequests(2, 3s));
    const auto requests = device->requests();
    EXPECT_NE(requests[0].viaMulticast, requests[1].viaMulticast);

    device->setReplyRoute(DiscoveryRoute::Broadcast);
    connection->Send(1, vxtest::discoverRequest("D0"));
    const auto reply = vxtest::receiveFrom(*connection, OpDiscoverReply, "D0");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->networkId, 1u);
}

TEST(DiscoveryConnection, AddressOfNoInterfaceCannotBeBound) {
    EXPECT_EQ(vxtest::messageOf<NetworkException>([] { createConnection({ipv4("10.99.0.1")}); }),
              "Could not bind to iface address: " + systemMessage(EADDRNOTAVAIL));
}

namespace {

// A second address, in a subnet of its own, on the first interface.
class SecondAddress : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(std::system("ip addr add 203.0.113.1/24 brd + dev vxtest0"), 0); }
    void TearDown() override { EXPECT_EQ(std::system("ip addr del 203.0.113.1/24 dev vxtest0"), 0); }
};

}  // namespace

TEST_F(SecondAddress, ALimitedBroadcastIsReceivedOncePerInterface) {
    auto connection = createConnection({ipv4(NearAddress0), ipv4("203.0.113.1")});
    auto device = vxtest::farDevice(FarAddress0, "TWICE");
    device->setReplyRoute(DiscoveryRoute::LimitedBroadcast);
    connection->Send(1, vxtest::discoverRequest("TWICE"));
    const auto reply = vxtest::receiveFrom(*connection, OpDiscoverReply, "TWICE");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->networkId, 1u);
    EXPECT_FALSE(vxtest::receiveFrom(*connection, OpDiscoverReply, "TWICE", 300ms).has_value());
}
