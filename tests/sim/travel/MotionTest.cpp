// The straight-line motion both controller models move their channels with.

#include <gtest/gtest.h>

#include "sim/Motion.h"

namespace {

using namespace std::chrono_literals;
using vxsim::Motion;
using vxsim::SimClock;

TEST(Motion, TravelsInAStraightLineAndReportsItsArrivalOnce) {
    const SimClock::time_point t0{};
    Motion motion(-5);
    EXPECT_FALSE(motion.unreported());
    EXPECT_EQ(motion.valueAt(t0), -5);

    motion.start(100, 300, 200ms, t0);
    const struct {
        SimClock::duration at;
        int64_t value;
        bool arrived;
    } rows[] = {{0ms, 100, false}, {50ms, 150, false}, {100ms, 200, false}, {200ms, 300, true}, {1s, 300, true}};
    for (const auto& row : rows) {
        EXPECT_EQ(motion.valueAt(t0 + row.at), row.value) << row.at.count();
        EXPECT_EQ(motion.arrived(t0 + row.at), row.arrived) << row.at.count();
    }
    EXPECT_EQ(motion.arrival(), t0 + 200ms);
    EXPECT_EQ(motion.target(), 300);
    EXPECT_FALSE(motion.takeArrival(t0 + 199ms));
    EXPECT_TRUE(motion.unreported());
    EXPECT_TRUE(motion.takeArrival(t0 + 200ms));
    EXPECT_FALSE(motion.takeArrival(t0 + 300ms));
    EXPECT_FALSE(motion.unreported());
}

TEST(Motion, AHaltEndsItWhereItStands) {
    const SimClock::time_point t0{};
    Motion motion;
    motion.start(0, -1000, 100ms, t0);
    EXPECT_TRUE(motion.halt(t0 + 25ms));
    EXPECT_EQ(motion.valueAt(t0 + 1s), -250);
    EXPECT_FALSE(motion.unreported());
    EXPECT_FALSE(motion.halt(t0 + 2s));
}

}  // namespace
