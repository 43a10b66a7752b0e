// A TCP line that holds every byte for longer than two reply times and then
// delivers what it held, in order, while many reads and a write are in
// flight: every reply reaches the request it was sent for, or none.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "device/Device.h"
#include "sim/Gen2Simulator.h"
#include "sim/LineProxy.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using vxctl::Device;

constexpr VX_CTL_PropertyKey kReadKeys[] = {0x03010100, 0x03010101};
constexpr int32_t kReadValues[] = {1111, 2222};
constexpr VX_CTL_PropertyKey kWriteKey = 0x03010102;

// What the callers saw, counted as they go.
struct Load {
    std::atomic<bool> stop{false};
    std::atomic<bool> released{false};
    std::atomic<int> readsOk{0};
    std::atomic<int> readsOkAfterRelease{0};
    std::atomic<int> wrongValues{0};
    std::atomic<int> writesOk{0};
    std::atomic<int> writesCompletedByARead{0};
};

// Reads in flight, alternating the two keys, collected in turn.
void readInFlight(Device& device, Load& load) {
    constexpr size_t kInFlight = 16;
    while (!load.stop) {
        const bool afterRelease = load.released;
        std::vector<std::pair<VX_CTL_RequestID, size_t>> requests;
        for (size_t i = 0; i < kInFlight; ++i) {
            VX_CTL_RequestID id = 0;
            if (device.requestReadProperty(0, kReadKeys[i % 2], &id, 0) == VX_CTL_OK) requests.push_back({id, i % 2});
        }
        for (const auto& [id, key] : requests) {
            std::vector<int32_t> values;
            if (device.readProperty_i32(id, &values) != VX_CTL_OK) continue;
            ++load.readsOk;
            if (afterRelease) ++load.readsOkAfterRelease;
            if (values != std::vector<int32_t>{kReadValues[key]}) ++load.wrongValues;
        }
    }
}

void writeInTurn(Device& device, Load& load) {
    for (int32_t value = 0; !load.stop; ++value) {
        const VX_CTL_Result result = device.setProperty_i32(0, kWriteKey, &value, false, 1);
        if (result == VX_CTL_OK) ++load.writesOk;
        // A write answered with values.
        if (result == 0x0010) ++load.writesCompletedByARead;
    }
}

// The line is held for 4.5 s, over four reply times of 1 s, so that every
// request in flight times out and the IDs taken then must stay taken; the
// run lasts about 6 s in all.
TEST(HeldLine, DeliversNoReplyToAnotherRequest) {
    vxsim::Gen2Simulator sim;
    sim.serveTcp();
    for (size_t i = 0; i < 2; ++i) sim.model().define({0, kReadKeys[i]}, kReadValues[i]);
    sim.model().define({0, kWriteKey}, int32_t{0});
    vxsim::LineProxy line({sim.tcpLocator()});

    vxctl::DeviceTiming timing;
    timing.request = 1000ms;
    Device device(timing);
    ASSERT_EQ(device.open(line.locator().c_str(), nullptr), VX_CTL_OK);

    Load load;
    std::vector<std::future<void>> callers;
    for (int i = 0; i < 4; ++i) callers.push_back(std::async(std::launch::async, [&] { readInFlight(device, load); }));
    callers.push_back(std::async(std::launch::async, [&] { writeInTurn(device, load); }));

    EXPECT_TRUE(vxtest::waitUntil([&] { return load.readsOk >= 64 && load.writesOk > 0; }));
    line.setFault(vxsim::LineFault::hold());
    std::this_thread::sleep_for(4500ms);  // the cut
    line.setFault(vxsim::LineFault::pass());
    load.released = true;
    // Reads sent after the cut are answered again.
    EXPECT_TRUE(vxtest::waitUntil([&] { return load.readsOkAfterRelease >= 64; }, 8000ms));
    load.stop = true;
    for (auto& caller : callers) ASSERT_EQ(caller.wait_for(10s), std::future_status::ready);

    EXPECT_EQ(load.wrongValues, 0) << "of " << load.readsOk << " reads returning 0";
    EXPECT_EQ(load.writesCompletedByARead, 0);
    // Every ID held for a late reply was freed by the replies that came.
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.slotsInUse() == 0; }, 3000ms)) << device.slotsInUse();
}

}  // namespace
