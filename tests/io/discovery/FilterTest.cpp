#include <gtest/gtest.h>

#include "Datagrams.h"
#include "MemoryNetwork.h"
#include "discovery/DeviceFilter.h"

using namespace veltraxnd;
using namespace std::chrono_literals;
using vxtest::DeviceAnswer;

namespace {

// The filter's callbacks as lines ("added SN-1:2000"), in order.
class Events {
public:
    void add(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        changed_.notify_all();
    }
    bool wait(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return lines_.size() >= count; });
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

std::string key(const DiscoverInfo& d) { return d.SerialNumber + ":" + std::to_string(d.Port); }

class DiscoveryFilter : public ::testing::Test {
protected:
    DiscoveryFilter() {
        host->Start(net->connect());
        filter = std::make_unique<DeviceFilter>(
            host, [this](const DiscoverInfo& d) { onAdded(d); },
            [this](const DiscoverInfo& d, cppu::Flags<DeviceFilter::Change> flags) {
                events.add("changed " + key(d) + " " + std::to_string(flags.bits()) +
                           (d.Available ? " available" : " unavailable"));
            },
            [this](const DiscoverInfo& d) { events.add("removed " + key(d)); });
    }
    ~DiscoveryFilter() override {
        filter.reset();
        host->Stop();
    }

    virtual void onAdded(const DiscoverInfo& d) { events.add("added " + key(d)); }

    // The devices that answer each pass.
    void answering(std::vector<DeviceAnswer> answers) {
        net->setResponder([this, answers](const std::vector<uint8_t>& bytes) {
            for (auto answer : answers) {
                answer.token = vxtest::decoded(bytes).Token;
                net->inject(vxtest::discoverDatagram(answer));
            }
        });
    }

    std::shared_ptr<vxtest::MemoryNetwork> net = std::make_shared<vxtest::MemoryNetwork>();
    std::shared_ptr<Host> host = Host::Create();
    std::unique_ptr<DeviceFilter> filter;
    Events events;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(DiscoveryFilter, RepeatedAnswersOfOneDeviceAreMerged) {
    // The same reply over broadcast and multicast, then an Inform.
    net->inject(vxtest::discoverDatagram({}), {192, 0, 2, 2}, 1);
    net->inject(vxtest::discoverDatagram({}), {192, 0, 2, 2}, 2);
    DeviceAnswer inform;
    inform.opCode = OpDiscoverInform;
    net->inject(vxtest::discoverDatagram(inform), {192, 0, 2, 2}, 2);
    DeviceAnswer other;
    other.serial = "SN-2";
    net->inject(vxtest::discoverDatagram(other));
    ASSERT_TRUE(events.wait(2));
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "added SN-2:2000"}));
    const auto devices = filter->GetDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].SerialNumber, "SN-1");
    EXPECT_EQ(devices[1].SerialNumber, "SN-2");
}

TEST_F(DiscoveryFilter, AvailabilityChangeIsReportedOnlyAsChanged) {
    net->inject(vxtest::discoverDatagram({}));
    DeviceAnswer busy;
    busy.opCode = OpDiscoverInform;
    busy.available = false;
    net->inject(vxtest::discoverDatagram(busy));
    net->inject(vxtest::discoverDatagram(busy));  // no change this time
    busy.available = true;
    net->inject(vxtest::discoverDatagram(busy));
    ASSERT_TRUE(events.wait(3));
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "changed SN-1:2000 1 unavailable", "changed SN-1:2000 1 available"}));
    ASSERT_EQ(filter->GetDevices().size(), 1u);
    EXPECT_TRUE(filter->GetDevices()[0].Available);
}

TEST_F(DiscoveryFilter, AnotherAddressOrPortIsAnotherDevice) {
    net->inject(vxtest::discoverDatagram({}), {192, 0, 2, 2});
    net->inject(vxtest::discoverDatagram({}), {192, 0, 2, 3});
    ASSERT_TRUE(events.wait(2));

    DeviceAnswer moved;
    moved.port = 2001;
    answering({moved});
    filter->Discover(200ms, "");
    // The old port's record goes at the end of the pass; the other address
    // did not answer either.
    EXPECT_EQ(events.lines(),
              (Lines{"added SN-1:2000", "added SN-1:2000", "added SN-1:2001", "removed SN-1:2000", "removed SN-1:2000"}));
    ASSERT_EQ(filter->GetDevices().size(), 1u);
    EXPECT_EQ(filter->GetDevices()[0].Port, 2001);
}

