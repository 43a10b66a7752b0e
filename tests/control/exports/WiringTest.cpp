// Every per-system export against what it must hand to its operation: the
// operation, the inputs in order with their values unchanged, the constants
// it adds, the sync flag, and its own output pointers (_S) or null (_A).

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "QMXControl.h"
#include "api/Registry.h"
#include "control/frame/RecordingSystem.h"

using vxtest::RecordingSystem;

namespace {

struct Outputs {
    unsigned int u[4];
    int i[4];
    unsigned char bytes[8];
    unsigned int size;
    VX_packet packet;
    char name[16];
    unsigned char value;
} o;

int64_t P(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(pointer)); }
constexpr int64_t kNull = 0;
constexpr int64_t kSync = 1;
constexpr int64_t kAsync = 0;

struct Row {
    const char* name;
    std::function<VX_STATUS(VX_SystemIndex)> call;
    const char* operation;
    std::vector<int64_t> arguments;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

#define CALL(...) [](VX_SystemIndex s) -> VX_STATUS { return __VA_ARGS__; }

// clang-format off
const std::vector<Row> kRows = {
    // System and channel queries
    {"VX_GetNumberOfChannels", CALL(VX_GetNumberOfChannels(s, &o.u[0])), "getNumberOfChannels", {P(&o.u[0])}},
    {"VX_GetChannelType", CALL(VX_GetChannelType(s, 3, &o.u[0])), "getChannelType", {3, P(&o.u[0])}},
    {"VX_GetPositionerTypeList", CALL(VX_GetPositionerTypeList(s, o.u, &o.size)), "getPositionerTypeList", {P(o.u), P(&o.size)}},
    {"VX_GetPositionerTypeName", CALL(VX_GetPositionerTypeName(s, 17, o.name, &o.size)), "getPositionerTypeName", {17, P(o.name), P(&o.size)}},
    {"VX_GetPositionerTypeProperty", CALL(VX_GetPositionerTypeProperty(s, 17, 2, &o.u[0])), "getPositionerTypeProperty", {17, 2, P(&o.u[0])}},
    {"VX_GetSystemID", CALL(VX_GetSystemID(s, &o.u[0])), "getSystemID", {P(&o.u[0])}},

    // Channel configuration getters
    {"VX_GetAngleLimit_S", CALL(VX_GetAngleLimit_S(s, 3, &o.u[0], &o.i[0], &o.u[1], &o.i[1])), "getAngleLimit", {3, kSync, P(&o.u[0]), P(&o.i[0]), P(&o.u[1]), P(&o.i[1])}},
    {"VX_GetAngleLimit_A", CALL(VX_GetAngleLimit_A(s, 3)), "getAngleLimit", {3, kAsync, kNull, kNull, kNull, kNull}},
    {"VX_GetChannelProperty_S", CALL(VX_GetChannelProperty_S(s, 3, 0x0816002F, &o.i[0])), "getChannelProperty", {3, 0x0816002F, kSync, P(&o.i[0])}},
    {"VX_GetChannelProperty_A", CALL(VX_GetChannelProperty_A(s, 3, 0x0816002F)), "getChannelProperty", {3, 0x0816002F, kAsync, kNull}},
    {"VX_GetClosedLoopMoveAcceleration_S", CALL(VX_GetClosedLoopMoveAcceleration_S(s, 3, &o.u[0])), "getClosedLoopMoveAcceleration", {3, kSync, P(&o.u[0])}},
    {"VX_GetClosedLoopMoveAcceleration_A", CALL(VX_GetClosedLoopMoveAcceleration_A(s, 3)), "getClosedLoopMoveAcceleration", {3, kAsync, kNull}},
    {"VX_GetClosedLoopMoveSpeed_S", CALL(VX_GetClosedLoopMoveSpeed_S(s, 3, &o.u[0])), "getClosedLoopMoveSpeed", {3, kSync, P(&o.u[0])}},
    {"VX_GetClosedLoopMoveSpeed_A", CALL(VX_GetClosedLoopMoveSpeed_A(s, 3)), "getClosedLoopMoveSpeed", {3, kAsync, kNull}},
    {"VX_GetEndEffectorType_S", CALL(VX_GetEndEffectorType_S(s, 3, &o.u[0], &o.i[0], &o.i[1])), "getEndEffectorType", {3, kSync, P(&o.u[0]), P(&o.i[0]), P(&o.i[1])}},
    {"VX_GetEndEffectorType_A", CALL(VX_GetEndEffectorType_A(s, 3)), "getEndEffectorType", {3, kAsync, kNull, kNull, kNull}},
    {"VX_GetPositionLimit_S", CALL(VX_GetPositionLimit_S(s, 3, &o.i[0], &o.i[1])), "getPositionLimit", {3, kSync, P(&o.i[0]), P(&o.i[1])}},
    {"VX_GetPositionLimit_A", CALL(VX_GetPositionLimit_A(s, 3)), "getPositionLimit", {3, kAsync, kNull, kNull}},
    {"VX_GetSafeDirection_S", CALL(VX_GetSafeDirection_S(s, 3, &o.u[0])), "getSafeDirection", {3, kSync, P(&o.u[0])}},
    {"VX_GetSafeDirection_A", CALL(VX_GetSafeDirection_A(s, 3)), "getSafeDirection", {3, kAsync, kNull}},
    {"VX_GetScale_S", CALL(VX_GetScale_S(s, 3, &o.i[0], &o.u[0])), "getScale", {3, kSync, P(&o.i[0]), P(&o.u[0])}},
    {"VX_GetScale_A", CALL(VX_GetScale_A(s, 3)), "getScale", {3, kAsync, kNull, kNull}},
    {"VX_GetSensorEnabled_S", CALL(VX_GetSensorEnabled_S(s, &o.u[0])), "getSensorEnabled", {kSync, P(&o.u[0])}},
    {"VX_GetSensorEnabled_A", CALL(VX_GetSensorEnabled_A(s)), "getSensorEnabled", {kAsync, kNull}},
    {"VX_GetSensorType_S", CALL(VX_GetSensorType_S(s, 3, &o.u[0])), "getSensorType", {3, kSync, P(&o.u[0])}},
    {"VX_GetSensorType_A", CALL(VX_GetSensorType_A(s, 3)), "getSensorType", {3, kAsync, kNull}},
    {"VX_GetPositionerType_S", CALL(VX_GetPositionerType_S(s, 3, &o.u[0])), "getPositionerType", {3, kSync, P(&o.u[0])}},
    {"VX_GetPositionerType_A", CALL(VX_GetPositionerType_A(s, 3)), "getPositionerType", {3, kAsync, kNull}},

    // Channel configuration setters
    {"VX_SetAccumulateRelativePositions_S", CALL(VX_SetAccumulateRelativePositions_S(s, 3, 2)), "setAccumulateRelativePositions", {3, 2, kSync}},
    {"VX_SetAccumulateRelativePositions_A", CALL(VX_SetAccumulateRelativePositions_A(s, 3, 2)), "setAccumulateRelativePositions", {3, 2, kAsync}},
    {"VX_SetAngleLimit_S", CALL(VX_SetAngleLimit_S(s, 3, 359999999, -32768, 1000, 32767)), "setAngleLimit", {3, 359999999, -32768, 1000, 32767, kSync}},
    {"VX_SetAngleLimit_A", CALL(VX_SetAngleLimit_A(s, 3, 359999999, -32768, 1000, 32767)), "setAngleLimit", {3, 359999999, -32768, 1000, 32767, kAsync}},
    {"VX_SetChannelProperty_S", CALL(VX_SetChannelProperty_S(s, 3, 0x030A003C, -5)), "setChannelProperty", {3, 0x030A003C, -5, kSync}},
    {"VX_SetChannelProperty_A", CALL(VX_SetChannelProperty_A(s, 3, 0x030A003C, -5)), "setChannelProperty", {3, 0x030A003C, -5, kAsync}},
    {"VX_SetClosedLoopMaxFrequency_S", CALL(VX_SetClosedLoopMaxFrequency_S(s, 3, 18500)), "setClosedLoopMaxFrequency", {3, 18500, kSync}},
    {"VX_SetClosedLoopMaxFrequency_A", CALL(VX_SetClosedLoopMaxFrequency_A(s, 3, 18500)), "setClosedLoopMaxFrequency", {3, 18500, kAsync}},
    {"VX_SetClosedLoopMoveAcceleration_S", CALL(VX_SetClosedLoopMoveAcceleration_S(s, 3, 100000000)), "setClosedLoopMoveAcceleration", {3, 100000000, kSync}},
    {"VX_SetClosedLoopMoveAcceleration_A", CALL(VX_SetClosedLoopMoveAcceleration_A(s, 3, 100000000)), "setClosedLoopMoveAcceleration", {3, 100000000, kAsync}},
    {"VX_SetClosedLoopMoveSpeed_S", CALL(VX_SetClosedLoopMoveSpeed_S(s, 3, 99)), "setClosedLoopMoveSpeed", {3, 99, kSync}},
    {"VX_SetClosedLoopMoveSpeed_A", CALL(VX_SetClosedLoopMoveSpeed_A(s, 3, 99)), "setClosedLoopMoveSpeed", {3, 99, kAsync}},
    {"VX_SetEndEffectorType_S", CALL(VX_SetEndEffectorType_S(s, 3, 7, -8, -9)), "setEndEffectorType", {3, 7, -8, -9, kSync}},
    {"VX_SetEndEffectorType_A", CALL(VX_SetEndEffectorType_A(s, 3, 7, -8, -9)), "setEndEffectorType", {3, 7, -8, -9, kAsync}},
    {"VX_SetPosition_S", CALL(VX_SetPosition_S(s, 3, -123456)), "setPosition", {3, -123456, kSync}},
    {"VX_SetPosition_A", CALL(VX_SetPosition_A(s, 3, -123456)), "setPosition", {3, -123456, kAsync}},
    {"VX_SetPositionLimit_S", CALL(VX_SetPositionLimit_S(s, 3, -10, 20)), "setPositionLimit", {3, -10, 20, kSync}},
    {"VX_SetPositionLimit_A", CALL(VX_SetPositionLimit_A(s, 3, -10, 20)), "setPositionLimit", {3, -10, 20, kAsync}},
    {"VX_SetSafeDirection_S", CALL(VX_SetSafeDirection_S(s, 3, 1)), "setSafeDirection", {3, 1, kSync}},
    {"VX_SetSafeDirection_A", CALL(VX_SetSafeDirection_A(s, 3, 1)), "setSafeDirection", {3, 1, kAsync}},
    {"VX_SetReportOnComplete_A", CALL(VX_SetReportOnComplete_A(s, 3, 1)), "setReportOnComplete", {3, 1}},
    {"VX_SetReportOnTriggered_A", CALL(VX_SetReportOnTriggered_A(s, 3, 0)), "setReportOnTriggered", {3, 0}},
    {"VX_SetScale_S", CALL(VX_SetScale_S(s, 3, -77, 1)), "setScale", {3, -77, 1, kSync}},
    {"VX_SetScale_A", CALL(VX_SetScale_A(s, 3, -77, 1)), "setScale", {3, -77, 1, kAsync}},
    {"VX_SetSensorEnabled_S", CALL(VX_SetSensorEnabled_S(s, 2)), "setSensorEnabled", {2, kSync}},
    {"VX_SetSensorEnabled_A", CALL(VX_SetSensorEnabled_A(s, 2)), "setSensorEnabled", {2, kAsync}},
    {"VX_SetSensorType_S", CALL(VX_SetSensorType_S(s, 3, 44)), "setSensorType", {3, 44, kSync}},
    {"VX_SetSensorType_A", CALL(VX_SetSensorType_A(s, 3, 44)), "setSensorType", {3, 44, kAsync}},
    {"VX_SetStepWhileScan_S", CALL(VX_SetStepWhileScan_S(s, 3, 1)), "setStepWhileScan", {3, 1, kSync}},
    {"VX_SetStepWhileScan_A", CALL(VX_SetStepWhileScan_A(s, 3, 1)), "setStepWhileScan", {3, 1, kAsync}},
    {"VX_SetZeroForce_S", CALL(VX_SetZeroForce_S(s, 3)), "setZeroForce", {3, kSync}},
    {"VX_SetZeroForce_A", CALL(VX_SetZeroForce_A(s, 3)), "setZeroForce", {3, kAsync}},

    // Movement and trigger
    {"VX_AppendTriggeredCommand_A", CALL(VX_AppendTriggeredCommand_A(s, 3, -42)), "appendTriggeredCommand", {3, -42}},
    {"VX_ClearTriggeredCommandQueue_A", CALL(VX_ClearTriggeredCommandQueue_A(s, 3)), "clearTriggeredCommandQueue", {3}},
    {"VX_TriggerCommand_A", CALL(VX_TriggerCommand_A(s, 255)), "triggerCommand", {255}},
    {"VX_CalibrateSensor_S", CALL(VX_CalibrateSensor_S(s, 3)), "calibrateSensor", {3, kSync}},
    {"VX_CalibrateSensor_A", CALL(VX_CalibrateSensor_A(s, 3)), "calibrateSensor", {3, kAsync}},
    {"VX_FindReferenceMark_S", CALL(VX_FindReferenceMark_S(s, 3, 5, 60000, 1)), "findReferenceMark", {3, 5, 60000, 1, kSync}},
    {"VX_FindReferenceMark_A", CALL(VX_FindReferenceMark_A(s, 3, 5, 60000, 1)), "findReferenceMark", {3, 5, 60000, 1, kAsync}},
    // The unsigned absolute angle reaches the operation as the same 32 bits.
    {"VX_GotoAngleAbsolute_S", CALL(VX_GotoAngleAbsolute_S(s, 3, 4000000000u, -2, 100)), "gotoAngle", {3, -294967296, -2, 100, 0x88, kSync}},
    {"VX_GotoAngleAbsolute_A", CALL(VX_GotoAngleAbsolute_A(s, 3, 359999999, -2, 100)), "gotoAngle", {3, 359999999, -2, 100, 0x88, kAsync}},
    {"VX_GotoAngleRelative_S", CALL(VX_GotoAngleRelative_S(s, 3, -1000, 0, 100)), "gotoAngle", {3, -1000, 0, 100, 0x98, kSync}},
    {"VX_GotoAngleRelative_A", CALL(VX_GotoAngleRelative_A(s, 3, -1000, 0, 100)), "gotoAngle", {3, -1000, 0, 100, 0x98, kAsync}},
    {"VX_GotoGripperForceAbsolute_S", CALL(VX_GotoGripperForceAbsolute_S(s, 3, -5000, 225000, 300)), "gotoGripperForceAbsolute", {3, -5000, 225000, 300, kSync}},
    {"VX_GotoGripperForceAbsolute_A", CALL(VX_GotoGripperForceAbsolute_A(s, 3, -5000, 225000, 300)), "gotoGripperForceAbsolute", {3, -5000, 225000, 300, kAsync}},
    {"VX_GotoGripperOpeningAbsolute_S", CALL(VX_GotoGripperOpeningAbsolute_S(s, 3, 22500, 17)), "gotoGripperOpeningAbsolute", {3, 22500, 17, kSync}},
    {"VX_GotoGripperOpeningAbsolute_A", CALL(VX_GotoGripperOpeningAbsolute_A(s, 3, 22500, 17)), "gotoGripperOpeningAbsolute", {3, 22500, 17, kAsync}},
    {"VX_GotoGripperOpeningRelative_S", CALL(VX_GotoGripperOpeningRelative_S(s, 3, -22500, 18)), "gotoGripperOpeningRelative", {3, -22500, 18, kSync}},
    {"VX_GotoGripperOpeningRelative_A", CALL(VX_GotoGripperOpeningRelative_A(s, 3, -22500, 18)), "gotoGripperOpeningRelative", {3, -22500, 18, kAsync}},
    {"VX_GotoPositionAbsolute_S", CALL(VX_GotoPositionAbsolute_S(s, 3, -1000, 500)), "gotoPosition", {3, -1000, 500, 0, kSync}},
    {"VX_GotoPositionAbsolute_A", CALL(VX_GotoPositionAbsolute_A(s, 3, -1000, 500)), "gotoPosition", {3, -1000, 500, 0, kAsync}},
    {"VX_GotoPositionRelative_S", CALL(VX_GotoPositionRelative_S(s, 3, -5, 0)), "gotoPosition", {3, -5, 0, 1, kSync}},
    {"VX_GotoPositionRelative_A", CALL(VX_GotoPositionRelative_A(s, 3, -5, 0)), "gotoPosition", {3, -5, 0, 1, kAsync}},
    {"VX_ScanMoveAbsolute_S", CALL(VX_ScanMoveAbsolute_S(s, 3, 4095, 4095000000u)), "scanMoveAbsolute", {3, 4095, -199967296, kSync}},
    {"VX_ScanMoveAbsolute_A", CALL(VX_ScanMoveAbsolute_A(s, 3, 4095, 1)), "scanMoveAbsolute", {3, 4095, 1, kAsync}},
    {"VX_ScanMoveRelative_S", CALL(VX_ScanMoveRelative_S(s, 3, -32768, 1000)), "scanMoveRelative", {3, -32768, 1000, kSync}},
    {"VX_ScanMoveRelative_A", CALL(VX_ScanMoveRelative_A(s, 3, -32768, 1000)), "scanMoveRelative", {3, -32768, 1000, kAsync}},
    {"VX_StepMove_S", CALL(VX_StepMove_S(s, 3, -30000, 4095, 20000)), "stepMove", {3, -30000, 4095, 20000, kSync}},
    {"VX_StepMove_A", CALL(VX_StepMove_A(s, 3, -30000, 4095, 20000)), "stepMove", {3, -30000, 4095, 20000, kAsync}},
    {"VX_Stop_S", CALL(VX_Stop_S(s, 3)), "stop", {3, kSync}},
    {"VX_Stop_A", CALL(VX_Stop_A(s, 3)), "stop", {3, kAsync}},

    // Feedback
    {"VX_GetStatus_S", CALL(VX_GetStatus_S(s, 3, &o.u[0])), "getStatus", {3, kSync, P(&o.u[0])}},
    {"VX_GetStatus_A", CALL(VX_GetStatus_A(s, 3)), "getStatus", {3, kAsync, kNull}},
    {"VX_GetPosition_S", CALL(VX_GetPosition_S(s, 3, &o.i[0])), "getPosition", {3, kSync, P(&o.i[0])}},
    {"VX_GetPosition_A", CALL(VX_GetPosition_A(s, 3)), "getPosition", {3, kAsync, kNull}},
    {"VX_GetAngle_S", CALL(VX_GetAngle_S(s, 3, &o.u[0], &o.i[0])), "getAngle", {3, kSync, P(&o.u[0]), P(&o.i[0])}},
    {"VX_GetAngle_A", CALL(VX_GetAngle_A(s, 3)), "getAngle", {3, kAsync, kNull, kNull}},
    {"VX_GetCaptureBuffer_S", CALL(VX_GetCaptureBuffer_S(s, 3, 256, &o.packet)), "getCaptureBuffer", {3, 256, kSync, P(&o.packet)}},
    {"VX_GetCaptureBuffer_A", CALL(VX_GetCaptureBuffer_A(s, 3, 256)), "getCaptureBuffer", {3, 256, kAsync, kNull}},
    {"VX_GetForce_S", CALL(VX_GetForce_S(s, 3, &o.i[0])), "getForce", {3, kSync, P(&o.i[0])}},
    {"VX_GetForce_A", CALL(VX_GetForce_A(s, 3)), "getForce", {3, kAsync, kNull}},
    {"VX_GetGripperOpening_S", CALL(VX_GetGripperOpening_S(s, 3, &o.u[0])), "getGripperOpening", {3, kSync, P(&o.u[0])}},
    {"VX_GetGripperOpening_A", CALL(VX_GetGripperOpening_A(s, 3)), "getGripperOpening", {3, kAsync, kNull}},
    {"VX_GetPhysicalPositionKnown_S", CALL(VX_GetPhysicalPositionKnown_S(s, 3, &o.u[0])), "getPhysicalPositionKnown", {3, kSync, P(&o.u[0])}},
    {"VX_GetPhysicalPositionKnown_A", CALL(VX_GetPhysicalPositionKnown_A(s, 3)), "getPhysicalPositionKnown", {3, kAsync, kNull}},
    {"VX_GetVoltageLevel_S", CALL(VX_GetVoltageLevel_S(s, 3, &o.u[0])), "getVoltageLevel", {3, kSync, P(&o.u[0])}},
    {"VX_GetVoltageLevel_A", CALL(VX_GetVoltageLevel_A(s, 3)), "getVoltageLevel", {3, kAsync, kNull}},

    // Packets and buffered output
    {"VX_GetBufferedOutput_A", CALL(VX_GetBufferedOutput_A(s, &o.u[0])), "getBufferedOutput", {P(&o.u[0])}},
    {"VX_SetBufferedOutput_A", CALL(VX_SetBufferedOutput_A(s, 1)), "setBufferedOutput", {1}},
    {"VX_FlushOutput_A", CALL(VX_FlushOutput_A(s)), "flushOutput", {}},
    {"VX_LookAtNextPacket_A", CALL(VX_LookAtNextPacket_A(s, 500, &o.packet)), "receiveNextPacket", {500, P(&o.packet), 0}},
    {"VX_ReceiveNextPacket_A", CALL(VX_ReceiveNextPacket_A(s, 0xFFFFFFFF, &o.packet)), "receiveNextPacket", {0xFFFFFFFF, P(&o.packet), 1}},
    {"VX_CancelWaitForPacket_A", CALL(VX_CancelWaitForPacket_A(s)), "cancelWaitForPacket", {}},
    {"VX_DiscardPacket_A", CALL(VX_DiscardPacket_A(s)), "discardPacket", {}},

    // Debugging, tuning and configuration parameters
    {"VX_SetDebuggingEnabled_S", CALL(VX_SetDebuggingEnabled_S(s, 3, 1)), "setDebuggingEnabled", {3, 1, kSync}},
    {"VX_SetDebuggingEnabled_A", CALL(VX_SetDebuggingEnabled_A(s, 3, 1)), "setDebuggingEnabled", {3, 1, kAsync}},
    {"VX_ReadDebugValue_S", CALL(VX_ReadDebugValue_S(s, 3, 255, &o.i[0])), "readDebugValue", {3, 255, kSync, P(&o.i[0])}},
    {"VX_ReadDebugValue_A", CALL(VX_ReadDebugValue_A(s, 3, 255)), "readDebugValue", {3, 255, kAsync, kNull}},
    {"VX_WriteDebugValue_S", CALL(VX_WriteDebugValue_S(s, 3, 20, -7)), "writeDebugValue", {3, 20, -7, kSync}},
    {"VX_WriteDebugValue_A", CALL(VX_WriteDebugValue_A(s, 3, 20, -7)), "writeDebugValue", {3, 20, -7, kAsync}},
    {"VX_ReadTuningParameter_S", CALL(VX_ReadTuningParameter_S(s, 3, 5, &o.i[0])), "readTuningParameter", {3, 5, kSync, P(&o.i[0])}},
    {"VX_ReadTuningParameter_A", CALL(VX_ReadTuningParameter_A(s, 3, 5)), "readTuningParameter", {3, 5, kAsync, kNull}},
    {"VX_WriteTuningParameter_S", CALL(VX_WriteTuningParameter_S(s, 3, 6, -600)), "writeTuningParameter", {3, 6, -600, kSync}},
    {"VX_WriteTuningParameter_A", CALL(VX_WriteTuningParameter_A(s, 3, 6, -600)), "writeTuningParameter", {3, 6, -600, kAsync}},
    {"VX_ReadConfigParameter_S", CALL(VX_ReadConfigParameter_S(s, 3, 9, &o.i[0])), "readConfigParameter", {3, 9, kSync, P(&o.i[0])}},
    {"VX_ReadConfigParameter_A", CALL(VX_ReadConfigParameter_A(s, 3, 9)), "readConfigParameter", {3, 9, kAsync, kNull}},
    {"VX_WriteConfigParameter_S", CALL(VX_WriteConfigParameter_S(s, 3, 256, 900)), "writeConfigParameter", {3, 256, 900, kSync}},
    {"VX_WriteConfigParameter_A", CALL(VX_WriteConfigParameter_A(s, 3, 256, 900)), "writeConfigParameter", {3, 256, 900, kAsync}},

    // Speed level table
    {"VX_WriteSpeedLevelTableSize_S", CALL(VX_WriteSpeedLevelTableSize_S(s, 32)), "writeSpeedLevelTableSize", {32}},
    {"VX_ReadSpeedLevelTableSize_S", CALL(VX_ReadSpeedLevelTableSize_S(s, &o.u[0])), "readSpeedLevelTableSize", {P(&o.u[0])}},
    {"VX_WriteSpeedLevelTableEntry_S", CALL(VX_WriteSpeedLevelTableEntry_S(s, 2, 200, 1500, 3000)), "writeSpeedLevelTableEntry", {2, 200, 1500, 3000}},
    {"VX_ReadSpeedLevelTableEntry_S", CALL(VX_ReadSpeedLevelTableEntry_S(s, 2, &o.u[0], &o.u[1], &o.u[2])), "readSpeedLevelTableEntry", {2, P(&o.u[0]), P(&o.u[1]), P(&o.u[2])}},
    {"VX_WriteSpeedLevelTableToEEPROM_S", CALL(VX_WriteSpeedLevelTableToEEPROM_S(s)), "writeSpeedLevelTableToEEPROM", {}},

    // Firmware, serial number, features, hand control and index map
    {"VX_SetHCMEnabled", CALL(VX_SetHCMEnabled(s, 2)), "setHCMEnabled", {2}},
    {"VX_GetFirmwareVersion", CALL(VX_GetFirmwareVersion(9, s, 3, &o.u[0])), "getFirmwareVersion", {9, 3, P(&o.u[0])}},
    {"VX_GetChannelSerialNumber", CALL(VX_GetChannelSerialNumber(s, 3, &o.u[0])), "getChannelSerialNumber", {3, P(&o.u[0])}},
    {"VX_GetFeaturePermissions", CALL(VX_GetFeaturePermissions(s, 3, o.bytes, &o.size)), "getFeaturePermissions", {3, P(o.bytes), P(&o.size)}},
    {"VX_ReadHCMConfigSlot_S", CALL(VX_ReadHCMConfigSlot_S(s, 4, o.bytes, &o.size)), "readHCMConfigSlot", {4, P(o.bytes), P(&o.size)}},
    {"VX_WriteHCMConfigSlot_S", CALL(VX_WriteHCMConfigSlot_S(s, 4, o.bytes, &o.size)), "writeHCMConfigSlot", {4, P(o.bytes), P(&o.size)}},
    {"VX_ReadHCMEepromType_S", CALL(VX_ReadHCMEepromType_S(s, &o.u[0])), "readHCMEepromType", {P(&o.u[0])}},
    {"VX_WriteCustomSensorTypeConfiguration_S", CALL(VX_WriteCustomSensorTypeConfiguration_S(s, 3, 0xABCD)), "writeCustomSensorTypeConfiguration", {3, 0xABCD, kSync}},
    {"VX_WriteCustomSensorTypeConfiguration_A", CALL(VX_WriteCustomSensorTypeConfiguration_A(s, 3, 0xABCD)), "writeCustomSensorTypeConfiguration", {3, 0xABCD, kAsync}},
    {"VX_ReadIndexFromIndexMap", CALL(VX_ReadIndexFromIndexMap(s, 'A', &o.value)), "readIndexFromIndexMap", {'A', P(&o.value)}},
    {"VX_WriteIndexToIndexMap", CALL(VX_WriteIndexToIndexMap(s, 'A', 'B')), "writeIndexToIndexMap", {'A', 'B'}},
    {"VX_FinalizeIndexMap", CALL(VX_FinalizeIndexMap(s)), "finalizeIndexMap", {}},
};
// clang-format on

bool isAsync(const std::string& name) { return name.size() > 2 && name.compare(name.size() - 2, 2, "_A") == 0; }

class Wiring : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        auto& registry = qmx::systemRegistry();
        registry.clear();
        ASSERT_EQ(registry.putAtIndex(initListSystem, 0), 0u);
        registry.setInitState(qmx::SystemRegistry::kInitializedSync);
        uint32_t index = 0;
        ASSERT_EQ(registry.putInFirstFree(sync, &index), 0u);
        ASSERT_EQ(registry.putInFirstFree(async, &index), 0u);
        o = Outputs{};
        o.size = sizeof o.bytes;
    }
    void TearDown() override { qmx::systemRegistry().clear(); }

    std::shared_ptr<RecordingSystem> initListSystem = std::make_shared<RecordingSystem>(false);
    std::shared_ptr<RecordingSystem> sync = std::make_shared<RecordingSystem>(false);
    std::shared_ptr<RecordingSystem> async = std::make_shared<RecordingSystem>(true);
};

