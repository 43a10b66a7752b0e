// The slot pool hands out the lowest free request ID, also across the
// words of its free-slot bitmap, and none once all 239 are taken.

#include <gtest/gtest.h>

#include <vector>

#include "device/CommandSlot.h"

namespace {

using vxctl::CommandSlotPool;
using vxctl::SlotKind;
using vxctl::SlotRef;

TEST(CommandSlotPool, HandsOutTheLowestFreeIdAndNoneWhenAllAreTaken) {
    CommandSlotPool pool;
    std::vector<SlotRef> taken;
    for (uint8_t id = vxctl::kFirstRequestId; id <= vxctl::kLastRequestId; ++id) {
        taken.push_back(pool.allocate(SlotKind::Read));
        ASSERT_TRUE(taken.back());
        EXPECT_EQ(taken.back()->requestId, id);
    }
    EXPECT_EQ(pool.allocate(SlotKind::Write), nullptr);
    EXPECT_EQ(pool.inUse(), 239u);

    // Freed out of order, on both sides of each 64-ID boundary.
    const uint8_t freed[] = {239, 128, 64, 63, 1, 127};
    for (uint8_t id : freed) taken[id - 1].reset();
    const uint8_t expected[] = {1, 63, 64, 127, 128, 239};
    for (uint8_t id : expected) {
        SlotRef slot = pool.allocate(SlotKind::Write);
        ASSERT_TRUE(slot);
        EXPECT_EQ(slot->requestId, id);
        EXPECT_EQ(slot->kind, SlotKind::Write);
        taken[id - 1] = std::move(slot);
    }
    EXPECT_EQ(pool.allocate(SlotKind::Read), nullptr);
    taken.clear();
    EXPECT_EQ(pool.inUse(), 0u);
}

}  // namespace
