#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "common/CtlLibrary.h"
#include "control/gen2open/Gen2Fixture.h"
#include "sim/Gen2Frame.h"

namespace gen2ops {

using namespace gen2test;
using vxsim::PropertyValue;
namespace key = qmx::ctlkey;
namespace wire = vxsim::gen2::command;

constexpr uint32_t kWaitMs = 5000;

// One thing the host asked of the controller inside a command group: a
// read, a write, or a movement command with its value.
struct Step {
    uint8_t type = 0;
    uint32_t key = 0;
    uint8_t index = 0;
    std::optional<PropertyValue> value;
    bool operator==(const Step&) const = default;
};

inline Step read(uint32_t k, uint8_t index) { return {wire::kReadProperty, k, index, std::nullopt}; }
inline Step write32(uint32_t k, uint8_t index, int32_t value) { return {wire::kWriteProperty, k, index, value}; }
inline Step write64(uint32_t k, uint8_t index, int64_t value) { return {wire::kWriteProperty, k, index, value}; }
inline Step move(uint8_t index, int64_t value) { return {wire::kMove, 0, index, value}; }
inline Step command(uint8_t type, uint8_t index) { return {type, 0, index, std::nullopt}; }

inline std::ostream& operator<<(std::ostream& out, const Step& step) {
    out << "{type " << int{step.type} << ", key 0x" << std::hex << step.key << std::dec << ", index " << int{step.index};
    if (step.value) std::visit([&](const auto& v) {
        if constexpr (std::is_integral_v<std::decay_t<decltype(v)>>) out << ", value " << v;
    }, *step.value);
    return out << "}";
}

// The standard controller with a hand control module and its speed level
// table, module feature values, positioner types and one option word of
// 0x20 on the rotary channel.
inline vxsim::Gen2Layout opsLayout(bool handControlModule = true) {
    vxsim::Gen2Layout layout = standardLayout();
    if (handControlModule) {
        layout.handControlModule = vxsim::Gen2Version{6, {0, 0x0505, 0x01, 0x2}};
        layout.speedLevels = {{10, 160, 1000}, {20, 320, 2000}, {30, -32, 3000}};
    }
    layout.modules[0].featureValueA = 4;
    layout.modules[0].featureValueB = 1;
    layout.modules[1].featureValueA = 4;
    layout.modules[1].featureValueB = 2;
    layout.modules[0].channels[0].positionerType = 300;
    layout.modules[1].channels[0].channelOptions = 0x20;
    return layout;
}

// A system open on the simulated controller in mode 1 (synchronous) or 2.
class OpsTest : public Gen2Test {
protected:
    void openIn(uint32_t mode, bool handControlModule = true) {
        vxsim::defineLayout(sim_.model(), opsLayout(handControlModule));
        ASSERT_EQ(system_.open(locator_.c_str(), mode == 2 ? "async" : ""), VX_OK);
        sim_.endpoint().clearRequests();
    }

    // The host's command-set requests since the last clear, as recorded.
    std::vector<vxsim::Gen2Request> commands() const {
        std::vector<vxsim::Gen2Request> found;
        for (const auto& request : sim_.endpoint().requests())
            if (request.start == vxsim::gen2::kCommandStart) found.push_back(request);
        return found;
    }

    // Waits for the close (or cancel) of the first command group and gives
    // what it held; fails unless everything in between carried its handle.
    std::vector<Step> oneGroup() {
        std::vector<vxsim::Gen2Request> all;
        const auto ended = [](const vxsim::Gen2Request& r) {
            return r.type == wire::kCloseCommandGroup || r.type == wire::kCancelCommandGroup;
        };
        EXPECT_TRUE(vxtest::waitUntil([&] {
            all = commands();
            return std::any_of(all.begin(), all.end(), ended);
        }, std::chrono::milliseconds(kWaitMs)));
        std::vector<Step> steps;
        auto at = all.begin();
        while (at != all.end() && at->type != wire::kOpenCommandGroup) ++at;
        EXPECT_NE(at, all.end()) << "no command group";
        if (at == all.end()) return steps;
        for (++at; at != all.end() && !ended(*at); ++at) {
            EXPECT_NE(at->handle, 0) << "outside the group";
            steps.push_back({at->type, at->key, at->index, at->value});
        }
        return steps;
    }

    VX_packet next(uint32_t timeoutMs = kWaitMs) {
        VX_packet packet{};
        EXPECT_EQ(system_.receiveNextPacket(timeoutMs, &packet, true), VX_OK);
        return packet;
    }

    PropertyValue stored(uint8_t index, uint32_t k) const {
        return sim_.model().read({index, k}).second;
    }

    qmx::SystemVeltraxCTL system_;
};

}  // namespace gen2ops
