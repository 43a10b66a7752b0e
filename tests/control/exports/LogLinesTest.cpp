// Call and return lines of each kind of argument and output, and of the
// exports that leave the plain frame.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "api/ExportFrame.h"
#include "api/Registry.h"
#include "control/frame/CallLog.h"
#include "control/frame/RecordingSystem.h"

using vxtest::CallLog;
using vxtest::RecordingSystem;
using Lines = std::vector<std::string>;

namespace {

class LogLines : public ::testing::Test {
protected:
    void SetUp() override {
        auto& registry = qmx::systemRegistry();
        registry.clear();
        uint32_t index = 0;
        ASSERT_EQ(registry.putInFirstFree(sync, &index), 0u);   // 32
        ASSERT_EQ(registry.putInFirstFree(async, &index), 0u);  // 33
        CallLog::start();
        qmx::setCallCounter(0);
    }
    void TearDown() override {
        CallLog::stop();
        qmx::systemRegistry().clear();
    }

    std::shared_ptr<RecordingSystem> sync = std::make_shared<RecordingSystem>(false);
    std::shared_ptr<RecordingSystem> async = std::make_shared<RecordingSystem>(true);
};

TEST_F(LogLines, PropertyKeyInHexadecimalAndTheValueDecimalAgain) {
    int value = 0;
    sync->outputs = {-3};
    EXPECT_EQ(VX_GetChannelProperty_A(33, 1, 171), 0u);
    EXPECT_EQ(VX_SetChannelProperty_A(33, 1, 171, -5), 0u);
    EXPECT_EQ(VX_GetChannelProperty_S(32, 10, 0x0816002F, &value), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetChannelProperty_A(33,1,0xab)",
                                   "return [1] -> 0 | ",
                                   "call [2] VX_SetChannelProperty_A(33,1,0xab,-5)",
                                   "return [2] -> 0 | ",
                                   "call [3] VX_GetChannelProperty_S(32,10,0x816002f)",
                                   "return [3] -> 0 | -3",
                               }));
}

TEST_F(LogLines, ByteArgumentsAsCharacters) {
    unsigned char value = 0;
    EXPECT_EQ(VX_WriteIndexToIndexMap(32, 65, 66), 0u);
    EXPECT_EQ(VX_ReadIndexFromIndexMap(32, 'C', &value), 0u);
    EXPECT_EQ(value, 'Z');
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_WriteIndexToIndexMap(32,A,B)",
                                   "return [1] -> 0 | ",
                                   "call [2] VX_ReadIndexFromIndexMap(32,C)",
                                   "return [2] -> 0 | ",
                               }));
}

TEST_F(LogLines, ByteListsInHexadecimalAndAsCharacters) {
    unsigned char buffer[8] = {};
    unsigned int size = sizeof buffer;
    sync->bytes = {0x01, 0xab, 0x00};
    EXPECT_EQ(VX_GetFeaturePermissions(32, 2, buffer, &size), 0u);
    EXPECT_EQ(size, 3u);

    size = 2;  // too small: the operation reports 17 and size 0
    EXPECT_EQ(VX_GetFeaturePermissions(32, 2, buffer, &size), 17u);
    EXPECT_EQ(size, 0u);

    sync->bytes = {'Q', 'M', 'X'};
    size = sizeof buffer;
    EXPECT_EQ(VX_ReadHCMConfigSlot_S(32, 1, buffer, &size), 0u);

    const unsigned char slot[] = {'a', 'b', 'c'};
    size = 3;
    EXPECT_EQ(VX_WriteHCMConfigSlot_S(32, 1, slot, &size), 0u);

    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetFeaturePermissions(32,2)",
                                   "return [1] -> 0 | {0x1,0xab,0x0}",
                                   "call [2] VX_GetFeaturePermissions(32,2)",
                                   "return [2] -> 17 | {}",
                                   "call [3] VX_ReadHCMConfigSlot_S(32,1)",
                                   "return [3] -> 0 | {Q,M,X}",
                                   "call [4] VX_WriteHCMConfigSlot_S(32,1)",
                                   "return [4] -> 0 | {a,b,c}",
                               }));
}

TEST_F(LogLines, ByteListNeverReadsPastTheCallersCapacity) {
    unsigned char buffer[3] = {};
    unsigned int size = sizeof buffer;
    sync->bytes = {1, 2, 3};
    sync->reportedSize = 200;  // a driver that claims more than it could write
    EXPECT_EQ(VX_GetFeaturePermissions(32, 0, buffer, &size), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{"call [1] VX_GetFeaturePermissions(32,0)", "return [1] -> 0 | {0x1,0x2,0x3}"}));
}

