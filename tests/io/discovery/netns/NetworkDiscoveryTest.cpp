#include <gtest/gtest.h>

#include "../Datagrams.h"
#include "NetnsHelpers.h"
#include "discovery/DeviceFilter.h"

using namespace veltraxnd;
using namespace std::chrono_literals;
using namespace vxtest::netns;
using vxsim::DiscoveryRoute;
using vxtest::ipv4;

namespace {

// A host and its filter on one near interface, recording the callbacks.
class Discovery {
public:
    explicit Discovery(const char* nearAddress) : host_(Host::Create()) {
        host_->Start(createConnection({ipv4(nearAddress)}));
        filter_ = std::make_unique<DeviceFilter>(
            host_, [this](const DiscoverInfo& d) { record("added", d); },
            [this](const DiscoverInfo& d, cppu::Flags<DeviceFilter::Change>) { record("changed", d); },
            [this](const DiscoverInfo& d) { record("removed", d); });
    }
    ~Discovery() {
        filter_.reset();
        host_->Stop();
    }

    Host& host() { return *host_; }
    DeviceFilter& filter() { return *filter_; }

    std::vector<std::string> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    bool waitEvent(const std::string& event, std::chrono::milliseconds deadline = 3s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, deadline,
                                 [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
    }
    std::optional<DiscoverInfo> listed(const std::string& serial) {
        for (const auto& d : filter_->GetDevices())
            if (d.SerialNumber == serial) return d;
        return std::nullopt;
    }

private:
    void record(const char* what, const DiscoverInfo& d) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::string(what) + " " + d.SerialNumber + ":" + std::to_string(d.Port) +
                          (d.Available ? "" : " busy"));
        changed_.notify_all();
    }

    std::shared_ptr<Host> host_;
    std::unique_ptr<DeviceFilter> filter_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(NetworkDiscovery, PassFindsTheDevicesOnItsInterfaceOnly) {
    auto near = vxtest::farDevice(FarAddress0, "NEAR-1", 3000);
    auto other = vxtest::farDevice(FarAddress1, "OTHER-1");
    Discovery discovery(NearAddress0);
    discovery.filter().Discover(300ms, "");

    // Each device answers the broadcast and the multicast copy: one device.
    EXPECT_EQ(discovery.events(), (Lines{"added NEAR-1:3000"}));
    const auto device = discovery.listed("NEAR-1");
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(device->address, ipv4(FarAddress0));
    EXPECT_EQ(device->DeviceType, vxsim::DiscoveryIdentity{}.deviceType);
    EXPECT_EQ(device->Info, "simulated controller");
    EXPECT_TRUE(device->isReply);
    EXPECT_EQ(other->requests().size(), 0u);
}

TEST(NetworkDiscovery, PeerProgramInTheFarNamespaceIsFound) {
    Discovery discovery(NearAddress1);
    // The peer may still be starting: one pass after another, for a while.
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!discovery.listed("PEER-7") && std::chrono::steady_clock::now() < end)
        discovery.filter().Discover(200ms, "PEER-7");
    const auto peer = discovery.listed("PEER-7");
    ASSERT_TRUE(peer.has_value());
    EXPECT_EQ(peer->Port, 4711);
    EXPECT_EQ(peer->address, ipv4(FarAddress1));
}

TEST(NetworkDiscovery, ChangesOfADeviceAreFollowed) {
    auto device = vxtest::farDevice(FarAddress0, "CH-1");
    Discovery discovery(NearAddress0);
    discovery.filter().Discover(200ms, "");

    device->setPort(2001);
    discovery.filter().Discover(200ms, "");

    device->setAvailable(false);
    device->sendInform();
    ASSERT_TRUE(discovery.waitEvent("changed CH-1:2001 busy"));

    device->setSilent(true);
    discovery.filter().Discover(200ms, "");
    EXPECT_EQ(discovery.events(), (Lines{"added CH-1:2000", "added CH-1:2001", "removed CH-1:2000",
                                         "changed CH-1:2001 busy", "removed CH-1:2001 busy"}));
}

TEST(NetworkDiscovery, LateAnswerArrivesAfterItsPass) {
    auto device = vxtest::farDevice(FarAddress0, "LATE-1");
    device->setReplyDelay(400ms);
    Discovery discovery(NearAddress0);
    discovery.filter().Discover(50ms, "");
    EXPECT_TRUE(discovery.events().empty());
    EXPECT_TRUE(discovery.waitEvent("added LATE-1:2000"));
}

TEST(NetworkDiscovery, MalformedDatagramsLeaveTheHostRunning) {
    auto device = vxtest::farDevice(FarAddress0, "BAD-1");
    Discovery discovery(NearAddress0);
    device->sendRaw({0xC2, 0x5D, 0x00, 0x21}, DiscoveryRoute::Multicast);
    device->sendRaw(std::vector<uint8_t>(1200, 0xC2), DiscoveryRoute::Broadcast);
    auto wrongLength = vxtest::discoverDatagram({});
    wrongLength[1] ^= 4;
    device->sendRaw(wrongLength, DiscoveryRoute::Broadcast);
    discovery.filter().Discover(200ms, "");
    EXPECT_TRUE(discovery.host().IsRunning());
    EXPECT_EQ(discovery.events(), (Lines{"added BAD-1:2000"}));
}

TEST(NetworkDiscovery, ConfigurationRequestsReachTheDevice) {
    auto device = vxtest::farDevice(FarAddress0, "CFG-1");
    Discovery discovery(NearAddress0);
    Host& host = discovery.host();

    const auto initial = host.GetDeviceConfig(AnyDeviceType, "CFG-1", 2s);
    ASSERT_TRUE(initial.has_value());
    EXPECT_EQ(initial->config.IP, (IPv4Address{192, 168, 1, 100}));

    DeviceConfig wanted{{10, 0, 0, 7}, {255, 255, 0, 0}, {10, 0, 0, 1}, true};
    EXPECT_EQ(host.SetDeviceConfig(AnyDeviceType, "CFG-1", wanted, 2s), ResultCode::Success);
    const auto now = host.GetDeviceConfig(AnyDeviceType, "CFG-1", 2s);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(now->config, wanted);
    EXPECT_EQ(device->netConfig().ip, (std::array<uint8_t, 4>{10, 0, 0, 7}));

    EXPECT_EQ(host.SetDeviceInfo(AnyDeviceType, "CFG-1", "left stage", 2s), ResultCode::Success);
    EXPECT_EQ(device->identity().info, "left stage");
    EXPECT_EQ(host.ResetDeviceConfig(AnyDeviceType, "CFG-1", 2s), ResultCode::Success);
    EXPECT_EQ(device->netConfig(), vxsim::DiscoveryNetConfig{});

    // No device of that serial number: no answer.
    EXPECT_FALSE(host.ResetDeviceConfig(AnyDeviceType, "NOBODY", 100ms).has_value());

    device->setMalformedAnswers(true);
    EXPECT_THROW(host.GetDeviceConfig(AnyDeviceType, "CFG-1", 2s), ProtocolException);
}
