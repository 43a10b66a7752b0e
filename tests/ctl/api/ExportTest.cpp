// The traced exports: the copy rules, the call and return lines with every
// printer, and closing a device under a waiting thread.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "VeltraxCTL.h"
#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"
#include "event/EventText.h"
#include "platform/Text.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using ctltest::Carrier;
using ctltest::SimulatedController;

constexpr VX_CTL_PropertyKey kThreeValues = 0x0300001F;
constexpr VX_CTL_PropertyKey kOneValue = 0x0003001F;
constexpr VX_CTL_PropertyKey kName = 0x03000020;
constexpr VX_CTL_DeviceHandle kNoDevice = 9;

// The text of every traced line, with the call numbers taken out and checked
// to pair: "call N" and "return N" both become "#".
std::vector<std::string> tracedLines(const std::string& path) {
    static const std::regex numbered(R"(^(call|return) \[(\d+)\] (.*)$)");
    std::vector<std::string> lines;
    std::string open;
    for (const std::string& text : ctltest::apiTexts(path, 2)) {
        std::smatch match;
        if (!std::regex_match(text, match, numbered)) continue;
        if (match[1] == "call") {
            open = match[2];
        } else {
            EXPECT_EQ(open, match[2]) << "return without its call: " << text;
        }
        lines.push_back(std::string(match[1]) + " # " + std::string(match[3]));
    }
    return lines;
}

class ExportTest : public ctltest::LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        controller_.sim().model().define({0, kThreeValues}, std::vector<int32_t>{7, 8, 9});
        controller_.sim().model().define({0, kOneValue}, int32_t{5});
        controller_.sim().model().define({0, kName}, std::string("stage"));
    }
    void TearDown() override {
        if (handle_ != 0) VX_CTL_Close(handle_);
        LogTest::TearDown();
    }

    void startLog(bool arguments = true) {
        vxctl::LogSettings settings = ctltest::logInto(dir_.path(), 2);
        settings.logArgs = arguments;
        ASSERT_TRUE(vxctl::applySettings(settings));
    }
    void open() {
        ASSERT_EQ(VX_CTL_OK, VX_CTL_Open(&handle_, controller_.locator().c_str(), controller_.options().c_str()));
    }
    std::vector<std::string> lines() { return tracedLines(dir_.file("VeltraxCTL.log")); }

    ctltest::TempDir dir_;
    SimulatedController controller_{Carrier::Tcp};
    VX_CTL_DeviceHandle handle_ = 0;
};

TEST_F(ExportTest, IntegerValuesAreCopiedOnlyWhenTheSizeHoldsThem) {
    open();
    int32_t values[3] = {0, 0, 0};
    EXPECT_EQ(VX_CTL_INVALID_QUERYBUFFER_SIZE, VX_CTL_GetProperty_i32(handle_, 0, kThreeValues, values, nullptr));
    size_t size = 2;
    EXPECT_EQ(VX_CTL_INVALID_QUERYBUFFER_SIZE, VX_CTL_GetProperty_i32(handle_, 0, kThreeValues, values, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, values[0]);
    size = 3;
    EXPECT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kThreeValues, values, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ((std::vector<int32_t>{7, 8, 9}), std::vector<int32_t>(values, values + 3));
    EXPECT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kOneValue, values, nullptr));
    EXPECT_EQ(5, values[0]);
}

TEST_F(ExportTest, TextNeedsRoomForItsZeroByte) {
    open();
    char text[8] = "xxxxxxx";
    size_t size = 5;
    EXPECT_EQ(VX_CTL_INVALID_QUERYBUFFER_SIZE, VX_CTL_GetProperty_s(handle_, 0, kName, text, &size));
    EXPECT_EQ(5u, size);
    EXPECT_STREQ("xxxxxxx", text);
    size = 6;
    EXPECT_EQ(VX_CTL_OK, VX_CTL_GetProperty_s(handle_, 0, kName, text, &size));
    EXPECT_EQ(5u, size);
    EXPECT_STREQ("stage", text);
}