TEST_F(LogLines, SharedFormattersOfSeveralOutputs) {
    unsigned int u[3] = {};
    int i[2] = {};
    sync->outputs = {359999999, -1, 5, -32768};
    EXPECT_EQ(VX_GetAngleLimit_S(32, 0, &u[0], &i[0], &u[1], &i[1]), 0u);
    sync->outputs = {4, -100000, 100000};
    EXPECT_EQ(VX_GetEndEffectorType_S(32, 1, &u[0], &i[0], &i[1]), 0u);
    sync->outputs = {200, 1500, 3000};
    EXPECT_EQ(VX_ReadSpeedLevelTableEntry_S(32, 2, &u[0], &u[1], &u[2]), 0u);
    sync->outputs = {-1, 0, 7};  // a negative value read back is logged unsigned
    EXPECT_EQ(VX_ReadSpeedLevelTableEntry_S(32, 3, &u[0], &u[1], &u[2]), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetAngleLimit_S(32,0)",
                                   "return [1] -> 0 | 359999999,-1,5,-32768",
                                   "call [2] VX_GetEndEffectorType_S(32,1)",
                                   "return [2] -> 0 | 4,-100000,100000",
                                   "call [3] VX_ReadSpeedLevelTableEntry_S(32,2)",
                                   "return [3] -> 0 | 200,1500,3000",
                                   "call [4] VX_ReadSpeedLevelTableEntry_S(32,3)",
                                   "return [4] -> 0 | 4294967295,0,7",
                               }));
}

TEST_F(LogLines, SignedReadsAndUnloggedRecords) {
    int value = 0;
    unsigned int angle = 0;
    int revolution = 0;
    VX_packet packet{};
    sync->outputs = {0xFFFFFFFF};
    EXPECT_EQ(VX_ReadDebugValue_S(32, 1, 20, &value), 0u);
    EXPECT_EQ(value, -1);
    sync->outputs = {90000000, -1};
    EXPECT_EQ(VX_GetAngle_S(32, 0, &angle, &revolution), 0u);
    EXPECT_EQ(VX_GetCaptureBuffer_S(32, 0, 7, &packet), 0u);
    EXPECT_EQ(packet.packetType, 20u);
    EXPECT_EQ(VX_ReceiveNextPacket_A(33, 500, &packet), 0u);
    EXPECT_EQ(VX_GetBufferedOutput_A(33, &angle), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_ReadDebugValue_S(32,1,20)",
                                   "return [1] -> 0 | -1",
                                   "call [2] VX_GetAngle_S(32,0)",
                                   "return [2] -> 0 | 90000000,-1",
                                   "call [3] VX_GetCaptureBuffer_S(32,0,7)",
                                   "return [3] -> 0 | ",
                                   "call [4] VX_ReceiveNextPacket_A(33,500)",
                                   "return [4] -> 0 | ",
                                   "call [5] VX_GetBufferedOutput_A(33)",
                                   "return [5] -> 0 | 101",
                               }));
}

TEST_F(LogLines, FirmwareVersionTakesTheSystemSecondAndIsSilentWhenUnknown) {
    unsigned int version = 0;
    sync->outputs = {0x03000017};
    EXPECT_EQ(VX_GetFirmwareVersion(1, 32, 0, &version), 0u);
    EXPECT_EQ(version, 0x03000017u);
    EXPECT_EQ(sync->last().name, "getFirmwareVersion");
    EXPECT_EQ(VX_GetFirmwareVersion(1, 64, 0, &version), 5u);
    unsigned int serial = 9;
    EXPECT_EQ(VX_GetChannelSerialNumber(40, 0, &serial), 5u);
    EXPECT_EQ(serial, 9u);
    sync->outputs = {0x2001};
    EXPECT_EQ(VX_GetChannelSerialNumber(32, 0, &serial), 0u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetFirmwareVersion(1,32,0)",
                                   "return [1] -> 0 | 0x3000017",
                                   "call [2] VX_GetFirmwareVersion(1,64,0)",
                                   "call [3] VX_GetChannelSerialNumber(40,0)",
                                   "call [4] VX_GetChannelSerialNumber(32,0)",
                                   "return [4] -> 0 | 8193",
                               }));
}

TEST_F(LogLines, LibraryVersionIsFramedWithoutASystem) {
    unsigned int version = 0;
    EXPECT_EQ(VX_GetDLLVersion(&version), 0u);
    EXPECT_EQ(version, 0x03000017u);
    EXPECT_GT(version, 0x02000015u);
    VX_SetLogFilter(0);
    EXPECT_EQ(VX_GetDLLVersion(&version), 0u);
    VX_SetLogLevel(0);
    version = 0;
    EXPECT_EQ(VX_GetDLLVersion(&version), 0u);
    EXPECT_EQ(version, 50331671u);
    EXPECT_EQ(CallLog::take(), (Lines{
                                   "call [1] VX_GetDLLVersion()",
                                   "return [1] -> 0 | 0x3000017",
                                   "call [2] VX_GetDLLVersion",
                                   "return [2] -> 0",
                               }));
}

