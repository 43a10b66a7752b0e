// The slot pool hands out the request ID free for longest (at first 1 to
// 239 in order), so that a late or repeated reply finds its ID free, and
// none once all 239 are taken.

#include <gtest/gtest.h>

#include <vector>

#include "device/CommandSlot.h"

namespace {

using vxctl::CommandSlotPool;
using vxctl::SlotKind;
using vxctl::SlotRef;

TEST(CommandSlotPool, HandsOutTheIdFreeForLongestAndNoneWhenAllAreTaken) {
    CommandSlotPool pool;
    std::vector<SlotRef> taken;
    for (uint8_t id = vxctl::kFirstRequestId; id <= vxctl::kLastRequestId; ++id) {
        taken.push_back(pool.allocate(SlotKind::Read));
        ASSERT_TRUE(taken.back());
        EXPECT_EQ(taken.back()->requestId, id);
    }
    EXPECT_EQ(pool.allocate(SlotKind::Write), nullptr);
    EXPECT_EQ(pool.inUse(), 239u);

    // Freed out of order: handed out again in the order they were freed.
    const uint8_t freed[] = {239, 128, 64, 63, 1, 127};
    for (uint8_t id : freed) taken[id - 1].reset();
    for (uint8_t id : freed) {
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