TEST_F(DiscoveryFilter, DevicesThatAnswerEachPassStayListed) {
    DeviceAnswer a, b;
    b.serial = "SN-2";
    answering({a, b});
    filter->Discover(200ms, "SN");
    filter->Discover(200ms, "SN");
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "added SN-2:2000"}));
    EXPECT_EQ(filter->GetDevices().size(), 2u);

    const auto request = vxtest::decoded(net->sent().back().bytes);
    EXPECT_EQ(request.OpCode, OpDiscoverRequest);
    EXPECT_EQ(request.DeviceType, AnyDeviceType);
    EXPECT_EQ(request.SerialNumber, "SN");
}

TEST_F(DiscoveryFilter, SilentDeviceIsRemovedAtTheEndOfAPass) {
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(events.wait(1));
    filter->Discover(30ms, "");
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "removed SN-1:2000"}));
    EXPECT_TRUE(filter->GetDevices().empty());
}

TEST_F(DiscoveryFilter, LateReplyIsAddedAndKeptUntilTheEndOfTheNextPass) {
    filter->Discover(30ms, "");
    EXPECT_TRUE(events.lines().empty());
    net->inject(vxtest::discoverDatagram({}));  // the first pass's answer, too late
    ASSERT_TRUE(events.wait(1));
    EXPECT_EQ(filter->GetDevices().size(), 1u);
    filter->Discover(30ms, "");
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "removed SN-1:2000"}));
}

TEST_F(DiscoveryFilter, PassFailsBeforeListeningWhenTheHostCannotSend) {
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(events.wait(1));
    host->Stop();
    EXPECT_THROW(filter->Discover(30ms, ""), InvalidOperationException);
    EXPECT_EQ(filter->GetDevices().size(), 1u);
}

TEST_F(DiscoveryFilter, CriteriaSelectDevices) {
    filter->SetDeviceTypeCriterion(0x30001);
    filter->SetProtocolIdCriterion(2);
    DeviceAnswer wrongType, wrongProtocol, match;
    wrongType.serial = "T";
    wrongType.protocolId = 2;
    wrongProtocol.serial = "P";
    wrongProtocol.deviceType = 0x30001;
    match.serial = "M";
    match.deviceType = 0x30001;
    match.protocolId = 2;
    for (const auto& a : {wrongType, wrongProtocol, match}) net->inject(vxtest::discoverDatagram(a));
    ASSERT_TRUE(events.wait(1));
    filter->Discover(30ms, "");
    EXPECT_EQ(vxtest::decoded(net->sent().back().bytes).DeviceType, 0x30001u);
    EXPECT_EQ(events.lines(), (Lines{"added M:2000", "removed M:2000"}));
}

TEST_F(DiscoveryFilter, OnlyAvailableDropsDevicesThatBecomeBusy) {
    filter->SetOnlyAvailable(true);
    DeviceAnswer busy;
    busy.available = false;
    net->inject(vxtest::discoverDatagram(busy));  // not listed at all
    net->inject(vxtest::discoverDatagram({}));
    net->inject(vxtest::discoverDatagram(busy));
    ASSERT_TRUE(events.wait(2));
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000", "removed SN-1:2000"}));
}

namespace {

// Callbacks run without the filter's lock: one may read the list.
class DiscoveryFilterReentry : public DiscoveryFilter {
protected:
    void onAdded(const DiscoverInfo& d) override {
        events.add("added " + key(d) + " listed " + std::to_string(filter->GetDevices().size()));
    }
};

}  // namespace

TEST_F(DiscoveryFilterReentry, CallbackMayReadTheList) {
    net->inject(vxtest::discoverDatagram({}));
    ASSERT_TRUE(events.wait(1));
    EXPECT_EQ(events.lines(), (Lines{"added SN-1:2000 listed 1"}));
}
