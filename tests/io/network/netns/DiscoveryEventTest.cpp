#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "NetworkPeers.h"

using namespace nettest;
using namespace std::chrono_literals;

namespace {

struct SeenEvent {
    int kind;
    Record device;
};

// Collects the events the library raises; read back with a deadline.
class EventLog {
public:
    static void callback(void* userData, int kind, const VX_IO_Event* event) {
        auto* self = static_cast<EventLog*>(userData);
        char buffer[2048];
        size_t length = sizeof buffer;
        int code = 0;
        size_t messageLength = sizeof buffer;
        // A discovery event is not an error event.
        if (VX_IO_GetErrorEventData(event, &code, buffer, &messageLength) != VX_IO_WRONG_EVENT_KIND) ++self->bad_;
        if (VX_IO_GetDiscoveryEventData(event, "include-all", buffer, &length) != VX_IO_OK) {
            ++self->bad_;
            return;
        }
        auto records = parseList(std::string(buffer, length));
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back({kind, records.empty() ? Record{} : records.front()});
        self->changed_.notify_all();
    }

    // Waits for an event of `kind` about `serial` among those not yet waited for.
    bool waitFor(int kind, const std::string& serial, std::chrono::milliseconds timeout, Record* device = nullptr) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (size_t i = consumed_; i < events_.size(); ++i) {
                if (events_[i].kind == kind && events_[i].device["device-sn"] == serial) {
                    if (device) *device = events_[i].device;
                    consumed_ = i + 1;
                    return true;
                }
            }
            return false;
        });
    }
    size_t countAbout(const std::string& serial) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (auto& e : events_) n += e.device["device-sn"] == serial;
        return n;
    }
    size_t total() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.size();
    }
    int bad() const { return bad_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SeenEvent> events_;
    size_t consumed_ = 0;
    std::atomic<int> bad_{0};
};

class DiscoveryEvents : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(VX_IO_SetEventCallback(&EventLog::callback, &log_), VX_IO_OK); }
    void TearDown() override {
        VX_IO_SetGlobalOptions("discovery-iface network:none");
        VX_IO_SetEventCallback(nullptr, nullptr);
        EXPECT_EQ(log_.bad(), 0);
    }
    static void pass() {
        std::string text;
        ASSERT_EQ(enumerate("only-locator\niface network:" + kIface0 + "\ndiscovery-timeout 200\n", text), VX_IO_OK);
    }
    EventLog log_;
};

}  // namespace

TEST_F(DiscoveryEvents, ReportNewChangedAndGoneDevices) {
    ASSERT_EQ(VX_IO_SetGlobalOptions(("discovery-iface network:" + kIface0).c_str()), VX_IO_OK);
    auto device = farDevice("EV-1");

    // An announcement alone makes a device known.
    device->sendInform();
    Record record;
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-1", 3s, &record));
    EXPECT_EQ(record["locator"], "network:sn:EV-1");
    EXPECT_EQ(record["iface"], "network:" + kIface0);

    device->setAvailable(false);
    device->sendInform();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_GONE, "EV-1", 3s, &record));
    EXPECT_EQ(record["available"], "0");
    device->setAvailable(true);
    device->sendInform();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-1", 3s));

    // Found by a pass, then gone at the end of a pass it does not answer.
    auto second = farDevice("EV-2");
    pass();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-2", 3s));
    second->setSilent(true);
    pass();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_GONE, "EV-2", 3s));
}

TEST_F(DiscoveryEvents, FollowTheGlobalLocatorFormat) {
    ASSERT_EQ(VX_IO_SetGlobalOptions(
                  ("discovery-iface network:" + kIface0 + "\nlocator-format-network host").c_str()),
              VX_IO_OK);
    vxsim::DiscoveryIdentity identity;
    identity.port = 4321;
    auto device = farDevice("EV-FMT", 0, identity);
    device->sendInform();
    Record record;
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-FMT", 3s, &record));
    EXPECT_EQ(record["locator"], std::string("network:") + vxtest::netns::FarAddress0 + ":4321");
    EXPECT_EQ(VX_IO_SetGlobalOptions("locator-format-network sn"), VX_IO_OK);
    EXPECT_EQ(VX_IO_SetGlobalOptions("locator-format-network ip"), VX_IO_INVALID_OPTION);
}

TEST_F(DiscoveryEvents, StopWhenTheOptionsNoLongerNameTheInterface) {
    ASSERT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:all"), VX_IO_OK);
    auto device = farDevice("EV-OFF", 1);
    device->sendInform();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-OFF", 3s));

    // Options without "discovery-iface" switch events off everywhere.
    ASSERT_EQ(VX_IO_SetGlobalOptions("locator-format-network sn"), VX_IO_OK);
    device->setAvailable(false);
    device->sendInform();
    EXPECT_FALSE(log_.waitFor(VX_IO_EVENT_DEVICE_GONE, "EV-OFF", 500ms));
}

