// Opening and closing a system many times leaves no thread and no file
// descriptor behind, whatever the mode and whether the system was used.

#include <dirent.h>

#include <cstdio>

#include "FtdiDouble.h"
#include "e2e/Simulated.h"

namespace {

using namespace e2e;

constexpr int kCycles = 200;

// Entries of a /proc directory, without "." and "..".
size_t countEntries(const char* path) {
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return 0;
    size_t count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count;
}

struct Resources {
    size_t threads;
    size_t descriptors;
    bool operator==(const Resources&) const = default;
};

Resources resources() { return {countEntries("/proc/self/task"), countEntries("/proc/self/fd")}; }

class OpenCloseCycles : public ::testing::TestWithParam<Carrier> {
protected:
    // With a hand control module the open waits for no module that is
    // missing: about a millisecond on loopback.
    OpenCloseCycles() : sim(GetParam(), vxsim::SystemSetup::standard(1, true)) {}

    // One application session: open, one answered request, close.
    void cycle(int i) {
        const bool async = i % 2 == 1;
        VX_SystemIndex index = kNoIndex;
        ASSERT_EQ(VX_OpenSystem(&index, sim.locator().c_str(), async ? "async" : nullptr), 0u) << i;
        if (async) {
            ASSERT_EQ(VX_GetPosition_A(index, 0), 0u);
            VX_packet packet{};
            ASSERT_EQ(VX_ReceiveNextPacket_A(index, 2000, &packet), 0u);
            EXPECT_EQ(packet.packetType, static_cast<uint32_t>(VX_PACKET_POSITION));
        } else if (i % 4 == 0) {
            int position = 0;
            ASSERT_EQ(VX_GetPosition_S(index, 0, &position), 0u);
        }
        ASSERT_EQ(VX_CloseSystem(index), 0u) << i;
    }

    // The simulator lets go of its side of a connection on its own time. A
    // thread of the warm-up cycles may end only after `expected` was taken,
    // so fewer threads than then is settled too; only more would be left behind.
    bool settled(const Resources& expected) {
        return vxtest::waitUntil(
            [&] {
                const Resources now = resources();
                return sim.endpoint().connections() == 0 && now.descriptors == expected.descriptors &&
                       now.threads <= expected.threads;
            },
            3000ms);
    }

    SimulatedSystem sim;
};

TEST_P(OpenCloseCycles, LeaveNoThreadOrDescriptorBehind) {
    // The first cycle loads what stays loaded for the process.
    cycle(0);
    cycle(1);
    ASSERT_TRUE(vxtest::waitUntil([&] { return sim.endpoint().connections() == 0; }));
    const Resources before = resources();

    const auto start = Clock::now();
    for (int i = 0; i < kCycles; ++i) {
        cycle(i);
        if (HasFatalFailure()) return;
    }
    const auto took = elapsedSince(start);
    std::printf("%d open/close cycles over %s took %lld ms\n", kCycles, carrierText(GetParam()),
                static_cast<long long>(took.count()));

    EXPECT_TRUE(settled(before));
    const Resources after = resources();
    EXPECT_LE(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    if (GetParam() == Carrier::Usb) {
        EXPECT_EQ(sim.sim().usb().api().openHandleCount(), 0);
    }
}

TEST_P(OpenCloseCycles, SystemsClosedAfterALostConnectionLeaveNothingBehind) {
    cycle(0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return sim.endpoint().connections() == 0; }));
    const Resources before = resources();

    for (int i = 0; i < 20; ++i) {
        VX_SystemIndex index = kNoIndex;
        ASSERT_EQ(VX_OpenSystem(&index, sim.locator().c_str(), nullptr), 0u);
        sim.endpoint().disconnectAll();
        int position = 0;
        // The loss is noticed by the call or by the transport, in either order.
        EXPECT_NE(VX_GetPosition_S(index, 0, &position), 15u);
        ASSERT_EQ(VX_CloseSystem(index), 0u);
    }

    EXPECT_TRUE(settled(before));
    EXPECT_LE(resources().threads, before.threads);
    EXPECT_EQ(resources().descriptors, before.descriptors);
}

INSTANTIATE_TEST_SUITE_P(E2e, OpenCloseCycles, ::testing::Values(Carrier::Tcp, Carrier::Usb),
                         carrierName);

}  // namespace
