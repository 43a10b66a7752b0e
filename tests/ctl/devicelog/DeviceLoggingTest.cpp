// Device logging against the simulator's log buffers: the configuration
// patched from the settings, the messages and the overflow written as
// device lines, the flush when the device closes, and the log file kept
// open while device logging runs.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "VeltraxCTL.h"
#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"
#include "device/LibraryProperties.h"
#include "devicelog/DeviceLogging.h"
#include "sim/Gen2LogBuffers.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Module = vxsim::Gen2LogBuffers::Module;
using ctltest::Carrier;
using Clock = std::chrono::steady_clock;

constexpr int64_t kContinued = 0x000000c142434445;
constexpr int64_t kLast = 0x46;

class DeviceLoggingTest : public ctltest::LogTest {
protected:
    void TearDown() override {
        if (handle_ != 0) VX_CTL_Close(handle_);
        LogTest::TearDown();
    }

    std::string logFile() const { return dir_.file("VeltraxCTL.log"); }
    void startLog(int32_t level) { ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir_.path(), level))); }
    void open() {
        ASSERT_EQ(VX_CTL_OK, VX_CTL_Open(&handle_, controller_.locator().c_str(), controller_.options().c_str()));
    }
    VX_CTL_Result switchLogging(int32_t on) { return VX_CTL_SetProperty_i32(handle_, 0, vxctl::kDeviceLoggingKey, on); }
    int32_t loggingOn() {
        int32_t on = -1;
        EXPECT_EQ(VX_CTL_OK, VX_CTL_GetProperty_i32(handle_, 0, vxctl::kDeviceLoggingKey, &on, nullptr));
        return on;
    }

    // "[tag]: text" of every device line.
    std::vector<std::string> deviceLines() {
        std::vector<std::string> lines;
        for (const auto& entry : ctltest::logEntries(logFile()))
            if (entry.source == "DEV ") lines.push_back("[" + entry.tag + "]: " + entry.text);
        return lines;
    }
    bool waitForDeviceLines(size_t count) {
        return vxtest::waitUntil([&] { return deviceLines().size() >= count; });
    }
    bool apiLineWritten(const std::string& text) {
        for (const auto& entry : ctltest::logEntries(logFile()))
            if (entry.source == "API " && entry.text == text) return true;
        return false;
    }

    ctltest::TempDir dir_;
    ctltest::SimulatedController controller_{Carrier::Tcp};
    vxsim::Gen2LogBuffers buffers_{controller_.sim().model(), controller_.endpoint()};
    VX_CTL_DeviceHandle handle_ = 0;
};

TEST_F(DeviceLoggingTest, SettingsPatchTheConfigurationOfTheirSourceOnly) {
    ctltest::writeFile(dir_.file(vxctl::kIniFileName), std::string(vxctl::kIniFirstLine) +
                                                            "\nLogLevel=1\nDeviceLogging=1\nLogPath=" + dir_.path() +
                                                            "\nMsgSrc=DM,2,1,3\nMsgSrc=XM,0,1,3\nMsgSrc=IM,0,9,5\nMsgSrc=HM,0,4,6\n");
    vxctl::loadIniSettingsFrom({dir_.path()});
    open();
    EXPECT_EQ(1, loggingOn());
    auto configuration = [&](Module module, uint8_t index) {
        return std::get<std::vector<int32_t>>(
            *controller_.sim().model().value({index, vxsim::Gen2LogBuffers::keys(module).configuration}));
    };
    EXPECT_EQ((std::vector<int32_t>{0, 3, 0, 0}), configuration(Module::Drive, 2));
    for (const auto& [module, index] : {std::pair{Module::Drive, 0}, {Module::Drive, 1}, {Module::Interface, 0},
                                        {Module::HandControl, 0}})
        EXPECT_EQ(std::vector<int32_t>(4, 0), configuration(module, static_cast<uint8_t>(index)));
    // Every configuration array was written back once.
    size_t writes = 0;
    for (const auto& request : controller_.endpoint().requests())
        if (request.type == vxsim::gen2::command::kWritePropertyArray) ++writes;
    EXPECT_EQ(5u, writes);
}

TEST_F(DeviceLoggingTest, MessagesOverflowsAndTheirSources) {
    startLog(1);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    EXPECT_EQ(1, loggingOn());
    buffers_.log(Module::Drive, 1, {kContinued, kLast});
    ASSERT_TRUE(waitForDeviceLines(1));
    buffers_.log(Module::Interface, 0, {0x1234});
    ASSERT_TRUE(waitForDeviceLines(2));
    buffers_.announceOverflow(Module::HandControl, 0);
    ASSERT_TRUE(waitForDeviceLines(3));
    EXPECT_EQ((std::vector<std::string>{
                  "[DM,1]: 0x000000c142434445 0x0000000000000046",
                  "[IM,0]: 0x0000000000001234",
                  "[HM,0]: overflow",
              }),
              deviceLines());
    EXPECT_EQ(0u, buffers_.remaining(Module::Drive, 1));
}

TEST_F(DeviceLoggingTest, LongRunsOfWordsAreReadToTheEnd) {
    startLog(1);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    std::vector<int64_t> words;
    for (int64_t i = 1; i <= 40; ++i) words.push_back(i);
    buffers_.log(Module::Drive, 0, words);
    ASSERT_TRUE(waitForDeviceLines(40));
    const std::vector<std::string> lines = deviceLines();
    EXPECT_EQ("[DM,0]: 0x0000000000000001", lines.front());
    EXPECT_EQ("[DM,0]: 0x0000000000000028", lines.back());
}