TEST_F(ExportTest, ARequestIsCollectedOnce) {
    open();
    VX_CTL_RequestID id = 0;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_RequestReadProperty(handle_, 0, kOneValue, &id, 0));
    int32_t value = 0;
    EXPECT_EQ(VX_CTL_OK, VX_CTL_ReadProperty_i32(handle_, id, &value, nullptr));
    EXPECT_EQ(5, value);
    EXPECT_EQ(VX_CTL_INVALID_PARAMETER, VX_CTL_ReadProperty_i32(handle_, id, &value, nullptr));
}

// A reply that comes after its request timed out answers nothing: the
// caller had 4 at the reply time, the late reply is reported as 0xF00F.
TEST_F(ExportTest, ALateReplyToATimedOutRequestIsReportedAsUnexpected) {
    open();
    const vxsim::Gen2Match reads{vxsim::gen2::kCommandStart, vxsim::gen2::command::kReadProperty};
    controller_.endpoint().addFault(vxsim::Gen2Fault::late(reads, 2300ms, 1));
    int32_t value = 0;
    EXPECT_EQ(0x0004u, VX_CTL_GetProperty_i32(handle_, 0, kOneValue, &value, nullptr));
    VX_CTL_Event event{};
    EXPECT_EQ(0xF00Fu, VX_CTL_WaitForEvent(handle_, &event, 5000));
    EXPECT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kOneValue, &value, nullptr));
    EXPECT_EQ(5, value);
}

// The controller never runs the group: cancelling it ends the wait for its
// request at once.
TEST_F(ExportTest, CancellingAClosedGroupEndsItsRequestsWaits) {
    open();
    controller_.endpoint().loseNextGroup(true);
    VX_CTL_TransmitHandle group = 0;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_OpenCommandGroup(handle_, &group, 0));
    VX_CTL_RequestID id = 0;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_RequestReadProperty(handle_, 0, kOneValue, &id, group));
    ASSERT_EQ(VX_CTL_OK, VX_CTL_CloseCommandGroup(handle_, group));
    vxtest::Latch<VX_CTL_Result> waited;
    std::thread waiter([&] {
        int32_t value = 0;
        waited.set(VX_CTL_ReadProperty_i32(handle_, id, &value, nullptr));
    });
    EXPECT_FALSE(waited.wait(300ms)) << "the group was sent and has not run";
    EXPECT_EQ(VX_CTL_OK, VX_CTL_CancelCommandGroup(handle_, group));
    VX_CTL_Result result = VX_CTL_OK;
    EXPECT_TRUE(waited.wait(1000ms, &result));
    waiter.join();
    EXPECT_EQ(0xF010u, result);
}

TEST_F(ExportTest, UnknownHandlesGiveInvalidHandleWithBothLinesAndNoOutputs) {
    startLog();
    for (const VX_CTL_DeviceHandle handle : {0u, 128u}) {
        VX_CTL_TransmitHandle transmit = 0;
        EXPECT_EQ(VX_CTL_INVALID_DEVICE_HANDLE, VX_CTL_CreateOutputBuffer(handle, &transmit));
    }
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_CreateOutputBuffer(0)",
                  "return # -> 0xf007 (\"invalid device handle\")",
                  "call # VX_CTL_CreateOutputBuffer(128)",
                  "return # -> 0xf007 (\"invalid device handle\")",
              }),
              lines());
}

TEST_F(ExportTest, AReadIsTracedWithItsArgumentsAndOutputs) {
    open();
    startLog();
    int32_t value = 0;
    size_t size = 1;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kOneValue, &value, &size));
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_GetProperty_i32(" + std::to_string(handle_) + ", 0, 0x3001f, 1)",
                  "return # -> 0x0 (\"no error\") | {5}, 1",
              }),
              lines());
}

TEST_F(ExportTest, CallNumbersCountUpOncePerCall) {
    startLog();
    VX_CTL_Cancel(kNoDevice);
    VX_CTL_Cancel(kNoDevice);
    std::vector<uint32_t> numbers;
    static const std::regex numbered(R"(^call \[(\d+)\] .*$)");
    for (const std::string& text : ctltest::apiTexts(dir_.file("VeltraxCTL.log"), 2)) {
        std::smatch match;
        if (std::regex_match(text, match, numbered)) numbers.push_back(std::stoul(match[1]));
    }
    ASSERT_EQ(2u, numbers.size());
    EXPECT_EQ(numbers[0] + 1, numbers[1]);
}

