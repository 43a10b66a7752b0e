#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/PositionerTypes.h"

namespace {

using qmx::listPositionerTypes;
using qmx::positionerTypeName;
using qmx::positionerTypeProperty;

TEST(PositionerTypeList, TooSmallCapacityReportsTheCountAndWritesNothing) {
    for (uint32_t capacity : {0u, 1u, 55u}) {
        std::vector<uint32_t> list(56, 0xAAAAAAAAu);
        uint32_t size = capacity;
        EXPECT_EQ(listPositionerTypes(list.data(), &size), 23u) << capacity;
        EXPECT_EQ(size, 56u);
        for (uint32_t entry : list) EXPECT_EQ(entry, 0xAAAAAAAAu);
    }
}

TEST(PositionerTypeList, ListsCodesOneToFiftySixInOrder) {
    for (uint32_t capacity : {56u, 100u}) {
        std::vector<uint32_t> list(100, 0xAAAAAAAAu);
        uint32_t size = capacity;
        ASSERT_EQ(listPositionerTypes(list.data(), &size), 0u);
        EXPECT_EQ(size, 56u);
        for (uint32_t i = 0; i < 56; ++i) EXPECT_EQ(list[i], i + 1);
        EXPECT_EQ(list[56], 0xAAAAAAAAu);
    }
}

TEST(PositionerTypeName, EveryCodeHasAShortName) {
    for (uint32_t type = 1; type <= 56; ++type) {
        char name[32];
        uint32_t size = sizeof name;
        ASSERT_EQ(positionerTypeName(type, name, &size), 0u) << type;
        EXPECT_EQ(size, std::strlen(name));
        EXPECT_GE(size, 1u);
        EXPECT_LE(size, 6u);
    }
}

TEST(PositionerTypeName, CapacityMustHoldTheNameAndItsTerminator) {
    char probe[32];
    uint32_t length = sizeof probe;
    ASSERT_EQ(positionerTypeName(25, probe, &length), 0u);

    char name[32];
    std::memset(name, 'x', sizeof name);
    uint32_t size = length;
    EXPECT_EQ(positionerTypeName(25, name, &size), 23u);
    EXPECT_EQ(size, length);
    EXPECT_EQ(name[0], 'x');

    size = length + 1;
    EXPECT_EQ(positionerTypeName(25, name, &size), 0u);
    EXPECT_EQ(size, length);
    EXPECT_STREQ(name, probe);
}

TEST(PositionerTypeName, UnknownCodesLeaveTheSizeAlone) {
    for (uint32_t type : {0u, 57u, 99u, 0x80000000u, 0xFFFFFFFFu}) {
        char name[8] = "keep";
        uint32_t size = sizeof name;
        EXPECT_EQ(positionerTypeName(type, name, &size), 9u) << type;
        EXPECT_EQ(size, sizeof name);
        EXPECT_STREQ(name, "keep");
    }
}

struct PropertyGroup {
    uint32_t rotary;
    uint32_t referenceType;
    std::vector<uint32_t> codes;
};

TEST(PositionerTypeProperty, EveryCodeHasItsRotaryAndReferenceType) {
    const PropertyGroup groups[] = {
        {0, 1, {9, 32, 43, 44}},
        {0, 2, {1, 5, 21, 34, 41, 42}},
        {0, 3, {6, 18, 24, 35, 38, 40}},
        {1, 0, {13, 15, 26, 28}},
        {1, 1, {10, 11, 12, 14, 27, 29, 33, 45, 46, 53, 54, 55}},
        {1, 2, {2, 3, 4, 7, 8, 16, 17, 19, 20, 22, 23, 30, 31, 36, 37, 39, 47, 48, 49, 50, 51, 52, 56}},
        {1, 3, {25}},
    };
    size_t total = 0;
    for (const auto& group : groups) {
        for (uint32_t code : group.codes) {
            uint32_t value = 99;
            ASSERT_EQ(positionerTypeProperty(code, 1, &value), 0u) << code;
            EXPECT_EQ(value, group.rotary) << code;
            ASSERT_EQ(positionerTypeProperty(code, 2, &value), 0u) << code;
            EXPECT_EQ(value, group.referenceType) << code;
            ++total;
        }
    }
    EXPECT_EQ(total, 56u);
}

TEST(PositionerTypeProperty, UnknownPropertyAndUnknownCode) {
    uint32_t value = 77;
    EXPECT_EQ(positionerTypeProperty(1, 3, &value), 156u);
    EXPECT_EQ(positionerTypeProperty(1, 0, &value), 156u);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(positionerTypeProperty(99, 3, &value), 9u);
    EXPECT_EQ(positionerTypeProperty(0, 1, &value), 9u);
    EXPECT_EQ(positionerTypeProperty(0xFFFFFFFFu, 1, &value), 9u);
    EXPECT_EQ(value, 77u);
}

}  // namespace