// Two reads to start, one more per word, and one extra after every eight
// words in a row: 15 words take 2 + 15 + 1 reads, the last three finding
// the buffer empty.
TEST_F(DeviceLoggingTest, EightWordsInARowAddOneRead) {
    startLog(1);
    open();
    std::vector<int64_t> words;
    for (int64_t i = 1; i <= 15; ++i) words.push_back(i);
    buffers_.fill(Module::Drive, 0, words);
    const uint32_t buffer = vxsim::Gen2LogBuffers::keys(Module::Drive).buffer;
    auto reads = [&] {
        size_t count = 0;
        for (const auto& request : controller_.endpoint().requests())
            if (request.type == vxsim::gen2::command::kReadProperty && request.key == buffer && request.index == 0)
                ++count;
        return count;
    };
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    ASSERT_TRUE(waitForDeviceLines(15));
    ASSERT_TRUE(vxtest::waitUntil([&] { return reads() >= 18; }));
    // The close waits for the reads still out; none follows them.
    ASSERT_EQ(VX_CTL_OK, VX_CTL_Close(handle_));
    handle_ = 0;
    EXPECT_EQ(18u, reads());
}

TEST_F(DeviceLoggingTest, ItsReadsPostNoRequestReadyEvents) {
    startLog(1);
    open();
    ASSERT_EQ(VX_CTL_OK, VX_CTL_SetProperty_i32(handle_, 0, vxctl::kRequestReadyEventsKey, 1));
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    buffers_.log(Module::Drive, 0, {1, 2, 3});
    ASSERT_TRUE(waitForDeviceLines(3));
    VX_CTL_Event event;
    EXPECT_EQ(VX_CTL_TIMEOUT, VX_CTL_WaitForEvent(handle_, &event, 0));
}

TEST_F(DeviceLoggingTest, SwitchingOnAgainReplacesTheLogger) {
    startLog(1);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    buffers_.log(Module::Interface, 0, {7});
    ASSERT_TRUE(waitForDeviceLines(1));
    ASSERT_EQ(VX_CTL_OK, switchLogging(0));
    EXPECT_EQ(0, loggingOn());
    EXPECT_EQ((std::vector<std::string>{"[IM,0]: 0x0000000000000007"}), deviceLines());
}

TEST_F(DeviceLoggingTest, KeepsTheLogFileOpenUntilItEnds) {
    startLog(1);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    vxctl::setLogLevel(0);
    EXPECT_EQ(logFile(), vxctl::logPath());
    buffers_.log(Module::Interface, 0, {5});
    ASSERT_TRUE(waitForDeviceLines(1));
    ASSERT_EQ(VX_CTL_OK, switchLogging(0));
    EXPECT_EQ("", vxctl::logPath());
}

TEST_F(DeviceLoggingTest, CloseFlushesWithinItsLimit) {
    startLog(2);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    buffers_.log(Module::Drive, 2, {1, 2});
    ASSERT_TRUE(waitForDeviceLines(2));
    const auto start = Clock::now();
    ASSERT_EQ(VX_CTL_OK, VX_CTL_Close(handle_));
    handle_ = 0;
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_FALSE(apiLineWritten("Device log buffer read timeout"));
}

TEST_F(DeviceLoggingTest, AFlushThatOutlastsItsLimitIsLogged) {
    startLog(2);
    open();
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    controller_.endpoint().addFault(vxsim::Gen2Fault::late(
        {vxsim::gen2::kCommandStart, vxsim::gen2::command::kReadProperty}, 1000ms));
    // The sources drain their buffers once logging starts: the read to wait
    // for is one that comes after the word is logged.
    const size_t readsBefore = buffers_.reads();
    buffers_.log(Module::Drive, 0, {1});
    ASSERT_TRUE(controller_.endpoint().waitForRequests(1, 2000ms));
    ASSERT_TRUE(vxtest::waitUntil([&] { return buffers_.reads() > readsBefore; }));
    ASSERT_EQ(VX_CTL_OK, VX_CTL_Close(handle_));
    handle_ = 0;
    EXPECT_TRUE(apiLineWritten("Device log buffer read timeout"));
}

TEST_F(DeviceLoggingTest, AFailedStartLetsTheLogFileClose) {
    startLog(2);
    open();
    // The channel count answers two values.
    controller_.sim().model().define({0, vxsim::gen2key::kChannelCount}, std::vector<int32_t>{1, 2}, true);
    ASSERT_EQ(VX_CTL_OK, switchLogging(1));
    EXPECT_EQ(0, loggingOn());
    EXPECT_TRUE(apiLineWritten("Enabling device logging failed."));
    vxctl::setLogLevel(0);
    EXPECT_EQ("", vxctl::logPath());
}

TEST(DeviceMessageText, WordsInHexadecimalSeparatedByABlank) {
    EXPECT_EQ("0x000000c142434445 0x0000000000000046", vxctl::deviceMessageText({kContinued, kLast}));
    EXPECT_EQ("0xffffffffffffffff", vxctl::deviceMessageText({-1}));
}

}  // namespace