TEST_F(ExportTest, WithoutArgumentsLinesEndAfterNameAndText) {
    open();
    startLog(false);
    int32_t value = 0;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kOneValue, &value, nullptr));
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_GetProperty_i32",
                  "return # -> 0x0 (\"no error\")",
              }),
              lines());
}

struct PrinterCase {
    const char* what;
    std::function<void()> call;
    const char* callLine;
};

TEST_F(ExportTest, EachPrinterKindInTheCallLine) {
    const int32_t i32s[] = {1, -2, 3};
    const int64_t i64s[] = {-5000000000};
    VX_CTL_RequestID id = 200;
    size_t size = 4;
    const std::vector<PrinterCase> cases = {
        {"index sign-extended", [] { VX_CTL_Stop(kNoDevice, -1, 3); }, "VX_CTL_Stop(9, -1, 3)"},
        {"64-bit value", [] { VX_CTL_Move(kNoDevice, 2, -7000000000, 0); }, "VX_CTL_Move(9, 2, -7000000000, 0)"},
        {"key in hexadecimal and text",
         [] { VX_CTL_SetProperty_s(kNoDevice, 0, 0xF00100AF, "a b"); },
         "VX_CTL_SetProperty_s(9, 0, 0xf00100af, \"a b\")"},
        {"null text", [] { VX_CTL_SetProperty_s(kNoDevice, 0, 0x10, nullptr); },
         "VX_CTL_SetProperty_s(9, 0, 0x10, NULL)"},
        {"32-bit array and its size",
         [&] { VX_CTL_SetPropertyArray_i32(kNoDevice, 1, 0xA, i32s, 3); },
         "VX_CTL_SetPropertyArray_i32(9, 1, 0xa, {1, -2, 3}, 3)"},
        {"64-bit array, pointed request ID",
         [&] { VX_CTL_RequestWritePropertyArray_i64(kNoDevice, 0, 0xB, i64s, 1, &id, 4); },
         "VX_CTL_RequestWritePropertyArray_i64(9, 0, 0xb, {-5000000000}, 1, 200, 4)"},
        {"empty array", [&] { VX_CTL_SetPropertyArray_i64(kNoDevice, 0, 0xB, i64s, 0); },
         "VX_CTL_SetPropertyArray_i64(9, 0, 0xb, {}, 0)"},
        {"pointed size and null size",
         [&] {
             int32_t out[4];
             VX_CTL_GetProperty_i32(kNoDevice, 0, 0xC, out, &size);
             VX_CTL_ReadProperty_i64(kNoDevice, 17, nullptr, nullptr);
         },
         "VX_CTL_GetProperty_i32(9, 0, 0xc, 4)\nVX_CTL_ReadProperty_i64(9, 17, NULL)"},
        {"request ID value", [] { VX_CTL_WaitForWrite(kNoDevice, 239); }, "VX_CTL_WaitForWrite(9, 239)"},
        {"trigger mode and time-out",
         [] {
             VX_CTL_TransmitHandle transmit = 0;
             VX_CTL_Event event;
             VX_CTL_OpenCommandGroup(kNoDevice, &transmit, 2);
             VX_CTL_WaitForEvent(kNoDevice, &event, VX_CTL_INFINITE);
         },
         "VX_CTL_OpenCommandGroup(9, 2)\nVX_CTL_WaitForEvent(9, 4294967295)"},
        {"stream frame size", [] { VX_CTL_StreamFrame(kNoDevice, 3, nullptr, 18); },
         "VX_CTL_StreamFrame(9, 3, 18)"},
    };
    for (const PrinterCase& printer : cases) {
        SCOPED_TRACE(printer.what);
        vxctl::resetLogging();
        startLog();
        printer.call();
        std::vector<std::string> calls;
        for (const std::string& line : lines())
            if (line.rfind("call # ", 0) == 0) calls.push_back(line.substr(7));
        EXPECT_EQ(printer.callLine, vxplatform::joinText(calls, "\n"));
    }
}

