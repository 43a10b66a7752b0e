#pragma once

// What the second-generation integration tests share: a simulated
// second-generation controller that QMXControl reaches the way an
// application does, by an explicit locator, over TCP loopback or as a USB
// adapter of the FTDI driver double.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "FtdiDouble.h"
#include "QMXControl.h"
#include "VeltraxIO.h"
#include "sim/Gen2Layout.h"
#include "sim/Gen2Simulator.h"
#include "support/OpenedSystem.h"
#include "support/Wait.h"

namespace gen2road {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using vxtest::kNoIndex;
constexpr size_t kChannels = 3;
// The controller counts positions in picometres.
constexpr int64_t kPicometresPerNanometre = 1000;

// QMXControl's statuses and channel status codes the tests look for.
constexpr VX_STATUS kCommunicationFailed = 10;
constexpr unsigned int kStatusStopped = 0;
constexpr unsigned int kStatusTargeting = 4;

// Usb: an adapter whose far side is the simulator in this process; Bridge:
// an adapter whose byte stream the driver double carries over TCP loopback.
enum class Carrier { Tcp, Usb, Bridge };

inline const char* carrierText(Carrier carrier) {
    switch (carrier) {
    case Carrier::Tcp:
        return "Tcp";
    case Carrier::Usb:
        return "Usb";
    case Carrier::Bridge:
        return "Bridge";
    }
    return "?";
}
inline void PrintTo(Carrier carrier, std::ostream* out) { *out << carrierText(carrier); }
inline std::string carrierName(const ::testing::TestParamInfo<Carrier>& info) { return carrierText(info.param); }

// One module of linear positioners.
inline vxsim::Gen2Layout layout() {
    vxsim::Gen2Layout layout;
    layout.interfaceVersion = {1, {0, 1, 2, 3}};
    vxsim::Gen2Module module;
    module.channels.assign(kChannels, vxsim::Gen2ChannelSettings{});
    module.version1 = {2, {0, 1, 0, 0}};
    module.version2 = {3, {0, 1, 0, 0}};
    module.catalogue = {{300, "SL-0601", 2, 1}};
    layout.modules = {module};
    return layout;
}

// The I/O library keeps the driver's adapter list for a moment; an adapter
// plugged in or pulled by a test must be seen at once.
inline void rescanUsb() {
    char list[4096];
    size_t length = sizeof list;
    ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length), VX_IO_OK);
}

class SimulatedController {
public:
    explicit SimulatedController(Carrier carrier) : carrier_(carrier), sim_(std::make_unique<vxsim::Gen2Simulator>()) {
        vxsim::defineLayout(sim_->model(), layout());
        // Long enough that a move is seen running, short enough for many.
        sim_->model().setMotionTimes({200ms, 50ms, 50ms});
        if (carrier == Carrier::Tcp) {
            sim_->serveTcp();
            locator_ = sim_->tcpLocator();
            return;
        }
        // Each adapter a serial number of its own, so that adapters of
        // earlier tests still in the driver's list are never confused.
        static std::atomic<uint32_t> next{1};
        const uint32_t number = next++;
        serial_ = "QMX2-IT" + std::to_string(number);
        const uint32_t chipId = 0x2E000000 + number;
        if (carrier == Carrier::Usb) {
            sim_->attachUsb({serial_, "Veltrax QMX2", chipId});
        } else {
            const uint16_t port = sim_->serveTcp().port();
            VxFtdiAdapterSpec spec{};
            spec.serial = serial_.c_str();
            spec.description = "Veltrax QMX2";
            spec.chipId = chipId;
            const VxFtdiDoubleApi* ftdi = vxftdi_api();
            if (ftdi) bridgedAdapter_ = ftdi->addBridgedAdapter(&spec, "127.0.0.1", port);
            EXPECT_GT(bridgedAdapter_, 0);
        }
        locator_ = "usb:sn:" + serial_;
        rescanUsb();
    }
    ~SimulatedController() {
        if (bridgedAdapter_ > 0) vxftdi_api()->unplug(bridgedAdapter_);
        sim_.reset();
        if (carrier_ != Carrier::Tcp) rescanUsb();
    }

    // A "network:" locator is tried as a first-generation system first:
    // its greeting is not waited for long here.
    std::string options(bool async = false) const {
        std::string text = "open-timeout 300";
        if (async) text += "\nasync";
        return text;
    }

    Carrier carrier() const { return carrier_; }
    const std::string& locator() const { return locator_; }
    vxsim::Gen2Simulator& sim() { return *sim_; }
    vxsim::Gen2Endpoint& endpoint() { return sim_->endpoint(); }
    vxsim::Gen2Model& model() { return sim_->model(); }

    bool hostGone(std::chrono::milliseconds deadline = 3000ms) {
        return vxtest::waitUntil([&] { return endpoint().connections() == 0; }, deadline);
    }

private:
    Carrier carrier_;
    std::unique_ptr<vxsim::Gen2Simulator> sim_;
    std::string locator_;
    std::string serial_;
    int bridgedAdapter_ = 0;
};

using vxtest::elapsedSince;
using vxtest::OpenedSystem;

// The next packet of an asynchronous system that is not `skipped`.
inline VX_STATUS receiveSkipping(VX_SystemIndex system, uint32_t skipped, unsigned int timeoutMs, VX_packet* packet) {
    for (;;) {
        const VX_STATUS status = VX_ReceiveNextPacket_A(system, timeoutMs, packet);
        if (status != VX_OK || packet->packetType != skipped) return status;
    }
}

}  // namespace gen2road
