#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "api/Registry.h"
#include "control/frame/RecordingSystem.h"

using qmx::SystemRegistry;
using vxtest::RecordingSystem;

namespace {

std::shared_ptr<RecordingSystem> system_() { return std::make_shared<RecordingSystem>(); }

std::vector<std::string> names(RecordingSystem& system) {
    std::vector<std::string> result;
    for (const auto& operation : system.operations()) result.push_back(operation.name);
    return result;
}

TEST(Registry, HandlesFillThirtyTwoToSixtyThreeInOrderThenRunOut) {
    SystemRegistry registry;
    std::vector<std::shared_ptr<RecordingSystem>> systems;
    for (uint32_t expected = 32; expected < 64; ++expected) {
        systems.push_back(system_());
        uint32_t index = 0;
        ASSERT_EQ(registry.putInFirstFree(systems.back(), &index), 0u);
        EXPECT_EQ(index, expected);
    }
    EXPECT_EQ(registry.lookup(63), systems.back());
    uint32_t index = 1234;
    EXPECT_EQ(registry.putInFirstFree(system_(), &index), 4u);
    EXPECT_EQ(index, 1234u);
    EXPECT_EQ(registry.occupiedCount(), 32u);

    // A freed handle is the next one given out.
    EXPECT_EQ(registry.closeOne(40), 0u);
    EXPECT_EQ(registry.putInFirstFree(system_(), &index), 0u);
    EXPECT_EQ(index, 40u);
}

TEST(Registry, InitListSlotsTakeOnlyIndicesBelowThirtyTwo) {
    SystemRegistry registry;
    EXPECT_EQ(registry.putAtIndex(system_(), 31), 0u);
    EXPECT_EQ(registry.putAtIndex(system_(), 0), 0u);
    EXPECT_EQ(registry.putAtIndex(system_(), 31), 4u);
    EXPECT_EQ(registry.putAtIndex(system_(), 32), 5u);
    EXPECT_EQ(registry.putAtIndex(system_(), 0xFFFFFFFF), 5u);
    EXPECT_EQ(registry.occupiedCount(), 2u);
    std::lock_guard<std::mutex> lock(registry.mutex());
    EXPECT_EQ(registry.occupiedInitSlotsLocked(), 2u);
}

TEST(Registry, LookupOfUnknownIndicesGivesNothing) {
    SystemRegistry registry;
    auto system = system_();
    ASSERT_EQ(registry.putAtIndex(system, 3), 0u);
    EXPECT_EQ(registry.lookup(3), system);
    EXPECT_FALSE(registry.lookup(4));
    EXPECT_FALSE(registry.lookup(64));
    EXPECT_FALSE(registry.lookup(0xFFFFFFFF));
}

TEST(Registry, CloseOneClosesOnlyOccupiedHandles) {
    SystemRegistry registry;
    auto initSystem = system_();
    auto handle = system_();
    ASSERT_EQ(registry.putAtIndex(initSystem, 5), 0u);
    uint32_t index = 0;
    ASSERT_EQ(registry.putInFirstFree(handle, &index), 0u);

    EXPECT_EQ(registry.closeOne(5), 5u);  // an init-list slot is not a handle
    EXPECT_EQ(registry.closeOne(33), 5u);
    EXPECT_EQ(registry.closeOne(64), 5u);
    EXPECT_TRUE(initSystem->operations().empty());

    handle->status = 10;  // a failing close still frees the handle
    EXPECT_EQ(registry.closeOne(32), 0u);
    // A waiting thread is woken first: nothing can arrive after the close.
    EXPECT_EQ(names(*handle), (std::vector<std::string>{"cancelWaitForPacket", "close"}));
    EXPECT_FALSE(registry.lookup(32));
    EXPECT_EQ(registry.closeOne(32), 5u);
    EXPECT_EQ(registry.occupiedCount(), 1u);
}

TEST(Registry, ReleaseAllCancelsAndDropsInitListSystemsOnly) {
    SystemRegistry registry;
    std::atomic<bool> destroyed{false};
    auto first = system_();
    auto third = system_();
    auto handle = system_();
    third->destroyed = &destroyed;
    ASSERT_EQ(registry.putAtIndex(first, 0), 0u);
    ASSERT_EQ(registry.putAtIndex(third, 2), 0u);
    uint32_t index = 0;
    ASSERT_EQ(registry.putInFirstFree(handle, &index), 0u);
    registry.setInitState(SystemRegistry::kInitializedAsync);

    EXPECT_EQ(registry.releaseAll(), 0u);
    EXPECT_EQ(names(*first), std::vector<std::string>{"cancelWaitForPacket"});
    EXPECT_EQ(names(*third), std::vector<std::string>{"cancelWaitForPacket"});
    EXPECT_TRUE(handle->operations().empty());
    third.reset();
    EXPECT_TRUE(destroyed.load());
    EXPECT_FALSE(registry.lookup(0));
    EXPECT_EQ(registry.lookup(32), handle);
    EXPECT_EQ(registry.initState(), SystemRegistry::kNotInitialized);
    EXPECT_EQ(registry.occupiedCount(), 1u);
}

TEST(Registry, ReleaseAllWithOnlyHandlesClosesNothing) {
    SystemRegistry registry;
    auto handle = system_();
    uint32_t index = 0;
    ASSERT_EQ(registry.putInFirstFree(handle, &index), 0u);
    registry.setInitState(SystemRegistry::kInitializedSync);
    EXPECT_EQ(registry.releaseAll(), 0u);
    EXPECT_TRUE(handle->operations().empty());
    EXPECT_EQ(registry.initState(), SystemRegistry::kNotInitialized);
    EXPECT_EQ(registry.lookup(32), handle);
}

TEST(Registry, ReleaseAllWithNothingOpenChangesNothing) {
    SystemRegistry registry;
    registry.setInitState(SystemRegistry::kInitializedSync);
    EXPECT_EQ(registry.releaseAll(), 2u);
    EXPECT_EQ(registry.initState(), SystemRegistry::kInitializedSync);
}

TEST(Registry, ClearDropsEverythingWithoutCallingSystems) {
    SystemRegistry registry;
    auto initSystem = system_();
    auto handle = system_();
    ASSERT_EQ(registry.putAtIndex(initSystem, 1), 0u);
    uint32_t index = 0;
    ASSERT_EQ(registry.putInFirstFree(handle, &index), 0u);
    registry.setInitState(SystemRegistry::kInitializedSync);
    {
        std::lock_guard<std::mutex> lock(registry.mutex());
        registry.initSystemsListLocked() = {7, 5};
    }
    registry.clear();
    EXPECT_TRUE(initSystem->operations().empty());
    EXPECT_TRUE(handle->operations().empty());
    EXPECT_EQ(initSystem.use_count(), 1);
    EXPECT_EQ(handle.use_count(), 1);
    EXPECT_EQ(registry.occupiedCount(), 0u);
    EXPECT_EQ(registry.initState(), SystemRegistry::kNotInitialized);
    std::lock_guard<std::mutex> lock(registry.mutex());
    EXPECT_TRUE(registry.initSystemsListLocked().empty());
}

TEST(Registry, DestroyingTheRegistryReleasesItsSystems) {
    std::atomic<bool> destroyed{false};
    {
        SystemRegistry registry;
        auto system = system_();
        system->destroyed = &destroyed;
        uint32_t index = 0;
        ASSERT_EQ(registry.putInFirstFree(system, &index), 0u);
    }
    EXPECT_TRUE(destroyed.load());
}

}  // namespace
