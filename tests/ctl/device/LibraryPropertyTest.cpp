// The keys the library answers itself: what each takes and refuses, that
// none of them reaches the controller, and the log level and path keys
// acting on the log file.

#include <gtest/gtest.h>

#include "ctl/CtlLog.h"
#include "ctl/device/SimulatedDevice.h"

namespace {

using ctltest::Carrier;
using ctltest::SimulatedController;
using vxctl::Device;

class LibraryKeys : public ctltest::LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        ASSERT_EQ(device_.open(controller_.locator().c_str(), nullptr), VX_CTL_OK);
        controller_.endpoint().clearRequests();
    }
    void TearDown() override {
        // Device logging switched on reads the controller's own keys; no
        // library key is ever sent.
        for (const auto& request : controller_.endpoint().requests())
            EXPECT_NE(request.key >> 24, 0xF0u) << "a library key reached the controller";
        EXPECT_EQ(device_.slotsInUse(), 0u);
        LogTest::TearDown();
    }
    int32_t readInt(VX_CTL_PropertyKey key) {
        std::vector<int32_t> values;
        EXPECT_EQ(device_.getProperty_i32(0, key, &values), VX_CTL_OK);
        return values.size() == 1 ? values[0] : -1;
    }
    VX_CTL_Result writeInt(VX_CTL_PropertyKey key, int32_t value) {
        return device_.setProperty_i32(0, key, &value, false, 1);
    }

    SimulatedController controller_{Carrier::Tcp};
    Device device_;
};

// The switches take 0 and 1 only and keep their value otherwise.
struct Switch {
    const char* name;
    VX_CTL_PropertyKey key;
};

class Switches : public LibraryKeys, public ::testing::WithParamInterface<Switch> {};

TEST_P(Switches, TakeZeroOrOne) {
    const VX_CTL_PropertyKey key = GetParam().key;
    EXPECT_EQ(readInt(key), 0);
    EXPECT_EQ(writeInt(key, 1), VX_CTL_OK);
    EXPECT_EQ(readInt(key), 1);
    for (int32_t refused : {2, -1}) {
        EXPECT_EQ(writeInt(key, refused), VX_CTL_INVALID_PARAMETER);
        EXPECT_EQ(readInt(key), 1);
    }
    EXPECT_EQ(writeInt(key, 0), VX_CTL_OK);
    EXPECT_EQ(readInt(key), 0);
}

INSTANTIATE_TEST_SUITE_P(Device, Switches,
                         ::testing::Values(Switch{"RequestReadyEvents", vxctl::kRequestReadyEventsKey},
                                           Switch{"AutoReconnect", vxctl::kAutoReconnectKey},
                                           Switch{"DeviceLogging", vxctl::kDeviceLoggingKey}),
                         [](const auto& info) { return std::string(info.param.name); });

// Access every library key refuses, each by its own result.
struct Refusal {
    const char* name;
    std::function<VX_CTL_Result(Device&, VX_CTL_PropertyKey)> call;
    VX_CTL_Result expected;
};

const Refusal kRefusals[] = {
    {"ReadAsInt64",
     [](Device& d, VX_CTL_PropertyKey key) {
         std::vector<int64_t> values;
         return d.getProperty_i64(0, key, &values);
     },
     VX_CTL_INVALID_DATA_TYPE},
    {"WriteAsInt64",
     [](Device& d, VX_CTL_PropertyKey key) {
         const int64_t value = 0;
         return d.setProperty_i64(0, key, &value, false, 1);
     },
     VX_CTL_INVALID_DATA_TYPE},
    {"WriteAsArray",
     [](Device& d, VX_CTL_PropertyKey key) {
         const int32_t value = 0;
         return d.setProperty_i32(0, key, &value, true, 1);
     },
     VX_CTL_INVALID_DATA_TYPE},
    {"ReadAtIndex1",
     [](Device& d, VX_CTL_PropertyKey key) {
         std::vector<int32_t> values;
         return d.getProperty_i32(1, key, &values);
     },
     VX_CTL_INVALID_DEVICE_INDEX},
    {"WriteAtIndex1",
     [](Device& d, VX_CTL_PropertyKey key) {
         const int32_t value = 0;
         return d.setProperty_i32(1, key, &value, false, 1);
     },
     VX_CTL_INVALID_DEVICE_INDEX},
    {"ReadUnderATransmitHandle",
     [](Device& d, VX_CTL_PropertyKey key) {
         VX_CTL_RequestID id = 0;
         return d.requestReadProperty(0, key, &id, 1);
     },
     VX_CTL_INVALID_PARAMETER},
    {"WriteUnderATransmitHandle",
     [](Device& d, VX_CTL_PropertyKey key) {
         const int32_t value = 0;
         return d.requestWriteProperty_i32(0, key, &value, false, 1, nullptr, 1);
     },
     VX_CTL_INVALID_PARAMETER},
};

