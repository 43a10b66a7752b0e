#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QMXControl.h"
#include "common/CtlLibrary.h"
#include "support/QmxLog.h"

namespace {

const bool ctlAbsent = (qmx::setVeltraxCTLFileName("libqmxtest-absent-veltraxctl.so"), true);

class InitList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ctlAbsent);
        VX_ReleaseSystems();
        ASSERT_EQ(VX_ClearInitSystemsList(), 0u);
        VX_SetLogFilter(2);
        vxtest::QmxLog::attach();
    }
    void TearDown() override {
        vxtest::QmxLog::detach();
        VX_ReleaseSystems();
        VX_ClearInitSystemsList();
    }
    static std::vector<std::string> logged() { return vxtest::QmxLog::lines(); }
};

TEST_F(InitList, AddRefusesDuplicatesAndASixtyFifthId) {
    EXPECT_EQ(VX_AddSystemToInitSystemsList(7), 0u);
    EXPECT_EQ(VX_AddSystemToInitSystemsList(7), 18u);
    for (unsigned int id = 100; id < 163; ++id) ASSERT_EQ(VX_AddSystemToInitSystemsList(id), 0u) << id;
    EXPECT_EQ(VX_AddSystemToInitSystemsList(500), 4u);
    EXPECT_EQ(VX_AddSystemToInitSystemsList(7), 4u);
    EXPECT_EQ(VX_ClearInitSystemsList(), 0u);
    EXPECT_EQ(VX_AddSystemToInitSystemsList(500), 0u);
}

TEST_F(InitList, ConfigurationWordsAboveThreeAreInvalid) {
    for (unsigned int configuration : {4u, 5u, 8u, 0x80000000u}) EXPECT_EQ(VX_InitSystems(configuration), 9u);
    unsigned int state = 9;
    EXPECT_EQ(VX_GetInitState(&state), 0u);
    EXPECT_EQ(state, 0u);
}

TEST_F(InitList, WithoutAttachedSystemsInitFindsNothing) {
    for (unsigned int configuration : {0u, 1u, 2u, 3u}) EXPECT_EQ(VX_InitSystems(configuration), 3u);
    unsigned int ids[4] = {};
    unsigned int count = 4;
    EXPECT_EQ(VX_GetAvailableSystems(ids, &count), 3u);
    EXPECT_EQ(count, 0u);
}

TEST_F(InitList, NothingInitialisedMeansNoSystemsAndNothingToRelease) {
    unsigned int number = 77;
    EXPECT_EQ(VX_GetNumberOfSystems(&number), 2u);
    EXPECT_EQ(number, 77u);
    EXPECT_EQ(VX_ReleaseSystems(), 2u);
}

TEST_F(InitList, ReturnLinesCarryTheirOutputsOnlyOnSuccess) {
    VX_SetLogLevel(2);
    unsigned int value = 0;
    VX_GetInitState(&value);
    VX_GetNumberOfSystems(&value);
    VX_AddSystemToInitSystemsList(3);
    VX_InitSystems(6);
    VX_ReleaseSystems();

    std::vector<std::string> calls;
    for (const auto& line : logged()) {
        if (line.rfind("call [", 0) == 0 || line.rfind("return [", 0) == 0) calls.push_back(line.substr(line.find(']') + 1));
    }
    const std::vector<std::string> expected = {
        " VX_GetInitState()",                 " -> 0 | 0",
        " VX_GetNumberOfSystems()",           " -> 2 | ",
        " VX_AddSystemToInitSystemsList(3)",  " -> 0 | ",
        " VX_InitSystems(0x6)",               " -> 9 | ",
        " VX_ReleaseSystems()",               " -> 2 | ",
    };
    EXPECT_EQ(calls, expected);
}

}  // namespace