TEST_F(ExportTest, OutputsOfValueArraysTextsAndEvents) {
    open();
    startLog();
    const std::string h = std::to_string(handle_);
    int32_t values[3];
    size_t size = 3;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, kThreeValues, values, &size));
    char text[16];
    size = sizeof text;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_GetProperty_s(handle_, 0, kName, text, &size));
    controller_.endpoint().injectEvent(2, 0x0002, 77);
    VX_CTL_Event event;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_WaitForEvent(handle_, &event, 2000));
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_GetProperty_i32(" + h + ", 0, 0x300001f, 3)",
                  "return # -> 0x0 (\"no error\") | {7, 8, 9}, 3",
                  "call # VX_CTL_GetProperty_s(" + h + ", 0, 0x3000020, 16)",
                  "return # -> 0x0 (\"no error\") | \"stage\", 5",
                  "call # VX_CTL_WaitForEvent(" + h + ", 2000)",
                  "return # -> 0x0 (\"no error\") | {Event " + vxctl::describeEvent(event) + "}",
              }),
              lines());
    EXPECT_STREQ(vxctl::describeEvent(event).c_str(), VX_CTL_GetEventInfo(&event));
}

TEST_F(ExportTest, TheSearchIsTracedWithItsList) {
    vxsim::Gen2Simulator usb;
    usb.attachUsb({"TR-1", "Veltrax QMX2", 0x5E0000A1});
    startLog();
    char list[64];
    size_t length = sizeof list;
    ASSERT_EQ(VX_CTL_OK, VX_CTL_FindDevices("no-network-devices", list, &length));
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_FindDevices(\"no-network-devices\", 64)",
                  "return # -> 0x0 (\"no error\") | \"usb:sn:TR-1\"",
              }),
              lines());
}

TEST_F(ExportTest, OpenAndCloseAreTraced) {
    startLog();
    open();
    ASSERT_EQ(VX_CTL_OK, VX_CTL_Close(handle_));
    const std::string h = std::to_string(handle_);
    handle_ = 0;
    EXPECT_EQ((std::vector<std::string>{
                  "call # VX_CTL_Open(\"" + controller_.locator() + "\", \"\")",
                  "return # -> 0x0 (\"no error\") | " + h,
                  "call # VX_CTL_Close(" + h + ")",
                  "return # -> 0x0 (\"no error\")",
              }),
              lines());
}

TEST_F(ExportTest, CloseEndsAnotherThreadsEventWait) {
    open();
    vxtest::Latch<VX_CTL_Result> waited;
    std::thread waiter([&] {
        VX_CTL_Event event;
        waited.set(VX_CTL_WaitForEvent(handle_, &event, VX_CTL_INFINITE));
    });
    // The wait has begun once a second waiter is refused.
    ASSERT_TRUE(vxtest::waitUntil([&] {
        VX_CTL_Event event;
        return VX_CTL_WaitForEvent(handle_, &event, 0) == VX_CTL_THREAD_LIMIT_REACHED;
    }));
    EXPECT_EQ(VX_CTL_OK, VX_CTL_Close(handle_));
    VX_CTL_Result result = VX_CTL_OK;
    EXPECT_TRUE(waited.wait(5000ms, &result));
    waiter.join();
    EXPECT_EQ(VX_CTL_CANCELED, result);
    EXPECT_EQ(VX_CTL_INVALID_DEVICE_HANDLE, VX_CTL_Close(handle_));
    handle_ = 0;
}

TEST(ExportTexts, ResultAndVersionTexts) {
    EXPECT_STREQ("invalid device handle", VX_CTL_GetResultInfo(0x1234F007));
    EXPECT_STREQ("unknown error", VX_CTL_GetResultInfo(0x9999));
    EXPECT_STREQ("1.1.44.63212", VX_CTL_GetFullVersionString());
}

}  // namespace