class Refusals : public LibraryKeys, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, HoldForEveryLibraryKey) {
    for (VX_CTL_PropertyKey key : {vxctl::kRequestReadyEventsKey, vxctl::kAutoReconnectKey, vxctl::kLogLevelKey,
                                   vxctl::kDeviceLoggingKey, vxctl::kLogPathKey}) {
        EXPECT_EQ(GetParam().call(device_, key), GetParam().expected) << std::hex << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Device, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LibraryKeys, TheLevelKeyStartsAndStopsTheLogFileAndThePathKeyNamesIt) {
    std::string path = "not read";
    EXPECT_EQ(device_.getProperty_s(0, vxctl::kLogPathKey, &path), VX_CTL_OK);
    EXPECT_EQ(path, "");
    std::vector<int32_t> values;
    EXPECT_EQ(device_.getProperty_i32(0, vxctl::kLogPathKey, &values), VX_CTL_INVALID_DATA_TYPE);
    EXPECT_EQ(device_.setProperty_s(0, vxctl::kLogPathKey, "/tmp/elsewhere.log"), VX_CTL_PERMISSION_DENIED);
    EXPECT_EQ(device_.setProperty_s(0, vxctl::kLogLevelKey, "3"), VX_CTL_INVALID_DATA_TYPE);
    std::string text;
    EXPECT_EQ(device_.getProperty_s(0, vxctl::kLogLevelKey, &text), VX_CTL_INVALID_DATA_TYPE);

    ctltest::TempDir dir;
    ASSERT_TRUE(vxctl::applySettings(ctltest::logInto(dir.path(), 1)));
    const std::string file = dir.file("VeltraxCTL.log");
    EXPECT_EQ(readInt(vxctl::kLogLevelKey), 1);
    EXPECT_EQ(writeInt(vxctl::kLogLevelKey, 0), VX_CTL_OK);
    EXPECT_EQ(vxctl::logPath(), "");
    EXPECT_EQ(ctltest::readLines(file).back().substr(ctltest::readLines(file).back().find("]: ") + 3), "Logging stopped");

    EXPECT_EQ(writeInt(vxctl::kLogLevelKey, 3), VX_CTL_OK);
    EXPECT_EQ(readInt(vxctl::kLogLevelKey), 3);
    EXPECT_EQ(device_.getProperty_s(0, vxctl::kLogPathKey, &path), VX_CTL_OK);
    EXPECT_EQ(path, file);
    EXPECT_EQ(ctltest::apiTexts(file, 0).front().rfind("Logging started", 0), 0u);
}

TEST_F(LibraryKeys, AsynchronousAccessCompletesAtOnce) {
    VX_CTL_RequestID id = 0;
    ASSERT_EQ(device_.requestReadProperty(1, vxctl::kAutoReconnectKey, &id, 0), VX_CTL_OK);
    std::vector<int32_t> values;
    EXPECT_EQ(device_.readProperty_i32(id, &values), VX_CTL_INVALID_DEVICE_INDEX);
    const int32_t value = 2;
    ASSERT_EQ(device_.requestWriteProperty_i32(0, vxctl::kAutoReconnectKey, &value, false, 1, &id, 0), VX_CTL_OK);
    EXPECT_EQ(device_.waitForWrite(id), VX_CTL_INVALID_PARAMETER);
    ASSERT_EQ(device_.requestReadProperty(0, vxctl::kAutoReconnectKey, &id, 0), VX_CTL_OK);
    EXPECT_EQ(device_.readProperty_i32(id, &values), VX_CTL_OK);
    EXPECT_EQ(values, std::vector<int32_t>{0});
}

}  // namespace