// The positioner-type queries answer from the library's table when asked
// without a system, and touch no system at all.
TEST_F(LogLines, PositionerTypesWithoutASystem) {
    unsigned int list[64] = {};
    unsigned int size = 0;
    EXPECT_EQ(VX_GetPositionerTypeList(VX_NO_SYSTEM, list, &size), 23u);
    EXPECT_EQ(size, 56u);
    EXPECT_EQ(list[0], 0u);
    size = 64;
    EXPECT_EQ(VX_GetPositionerTypeList(VX_NO_SYSTEM, list, &size), 0u);
    EXPECT_EQ(size, 56u);
    EXPECT_EQ(list[0], 1u);
    EXPECT_EQ(list[55], 56u);

    char name[32] = {};
    unsigned int length = 0;
    EXPECT_EQ(VX_GetPositionerTypeName(VX_NO_SYSTEM, 1, name, &length), 23u);
    ASSERT_GT(length, 0u);
    unsigned int capacity = length;
    EXPECT_EQ(VX_GetPositionerTypeName(VX_NO_SYSTEM, 1, name, &capacity), 23u);
    capacity = length + 1;
    EXPECT_EQ(VX_GetPositionerTypeName(VX_NO_SYSTEM, 1, name, &capacity), 0u);
    EXPECT_EQ(std::strlen(name), length);
    capacity = sizeof name;
    EXPECT_EQ(VX_GetPositionerTypeName(VX_NO_SYSTEM, 57, name, &capacity), 9u);

    unsigned int value = 7;
    EXPECT_EQ(VX_GetPositionerTypeProperty(VX_NO_SYSTEM, 25, 1, &value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(VX_GetPositionerTypeProperty(VX_NO_SYSTEM, 1, 3, &value), 156u);

    EXPECT_TRUE(sync->operations().empty());
    EXPECT_TRUE(async->operations().empty());
    const Lines lines = CallLog::take();
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0], "call [1] VX_GetPositionerTypeList(4294967295)");
    EXPECT_EQ(lines[1], "return [1] -> 23 | ");
    EXPECT_EQ(lines[8], "call [5] VX_GetPositionerTypeName(4294967295,1)");
    EXPECT_EQ(lines[11], "return [6] -> 9 | ");
    EXPECT_EQ(lines[12], "call [7] VX_GetPositionerTypeProperty(4294967295,25,1)");
    EXPECT_EQ(lines[13], "return [7] -> 0 | ");
}

TEST_F(LogLines, PositionerTypesOfARealIndexAskTheSystem) {
    unsigned int size = 3;
    unsigned int list[3] = {};
    EXPECT_EQ(VX_GetPositionerTypeList(32, list, &size), 0u);
    EXPECT_EQ(sync->last().name, "getPositionerTypeList");
    EXPECT_EQ(VX_GetPositionerTypeList(64, list, &size), 5u);
}

TEST_F(LogLines, SystemIdOnlyForAnInitialisedInitList) {
    auto& registry = qmx::systemRegistry();
    auto initListSystem = std::make_shared<RecordingSystem>(false);
    ASSERT_EQ(registry.putAtIndex(initListSystem, 0), 0u);
    unsigned int id = 5;

    // Not initialised: 2 for every index, before any lookup.
    for (VX_SystemIndex index : {0u, 32u, 64u}) EXPECT_EQ(VX_GetSystemID(index, &id), 2u);
    registry.setInitState(qmx::SystemRegistry::kInitializedSync);
    EXPECT_EQ(VX_GetSystemID(32, &id), 5u);  // open, but a handle has no ID
    initListSystem->outputs = {123456};
    EXPECT_EQ(VX_GetSystemID(0, &id), 0u);
    EXPECT_EQ(id, 123456u);
    initListSystem->status = 255;
    EXPECT_EQ(VX_GetSystemID(0, &id), 255u);
    EXPECT_TRUE(sync->operations().empty());

    const Lines lines = CallLog::take();
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "call [1] VX_GetSystemID(0)");
    EXPECT_EQ(lines[1], "return [1] -> 2 | ");
    EXPECT_EQ(lines[7], "return [4] -> 5 | ");
    EXPECT_EQ(lines[9], "return [5] -> 0 | 123456");
    EXPECT_EQ(lines[11], "return [6] -> 255 | ");  // the ID only on success
}

}  // namespace
