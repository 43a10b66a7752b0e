// The frame of the hand-written exports: what an exception, a held mutex and
// a call that ends without its return line do to the lines and the status.

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "control/frame/CallLog.h"

using vxtest::CallLog;
using Lines = std::vector<std::string>;

namespace {

struct Case {
    const char* what;
    std::function<qmx::ExportResult()> body;
    VX_STATUS status;
    Lines lines;
};

// Whether another thread finds the mutex taken (a thread must not try a
// mutex it may hold itself).
bool heldElsewhere(std::mutex& mutex) {
    bool held = false;
    std::thread probe([&] {
        held = !mutex.try_lock();
        if (!held) mutex.unlock();
    });
    probe.join();
    return held;
}

class HandWrittenFrame : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        CallLog::start();
        qmx::setCallCounter(6);
    }
    void TearDown() override { CallLog::stop(); }
};

TEST_P(HandWrittenFrame, StatusAndLines) {
    const Case& c = GetParam();
    std::mutex held;
    const VX_STATUS status = qmx::runFramed(
        "VX_Probe", [](qmx::LogValues& v) { v.unsignedValue(3); },
        [&] {
            EXPECT_TRUE(heldElsewhere(held));
            return c.body();
        },
        // The outputs see the status the call returns, the mutex still held.
        [&](qmx::LogValues& v, VX_STATUS seen) {
            EXPECT_TRUE(heldElsewhere(held));
            v.unsignedValue(seen);
        },
        &held);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(CallLog::take(), c.lines);
    // Released on every way out, an exception included.
    EXPECT_FALSE(heldElsewhere(held));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, HandWrittenFrame,
    ::testing::Values(
        Case{"Status", [] { return qmx::ExportResult(14); }, 14,
             {"call [7] VX_Probe(3)", "return [7] -> 14 | 14"}},
        Case{"StandardException", []() -> qmx::ExportResult { throw std::runtime_error("fault"); }, 12,
             {"call [7] VX_Probe(3)", "return [7] -> 12 | 12"}},
        Case{"AnyOtherThrow", []() -> qmx::ExportResult { throw 42; }, 12,
             {"call [7] VX_Probe(3)", "return [7] -> 12 | 12"}},
        Case{"WithoutReturnLine", [] { return qmx::ExportResult::withoutReturnLine(0); }, 0,
             {"call [7] VX_Probe(3)"}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

TEST(UnframedExport, AnExceptionBecomesTheInternalErrorAndNoLine) {
    CallLog::start();
    qmx::setCallCounter(6);
    EXPECT_EQ(qmx::runUnframed([]() -> VX_STATUS { throw std::bad_alloc(); }), 12u);
    EXPECT_EQ(qmx::runUnframed([] { return VX_STATUS{156}; }), 156u);
    EXPECT_TRUE(CallLog::take().empty());
    // No call number was taken.
    EXPECT_EQ(qmx::nextCallNumber(), 7u);
    CallLog::stop();
}

}  // namespace
