#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/Registry.h"
#include "control/frame/CallLog.h"
#include "control/frame/RecordingSystem.h"
#include "support/Wait.h"

using vxtest::CallLog;
using vxtest::RecordingSystem;
using Lines = std::vector<std::string>;

namespace {

constexpr VX_SystemIndex kSync = 32;
constexpr VX_SystemIndex kAsync = 33;

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        qmx::systemRegistry().clear();
        uint32_t index = 0;
        ASSERT_EQ(qmx::systemRegistry().putInFirstFree(sync, &index), 0u);
        ASSERT_EQ(index, kSync);
        ASSERT_EQ(qmx::systemRegistry().putInFirstFree(async, &index), 0u);
        ASSERT_EQ(index, kAsync);
        CallLog::start();
    }
    void TearDown() override {
        CallLog::stop();
        qmx::systemRegistry().clear();
    }

    std::shared_ptr<RecordingSystem> sync = std::make_shared<RecordingSystem>(false);
    std::shared_ptr<RecordingSystem> async = std::make_shared<RecordingSystem>(true);
};

TEST_F(Frame, UnknownIndexReturnsFiveWithoutOperationOrOutput) {
    qmx::setCallCounter(40);
    unsigned int mode = 7;
    EXPECT_EQ(VX_GetSensorEnabled_S(64, &mode), 5u);
    EXPECT_EQ(VX_Stop_S(40, 3), 5u);  // a handle slot that holds nothing
    EXPECT_EQ(VX_GetSensorEnabled_S(0xFFFFFFFF, &mode), 5u);
    EXPECT_EQ(mode, 7u);
    EXPECT_TRUE(sync->operations().empty());
    EXPECT_TRUE(async->operations().empty());
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [41] VX_GetSensorEnabled_S(64)",
                                   "return [41] -> 5 | ",
                                   "call [42] VX_Stop_S(40,3)",
                                   "return [42] -> 5 | ",
                                   "call [43] VX_GetSensorEnabled_S(4294967295)",
                                   "return [43] -> 5 | ",
                               }));
}

TEST_F(Frame, CallAndReturnLinesOfBothTwins) {
    sync->outputs = {1};
    qmx::setCallCounter(16);
    unsigned int mode = 0;
    EXPECT_EQ(VX_GetSensorEnabled_S(kSync, &mode), 0u);
    EXPECT_EQ(mode, 1u);
    EXPECT_EQ(VX_GetSensorEnabled_A(kAsync), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [17] VX_GetSensorEnabled_S(32)",
                                   "return [17] -> 0 | 1",
                                   "call [18] VX_GetSensorEnabled_A(33)",
                                   "return [18] -> 0 | ",
                               }));
}

TEST_F(Frame, MovementAndPositionLinesCarryNoBlanksBetweenValues) {
    sync->outputs = {-1000};
    qmx::setCallCounter(6);
    int position = 0;
    EXPECT_EQ(VX_GotoPositionAbsolute_S(kSync, 0, -1000, 500), 0u);
    EXPECT_EQ(VX_GetPosition_S(kSync, 0, &position), 0u);
    EXPECT_EQ(position, -1000);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [7] VX_GotoPositionAbsolute_S(32,0,-1000,500)",
                                   "return [7] -> 0 | ",
                                   "call [8] VX_GetPosition_S(32,0)",
                                   "return [8] -> 0 | -1000",
                               }));
}

TEST_F(Frame, ArgumentLoggingOffDropsParenthesesAndBar) {
    VX_SetLogFilter(0);
    qmx::setCallCounter(0);
    int position = 0;
    EXPECT_EQ(VX_GetPosition_S(kSync, 0, &position), 0u);
    EXPECT_EQ(VX_GetPosition_S(64, 0, &position), 5u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetPosition_S",
                                   "return [1] -> 0",
                                   "call [2] VX_GetPosition_S",
                                   "return [2] -> 5",
                               }));
}

TEST_F(Frame, ArgumentsFlagIsReadAgainForTheReturnLine) {
    sync->onCall = [] { VX_SetLogFilter(0); };
    qmx::setCallCounter(0);
    EXPECT_EQ(VX_Stop_S(kSync, 2), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{"call [1] VX_Stop_S(32,2)", "return [1] -> 0"}));
}

TEST_F(Frame, BelowLevelTwoNothingIsWrittenButNumbersAdvance) {
    qmx::setCallCounter(100);
    VX_SetLogLevel(1);
    EXPECT_EQ(VX_Stop_S(kSync, 0), 0u);
    EXPECT_EQ(VX_Stop_S(64, 0), 5u);
    VX_SetLogLevel(2);
    EXPECT_EQ(VX_Stop_S(kSync, 0), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{"call [103] VX_Stop_S(32,0)", "return [103] -> 0 | "}));
}

