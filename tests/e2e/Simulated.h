#pragma once

// What the end-to-end tests share: a simulated first-generation controller
// system that the library reaches the way an application does, by an
// explicit locator, over TCP loopback or over the FTDI driver double.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "QMXControl.h"
#include "VeltraxIO.h"
#include "sim/Gen1Simulator.h"
#include "support/OpenedSystem.h"
#include "support/Wait.h"

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using vxtest::kNoIndex;

enum class Carrier { Tcp, Usb };

inline const char* carrierText(Carrier carrier) { return carrier == Carrier::Tcp ? "Tcp" : "Usb"; }
inline void PrintTo(Carrier carrier, std::ostream* out) { *out << carrierText(carrier); }
inline std::string carrierName(const ::testing::TestParamInfo<Carrier>& info) {
    return carrierText(info.param);
}

// The status a send gives once the carrier is gone: a failed socket write
// maps to 7, a USB write on a dropped device (reported as a time-out by the
// transport) to 255.
inline VX_STATUS sendFailureStatus(Carrier carrier) { return carrier == Carrier::Tcp ? 7 : 255; }

class SimulatedSystem {
public:
    SimulatedSystem(Carrier carrier, vxsim::SystemSetup setup)
        : carrier_(carrier), sim_(std::make_unique<vxsim::Gen1Simulator>(std::move(setup))) {
        if (carrier == Carrier::Tcp) {
            sim_->serveTcp();
            locator_ = sim_->tcpLocator();
        } else {
            // Each adapter gets an id of its own, so that adapters of earlier
            // tests still in the driver's list are never confused with it.
            static std::atomic<uint32_t> nextId{0x5E000001};
            const uint32_t id = nextId++;
            sim_->attachUsb({"E2E" + std::to_string(id & 0xFFFF), "Veltrax QMX-I", id});
            locator_ = "usb:id:" + std::to_string(id);
            rescanUsb();
        }
    }

    // The I/O library keeps the driver's adapter list for a moment; an
    // adapter plugged in by a test must be seen at once.
    static void rescanUsb() {
        char list[4096];
        size_t length = sizeof list;
        ASSERT_EQ(VX_IO_EnumerateDevices(VX_IO_IFACE_USB, "force-rescan\n", list, &length),
                  VX_IO_OK);
    }

    Carrier carrier() const { return carrier_; }
    const std::string& locator() const { return locator_; }
    vxsim::Gen1Simulator& sim() { return *sim_; }
    vxsim::Gen1Endpoint& endpoint() { return sim_->endpoint(); }
    vxsim::ControllerModel& model() { return sim_->model(); }
    uint16_t moduleWord(size_t channel) const {
        return sim_->model().setup().channels[channel].moduleWord;
    }

    // The simulator's view: no host connection left.
    bool hostGone(std::chrono::milliseconds deadline = 3000ms) {
        return vxtest::waitUntil([&] { return endpoint().connections() == 0; }, deadline);
    }

private:
    Carrier carrier_;
    std::unique_ptr<vxsim::Gen1Simulator> sim_;
    std::string locator_;
};

using vxtest::elapsedSince;
using vxtest::OpenedSystem;

// The model's own reading of a positioner, for comparing with what the
// library reports.
inline int32_t modelPosition(vxsim::ControllerModel& model, size_t channel) {
    int32_t position = 0;
    EXPECT_EQ(model.position(channel, &position), 0);
    return position;
}

}  // namespace e2e
