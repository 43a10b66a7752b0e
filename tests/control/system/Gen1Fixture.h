#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "sim/Gen1Simulator.h"
#include "support/Wait.h"
#include "systems/gen1/System.h"

namespace gen1test {

using namespace std::chrono_literals;
using vxsim::Bytes;
using vxsim::Fault;
using vxsim::gen1Packet;
using vxsim::RequestMatch;
using vxsim::SystemSetup;

// A simulated system and a qmx::System that talks to it.
class Gen1Test : public ::testing::Test {
protected:
    ~Gen1Test() override {
        if (system) system->close();
    }

    vxsim::Gen1Simulator& simulate(SystemSetup setup) {
        sim = std::make_unique<vxsim::Gen1Simulator>(std::move(setup));
        return *sim;
    }
    vxsim::Gen1Simulator& simulateTcp(SystemSetup setup) {
        simulate(std::move(setup)).serveTcp();
        return *sim;
    }
    vxsim::Gen1Endpoint& endpoint() { return sim->endpoint(); }
    vxsim::ControllerModel& model() { return sim->model(); }
    uint16_t word(size_t channel) const { return sim->model().setup().channels[channel].moduleWord; }

    VX_STATUS open(const std::string& locator, const std::string& options = "") {
        system = std::make_unique<qmx::System>();
        return system->open(locator.c_str(), options.c_str());
    }
    VX_STATUS openTcp(const std::string& options = "") { return open(sim->tcpLocator(), options); }

    // True once the simulator has no host connection left.
    bool hostGone() {
        return vxtest::waitUntil([&] { return endpoint().connections() == 0; }, 3000ms);
    }

    std::unique_ptr<vxsim::Gen1Simulator> sim;
    std::unique_ptr<qmx::System> system;
};

}  // namespace gen1test