TEST_F(Frame, CallNumberWrapsToZero) {
    qmx::setCallCounter(0xFFFFFFFE);
    EXPECT_EQ(VX_Stop_S(kSync, 0), 0u);
    EXPECT_EQ(VX_Stop_S(kSync, 0), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [4294967295] VX_Stop_S(32,0)",
                                   "return [4294967295] -> 0 | ",
                                   "call [0] VX_Stop_S(32,0)",
                                   "return [0] -> 0 | ",
                               }));
}

TEST_F(Frame, FailedGetterLogsWhatTheCallerLeftInItsVariables) {
    int position = 77;
    unsigned int angle = 5;
    int revolution = -9;
    qmx::setCallCounter(0);
    EXPECT_EQ(VX_GetPosition_S(kAsync, 1, &position), 13u);  // wrong mode, from the operation
    EXPECT_EQ(VX_GetAngle_S(kAsync, 1, &angle, &revolution), 13u);
    EXPECT_EQ(position, 77);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetPosition_S(33,1)",
                                   "return [1] -> 13 | 77",
                                   "call [2] VX_GetAngle_S(33,1)",
                                   "return [2] -> 13 | 5,-9",
                               }));
    // The operation was reached: the status is its own.
    EXPECT_EQ(async->operations().size(), 2u);
}

TEST_F(Frame, StatusOfTheOperationPassesThroughUnchanged) {
    for (VX_STATUS status : {0u, 2u, 6u, 14u, 143u, 223u, 255u}) {
        sync->status = status;
        EXPECT_EQ(VX_SetPosition_S(kSync, 0, 1), status);
    }
}

TEST_F(Frame, AnExceptionNeverLeavesTheExport) {
    sync->onCall = [] { throw std::runtime_error("driver fault"); };
    EXPECT_EQ(VX_Stop_S(kSync, 0), 255u);
}

TEST_F(Frame, SystemClosedByAnotherThreadLivesUntilTheRunningExportReturns) {
    std::atomic<bool> destroyed{false};
    std::atomic<bool> blocked{false};
    vxtest::Latch<bool> entered;
    vxtest::Latch<bool> release;
    RecordingSystem* observed = nullptr;
    uint32_t handle = 0;
    {
        auto blocking = std::make_shared<RecordingSystem>(false);
        blocking->destroyed = &destroyed;
        blocking->onCall = [&] {
            if (blocked.exchange(true)) return;  // only the export's own call waits
            entered.set(true);
            release.wait(std::chrono::seconds(5));
        };
        observed = blocking.get();
        ASSERT_EQ(qmx::systemRegistry().putInFirstFree(blocking, &handle), 0u);
    }
    VX_STATUS status = 99;
    std::thread caller([&] { status = VX_Stop_S(handle, 1); });
    ASSERT_TRUE(entered.wait(std::chrono::seconds(5)));

    // Closing while the export runs closes the system and drops the
    // registry's reference, but must not destroy the system under it.
    EXPECT_EQ(qmx::systemRegistry().closeOne(handle), 0u);
    EXPECT_FALSE(qmx::systemRegistry().lookup(handle));
    EXPECT_FALSE(destroyed.load());
    EXPECT_EQ(observed->last().name, "close");

    release.set(true);
    caller.join();
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(destroyed.load());
}

TEST(CallCounter, OverlappingCallsNeverShareANumber) {
    constexpr int kThreads = 8;
    constexpr int kCalls = 2000;
    qmx::setCallCounter(0);
    std::vector<std::vector<uint32_t>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) taken[t].push_back(qmx::nextCallNumber());
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<uint32_t> all;
    for (const auto& numbers : taken) all.insert(numbers.begin(), numbers.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kCalls));
    EXPECT_EQ(*all.begin(), 1u);
    EXPECT_EQ(*all.rbegin(), static_cast<uint32_t>(kThreads * kCalls));
}

TEST(LogValues, TextFormsOfEveryKind) {
    qmx::LogValues values;
    values.unsignedValue(4294967295u)
        .signedValue(-5)
        .hex(171)
        .signedValue(12)
        .text(nullptr)
        .text("usb:id:7")
        .character('A')
        .bytesHex(nullptr, 0);
    const uint8_t bytes[] = {0x00, 0x0f, 0xab, 'Q'};
    values.bytesHex(bytes, 4).bytesAsCharacters(bytes + 3, 1);
    EXPECT_EQ(values.str(), "4294967295,-5,0xab,12,\"\",\"usb:id:7\",A,{},{0x0,0xf,0xab,0x51},{Q}");
}

TEST(LogValues, NullTextInACallLineIsTwoQuotes) {
    CallLog::start();
    qmx::writeCallLine(3, "VX_OpenSystem", [](qmx::LogValues& values) { values.text("network:host").text(nullptr); });
    qmx::writeReturnLine(3, 0, [](qmx::LogValues& values) { values.unsignedValue(32); });
    EXPECT_EQ(CallLog::take(), (Lines{"call [3] VX_OpenSystem(\"network:host\",\"\")", "return [3] -> 0 | 32"}));
    CallLog::stop();
}

}  // namespace