TEST_F(DiscoveryEvents, GlobalOptionRules) {
    EXPECT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:0.0.0.0"), VX_IO_INVALID_OPTION);
    EXPECT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:1.2.3"), VX_IO_INVALID_OPTION);
    // "none" ends the scan, whatever follows.
    EXPECT_EQ(VX_IO_SetGlobalOptions("discovery-iface network:none\ndiscovery-iface network:0.0.0.0"), VX_IO_OK);
    EXPECT_EQ(VX_IO_SetGlobalOptions("discovery-iface serial:ttyS0"), VX_IO_OK);
}

TEST_F(DiscoveryEvents, SuspiciousSerialNumbersRaiseNothing) {
    ASSERT_EQ(VX_IO_SetGlobalOptions(("discovery-iface network:" + kIface0).c_str()), VX_IO_OK);
    auto evil = farDevice("EV:EVIL");
    auto good = farDevice("EV-GOOD");
    evil->sendInform();
    good->sendInform();
    ASSERT_TRUE(log_.waitFor(VX_IO_EVENT_DEVICE_AVAILABLE, "EV-GOOD", 3s));
    EXPECT_EQ(log_.countAbout("EV:EVIL"), 0u);
}

TEST_F(DiscoveryEvents, TogglingTheInterfacesWhileEventsArriveDoesNotDeadlock) {
    auto a = farDevice("EV-T0", 0);
    auto b = farDevice("EV-T1", 1);
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    bool togglerDone = false;

    // Announcements with changing availability keep events coming.
    std::thread announcer([&] {
        bool available = true;
        while (!stop) {
            available = !available;
            a->setAvailable(available);
            b->setAvailable(available);
            a->sendInform();
            b->sendInform();
            std::unique_lock<std::mutex> lock(mutex);
            finished.wait_for(lock, 2ms, [&] { return togglerDone; });
        }
    });
    std::thread toggler([&] {
        for (int i = 0; i < 60; ++i) {
            VX_IO_SetGlobalOptions(i % 2 ? "discovery-iface network:none" : "discovery-iface network:all");
            if (i % 10 == 4) pass();  // events on for a whole pass
        }
        std::lock_guard<std::mutex> lock(mutex);
        togglerDone = true;
        finished.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, 30s, [&] { return togglerDone; })) {
            ADD_FAILURE() << "deadlock: global options did not finish";
            std::_Exit(1);
        }
    }
    stop = true;
    toggler.join();
    announcer.join();
    EXPECT_GT(log_.total(), 0u);
}

TEST(DiscoveryEventCallback, MayEnumerateWhatIsKnown) {
    // Enumerates from inside the callback, which holds the API mutex.
    // New to the library on every run of the test in one process.
    static int runs = 0;
    const std::string serial = "EV-NEST" + std::to_string(++runs);
    struct Probe {
        std::string serial;
        std::mutex mutex;
        std::condition_variable done;
        bool called = false;
        VX_IO_Result result = -1;
        std::string text;
        static void callback(void* userData, int, const VX_IO_Event* event) {
            auto* self = static_cast<Probe*>(userData);
            // An event about a device of an earlier test can still come; the
            // enumeration must run once this test's device is known.
            char buffer[2048];
            size_t length = sizeof buffer;
            if (VX_IO_GetDiscoveryEventData(event, "include-all", buffer, &length) != VX_IO_OK) return;
            const auto records = parseList(std::string(buffer, length));
            if (records.empty() || records.front().count("device-sn") == 0 ||
                records.front().at("device-sn") != self->serial)
                return;
            std::string text;
            VX_IO_Result result = enumerate("only-locator\niface network:" + kIface0 + "\n", text);
            std::lock_guard<std::mutex> lock(self->mutex);
            if (self->called) return;
            self->called = true;
            self->result = result;
            self->text = text;
            self->done.notify_all();
        }
    } probe;
    probe.serial = serial;
    ASSERT_EQ(VX_IO_SetEventCallback(&Probe::callback, &probe), VX_IO_OK);
    ASSERT_EQ(VX_IO_SetGlobalOptions(("discovery-iface network:" + kIface0).c_str()), VX_IO_OK);
    auto device = farDevice(probe.serial);
    device->sendInform();
    {
        std::unique_lock<std::mutex> lock(probe.mutex);
        if (!probe.done.wait_for(lock, 10s, [&] { return probe.called; })) {
            ADD_FAILURE() << "deadlock: enumeration inside the event callback";
            std::_Exit(1);
        }
    }
    VX_IO_SetGlobalOptions("discovery-iface network:none");
    VX_IO_SetEventCallback(nullptr, nullptr);
    EXPECT_EQ(probe.result, VX_IO_OK);
    EXPECT_NE(probe.text.find("network:sn:" + probe.serial), std::string::npos) << probe.text;
}
