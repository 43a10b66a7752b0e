// The reset of a networked controller: the serial number read, the reset
// that ends with the controller's announcement or the exchange time, and a
// new connection; the ways it fails; and discovery events arriving while
// devices open and reset.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <vector>

#include "device/Device.h"
#include "platform/OwnedThread.h"
#include "sim/Gen2NetworkDevice.h"
#include "support/Wait.h"
#include "support/netns/TestNamespace.h"

namespace {

using namespace std::chrono_literals;
using vxctl::Device;
using vxsim::Gen2Fault;
using vxsim::Gen2Match;
using vxsim::Gen2NetworkDevice;
namespace gen2 = vxsim::gen2;
using Clock = std::chrono::steady_clock;

constexpr const char* kReset = "device-reset";

// A networked controller on the far side of pair 0.
std::unique_ptr<Gen2NetworkDevice> farController(const std::string& serial,
                                                 std::chrono::milliseconds downtime = 200ms) {
    std::unique_ptr<Gen2NetworkDevice> controller;
    vxtest::netns::inFarNamespace([&] {
        vxsim::DiscoveryIdentity identity;
        identity.serialNumber = serial;
        controller = std::make_unique<Gen2NetworkDevice>(vxtest::netns::FarAddress0, identity, downtime);
    });
    return controller;
}

// Start byte and type of every request the controller received.
std::vector<std::pair<uint8_t, uint8_t>> exchanges(Gen2NetworkDevice& controller) {
    std::vector<std::pair<uint8_t, uint8_t>> seen;
    for (const auto& request : controller.endpoint().requests()) seen.emplace_back(request.start, request.type);
    return seen;
}

const std::pair<uint8_t, uint8_t> kVersion{gen2::kCommandStart, gen2::command::kVersionRequest};
const std::pair<uint8_t, uint8_t> kRead{gen2::kCommandStart, gen2::command::kReadProperty};
const std::pair<uint8_t, uint8_t> kResetFrame{gen2::kSystemStart, gen2::sysframe::kDeviceReset};
const std::pair<uint8_t, uint8_t> kHandshake{gen2::kSystemStart, gen2::sysframe::kHandshake};

struct Ending {
    const char* name;
    bool announce;
};

class NetworkReset : public ::testing::TestWithParam<Ending> {};

TEST_P(NetworkReset, ReadsTheSerialResetsAndConnectsAgain) {
    const std::string serial = std::string("NR-") + GetParam().name;
    auto controller = farController(serial);
    controller->setAnnounce(GetParam().announce);
    Device device({800ms});
    const auto start = Clock::now();
    ASSERT_EQ(device.open(controller->locator().c_str(), kReset), VX_CTL_OK);
    const auto took = Clock::now() - start;
    // The announcement ends the wait for the restart; without one the
    // exchange time does.
    if (GetParam().announce) {
        EXPECT_LT(took, 800ms);
    } else {
        EXPECT_GE(took, 800ms);
    }
    EXPECT_EQ(device.serialNumber(), serial);
    EXPECT_EQ(controller->restarts(), 1u);
    // No second version check on the new connection.
    EXPECT_EQ(exchanges(*controller), (std::vector<std::pair<uint8_t, uint8_t>>{kVersion, kRead, kResetFrame, kHandshake}));
    EXPECT_EQ(controller->sim().tcp().accepted(), 1u);
    EXPECT_EQ(vxctl::discoverySubscriberCount(), 0u);

    std::string read;
    EXPECT_EQ(device.getProperty_s(0, vxctl::kSerialNumberKey, &read), VX_CTL_OK);
    EXPECT_EQ(read, serial);
    // The lost-link report of the dropped connection is not kept.
    VX_CTL_Event event{};
    EXPECT_EQ(device.waitForEvent(&event, 0), VX_CTL_TIMEOUT);
    device.close(true);
    EXPECT_TRUE(vxtest::waitUntil([&] { return controller->endpoint().connections() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Device, NetworkReset,
                         ::testing::Values(Ending{"Announced", true}, Ending{"TimedOut", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailedReset {
    const char* name;
    std::function<void(Gen2NetworkDevice&)> setup;
    std::chrono::milliseconds downtime;
    bool resetSent;
};

const FailedReset kFailedResets[] = {
    {"SerialOfAnotherType",
     [](Gen2NetworkDevice& c) { c.sim().model().define({0, vxctl::kSerialNumberKey}, int32_t{12}, true); }, 200ms,
     false},
    {"SerialNotAnswered",
     [](Gen2NetworkDevice& c) {
         c.endpoint().addFault(Gen2Fault::drop(Gen2Match{gen2::kCommandStart, gen2::command::kReadProperty}));
     },
     200ms, false},
    {"ResetRefused",
     [](Gen2NetworkDevice& c) {
         c.endpoint().setRestartOnReset(nullptr);
         c.endpoint().setReadyStatus(7);
     },
     200ms, true},
    {"NotBackInTime", [](Gen2NetworkDevice&) {}, 3000ms, true},
};

class FailedResets : public ::testing::TestWithParam<FailedReset> {};

TEST_P(FailedResets, FailTheOpen) {
    auto controller = farController(std::string("NF-") + GetParam().name, GetParam().downtime);
    GetParam().setup(*controller);
    controller->setAnnounce(false);
    Device device({500ms, 10000ms, 1000ms, 500ms});
    EXPECT_EQ(device.open(controller->locator().c_str(), kReset), VX_CTL_DEVICE_RESET_FAILED);
    EXPECT_FALSE(device.connected());
    EXPECT_EQ(vxctl::discoverySubscriberCount(), 0u);
    const auto seen = exchanges(*controller);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kResetFrame), GetParam().resetSent ? 1 : 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kHandshake), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return controller->endpoint().connections() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Device, FailedResets, ::testing::ValuesIn(kFailedResets),
                         [](const auto& info) { return std::string(info.param.name); });

// Devices open and reset in parallel while other devices announce
// themselves without pause: every event runs through the subscriber list,
// the table and the device mutexes while opens subscribe, unsubscribe and
// connect. A deadlock would hang the rounds; the deadline ends the program.
TEST(DiscoveryDuringResets, NeverDeadlocks) {
    std::vector<std::unique_ptr<Gen2NetworkDevice>> controllers;
    for (int i = 0; i < 3; ++i) controllers.push_back(farController("DL-" + std::to_string(i), 100ms));
    std::vector<std::unique_ptr<vxsim::DiscoveryDevice>> noisy;
    vxtest::netns::inFarNamespace([&] {
        for (int i = 0; i < 3; ++i) {
            vxsim::DiscoveryIdentity identity;
            identity.serialNumber = "NOISE-" + std::to_string(i);
            noisy.push_back(std::make_unique<vxsim::DiscoveryDevice>(vxtest::netns::FarAddress0, identity));
        }
    });

    vxplatform::OwnedThread announcer;
    ASSERT_TRUE(announcer.start([&] {
        for (bool available = true; !announcer.stopRequested(); available = !available) {
            for (auto& device : noisy) {
                device->setAvailable(available);
                device->sendInform();
            }
        }
    }));

    vxtest::Latch<bool> finished;
    std::vector<VX_CTL_Result> results;
    vxplatform::OwnedThread rounds;
    ASSERT_TRUE(rounds.start([&] {
        for (int round = 0; round < 3; ++round) {
            std::vector<std::future<VX_CTL_Result>> opens;
            for (auto& controller : controllers) {
                opens.push_back(std::async(std::launch::async, [&controller] {
                    Device device({1000ms});
                    return device.open(controller->locator().c_str(), kReset);
                }));
            }
            for (auto& open : opens) results.push_back(open.get());
        }
        finished.set(true);
    }));
    if (!finished.wait(90s)) {
        std::fprintf(stderr, "opens with resets did not end within 90 s: deadlock\n");
        std::_Exit(EXIT_FAILURE);
    }
    rounds.join();
    announcer.stop();
    EXPECT_EQ(results, std::vector<VX_CTL_Result>(9, VX_CTL_OK));
    EXPECT_EQ(vxctl::discoverySubscriberCount(), 0u);
}

}  // namespace
