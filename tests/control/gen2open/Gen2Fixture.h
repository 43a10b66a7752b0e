#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Gen2Layout.h"
#include "sim/Gen2Simulator.h"
#include "support/Wait.h"
#include "systems/gen2/CtlKeys.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace gen2test {

using namespace std::chrono_literals;

// Two modules: two linear channels, then one rotary channel; the second
// module's catalogue repeats a type of the first and a reserved code.
inline vxsim::Gen2Layout standardLayout() {
    vxsim::Gen2Layout layout;
    layout.interfaceVersion = {1, {0, 10, 20, 3}};
    vxsim::Gen2Module first;
    first.channels = {{4, 0x10, 0x1, 2}, {5, 0x18, 0x0, 2}};
    first.version1 = {2, {0, 0x0101, 0x02, 0x3}};
    first.version2 = {3, {0, 0x0202, 0x04, 0x5}};
    first.catalogue = {{300, "SL-0601", 2, 1}, {251, "reserved", 2, 0}, {301, "SR-1209", 3, 0}};
    vxsim::Gen2Module second;
    second.channels = {{6, 0x0, 0x1, 3}};
    second.version1 = {4, {0, 0x0303, 0x06, 0x7}};
    second.version2 = {5, {0, 0x0404, 0x08, 0x1}};
    second.catalogue = {{301, "SR-1209 again", 3, 0}, {302, "SG-0707", 3, 2}};
    layout.modules = {first, second};
    return layout;
}

// A simulated second-generation controller on loopback TCP.
class Gen2Test : public ::testing::Test {
protected:
    void SetUp() override {
        sim_.serveTcp();
        locator_ = sim_.tcpLocator();
        vxsim::defineLayout(sim_.model(), standardLayout());
    }

    std::vector<vxsim::Gen2Request> requestsFor(uint32_t key) const {
        std::vector<vxsim::Gen2Request> found;
        for (const auto& request : sim_.endpoint().requests())
            if (request.key == key && request.start == vxsim::gen2::kCommandStart) found.push_back(request);
        return found;
    }

    // True once the host holds no connection to the controller.
    bool released() {
        return vxtest::waitUntil([&] { return sim_.endpoint().connections() == 0; }, 5000ms);
    }

    mutable vxsim::Gen2Simulator sim_;
    std::string locator_;
};

}  // namespace gen2test