TEST_P(Wiring, ReachesItsOperationWithItsArguments) {
    const Row& row = GetParam();
    const bool initListOnly = std::string(row.name) == "VX_GetSystemID";
    RecordingSystem& target = initListOnly ? *initListSystem : isAsync(row.name) ? *async : *sync;
    const VX_SystemIndex index = initListOnly ? 0 : isAsync(row.name) ? 33 : 32;

    EXPECT_EQ(row.call(index), 0u);

    const auto operations = target.operations();
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_EQ(operations[0].name, row.operation);
    EXPECT_EQ(operations[0].arguments, row.arguments);
    EXPECT_EQ(initListSystem->operations().size() + sync->operations().size() + async->operations().size(), 1u);
}

TEST_P(Wiring, UnknownSystemIndexCallsNothing) {
    const Row& row = GetParam();
    for (VX_SystemIndex index : {64u, 40u, 31u}) {
        EXPECT_EQ(row.call(index), 5u) << "index " << index;
    }
    EXPECT_TRUE(initListSystem->operations().empty());
    EXPECT_TRUE(sync->operations().empty());
    EXPECT_TRUE(async->operations().empty());
}

TEST(WiringTable, CoversEveryPerSystemExportOnce) {
    std::set<std::string> names;
    for (const Row& row : kRows) EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(names.size(), 143u);
}

INSTANTIATE_TEST_SUITE_P(AllExports, Wiring, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
