/*
 * QMXControl: the controller API. Plain C interface; every function returns
 * a VX_STATUS unless noted.
 *
 * System indices: 0 to 31 name the systems opened by VX_InitSystems, 32 to 63
 * the handles returned by VX_OpenSystem. Functions ending in _S wait for the
 * controller's answer and need a system opened in synchronous mode; their _A
 * twins only send, need asynchronous mode (the "async" option), and their
 * answers arrive later as VX_packet records (VX_ReceiveNextPacket_A).
 * Callers own every buffer they pass; sizes are in/out where noted.
 */
#ifndef QMX_CONTROL_H
#define QMX_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#if defined(QMX_BUILD)
#define QMX_API __attribute__((visibility("default")))
#else
#define QMX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t VX_STATUS;
typedef uint32_t VX_PacketType;
typedef uint32_t VX_SystemIndex;

/* The system index with which the positioner-type queries answer from the
 * library's own table, without any system. */
#define VX_NO_SYSTEM 0xFFFFFFFFu

/* Channel types of VX_GetChannelType. */
typedef uint32_t VX_ChannelType;
enum {
    VX_CHANNEL_POSITIONER = 0,
    VX_CHANNEL_END_EFFECTOR = 1
};

/* Packet types of VX_packet.packetType. */
enum {
    VX_PACKET_NONE = 0,
    VX_PACKET_ERROR = 1,
    VX_PACKET_POSITION = 2,
    VX_PACKET_MOVEMENT_COMPLETED = 3,
    VX_PACKET_STATUS = 4,
    VX_PACKET_ANGLE = 5,
    VX_PACKET_VOLTAGE_LEVEL = 6,
    VX_PACKET_SENSOR_TYPE = 7,
    VX_PACKET_SENSOR_ENABLED = 8,
    VX_PACKET_END_EFFECTOR_TYPE = 9,
    VX_PACKET_GRIPPER_OPENING = 10,
    VX_PACKET_FORCE = 11,
    VX_PACKET_CLOSED_LOOP_MOVE_SPEED = 12,
    VX_PACKET_PHYSICAL_POSITION_KNOWN = 13,
    VX_PACKET_POSITION_LIMIT = 14,
    VX_PACKET_ANGLE_LIMIT = 15,
    VX_PACKET_SAFE_DIRECTION = 16,
    VX_PACKET_SCALE = 17,
    VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION = 18,
    VX_PACKET_CHANNEL_PROPERTY = 19,
    VX_PACKET_CAPTURE_BUFFER = 20,
    VX_PACKET_REPORT_D0 = 21,
    VX_PACKET_POSITIONER_TYPE = 22,
    VX_PACKET_DEBUG_VALUE = 250,
    VX_PACKET_PARAMETER = 251,
    VX_PACKET_OTHER = 255
};

/* The API packet record: answers and reports of asynchronous calls. After a
 * receive that timed out all 24 bytes are zero. */
typedef struct VX_packet {
    uint32_t packetType;
    uint32_t channelIndex;
    uint32_t data1;
    int32_t data2;
    int32_t data3;
    uint32_t data4;
} VX_packet;

/* The record crosses the boundary as 24 bytes, six fields, no padding. */
#define QMX_LAYOUT_CHECK(name, condition) typedef char qmx_layout_##name[(condition) ? 1 : -1]
QMX_LAYOUT_CHECK(packet_size, sizeof(VX_packet) == 24);
QMX_LAYOUT_CHECK(packet_type, offsetof(VX_packet, packetType) == 0);
QMX_LAYOUT_CHECK(packet_channel, offsetof(VX_packet, channelIndex) == 4);
QMX_LAYOUT_CHECK(packet_data1, offsetof(VX_packet, data1) == 8);
QMX_LAYOUT_CHECK(packet_data2, offsetof(VX_packet, data2) == 12);
QMX_LAYOUT_CHECK(packet_data3, offsetof(VX_packet, data3) == 16);
QMX_LAYOUT_CHECK(packet_data4, offsetof(VX_packet, data4) == 20);
#undef QMX_LAYOUT_CHECK

/* Receives every log message of its level or below; the second argument is
 * always 0. Runs with the log lock held: it must not call the log functions. */
typedef void (*VX_LogHandler)(const char* message, unsigned int reserved);

/* ---- Opening, closing and finding systems ---- */

/* Opens the system at `locator` ("usb:id:", "usb:sn:", "usb:ix:", "network:",
 * "serial:" ...) with an option text (null = empty) and stores its handle
 * (32 to 63) in *systemIndex, which holds 0xFFFFFFFF after any failure. */
QMX_API VX_STATUS VX_OpenSystem(VX_SystemIndex* systemIndex, const char* locator,
                                const char* options);
/* A thread waiting for a packet of the system is woken first and gets 20. */
QMX_API VX_STATUS VX_CloseSystem(VX_SystemIndex systemIndex);
/* Locators of all attached systems joined by "\n". *size: capacity in, text
 * length (without NUL) out; 23 when the text and its NUL do not fit. */
QMX_API VX_STATUS VX_FindSystems(const char* options, char* buffer, unsigned int* size);
QMX_API VX_STATUS VX_GetSystemLocator(VX_SystemIndex systemIndex, char* buffer,
                                      unsigned int* size);

/* ---- Init-systems list: systems 0 to 31 ---- */

/* *count: capacity in entries on entry, number of ids found on return. */
QMX_API VX_STATUS VX_GetAvailableSystems(unsigned int* idList, unsigned int* count);
QMX_API VX_STATUS VX_AddSystemToInitSystemsList(unsigned int systemId);
QMX_API VX_STATUS VX_ClearInitSystemsList(void);
/* configuration: bit 0 asynchronous use, bit 1 reset while opening. */
QMX_API VX_STATUS VX_InitSystems(unsigned int configuration);
QMX_API VX_STATUS VX_GetInitState(unsigned int* initState);
QMX_API VX_STATUS VX_GetNumberOfSystems(unsigned int* numberOfSystems);
QMX_API VX_STATUS VX_ReleaseSystems(void);

/* ---- Logging ---- */

QMX_API VX_STATUS VX_SetLogHandler(VX_LogHandler handler);
QMX_API VX_STATUS VX_SetLogLevel(unsigned int level);
QMX_API VX_STATUS VX_SetLogFolder(const char* folder);
/* 1000: file logging on (1) or off; 1001: old logs 0 append, 1 delete, 2 keep. */
QMX_API VX_STATUS VX_SetLogProperty(unsigned int property, unsigned int value);
/* Bit 1: log the arguments and outputs of each call. */
QMX_API VX_STATUS VX_SetLogFilter(unsigned int filter);

/* ---- Status codes, key packing and library version ---- */

/* 0 and the code's text, or 255 and the text for an unknown code. */
QMX_API VX_STATUS VX_GetStatusInfo(VX_STATUS status, const char** text);
QMX_API const char* VX_GetStatusText(VX_STATUS status);
/* Property key: component in bits 31-24, sub-component 23-16, property 15-0. */
QMX_API unsigned int VX_EPK(unsigned char component, unsigned char subComponent,
                            unsigned short property);
QMX_API unsigned int VX_ESV(unsigned char high, unsigned char low);
QMX_API void VX_DSV(unsigned int value, unsigned int* high, unsigned int* low);
/* Major in bits 31-24, minor 23-16, update 15-0. */
QMX_API VX_STATUS VX_GetDLLVersion(unsigned int* version);
QMX_API const char* VX_GetFullDLLVersionString(void);

/* ---- System and channel queries ---- */

QMX_API VX_STATUS VX_GetNumberOfChannels(VX_SystemIndex systemIndex,
                                         unsigned int* numberOfChannels);
QMX_API VX_STATUS VX_GetChannelType(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                    unsigned int* type);
/* With VX_NO_SYSTEM the three positioner-type queries answer from the
 * library's table. Sizes: capacity in, number of types / name length out. */
QMX_API VX_STATUS VX_GetPositionerTypeList(VX_SystemIndex systemIndex, unsigned int* list,
                                           unsigned int* size);
QMX_API VX_STATUS VX_GetPositionerTypeName(VX_SystemIndex systemIndex, unsigned int type,
                                           char* name, unsigned int* size);
/* property 1: rotary (0/1); property 2: reference type (0 to 3). */
QMX_API VX_STATUS VX_GetPositionerTypeProperty(VX_SystemIndex systemIndex, unsigned int type,
                                               unsigned int property, unsigned int* value);
/* Only for systems of the init list (0 to 31). */
QMX_API VX_STATUS VX_GetSystemID(VX_SystemIndex systemIndex, unsigned int* systemId);

/* ---- Channel configuration getters ---- */

QMX_API VX_STATUS VX_GetAngleLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int* minAngle, int* minRevolution,
                                     unsigned int* maxAngle, int* maxRevolution);
QMX_API VX_STATUS VX_GetAngleLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetChannelProperty_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int* value);
QMX_API VX_STATUS VX_GetChannelProperty_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key);
QMX_API VX_STATUS VX_GetClosedLoopMoveAcceleration_S(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int* acceleration);
QMX_API VX_STATUS VX_GetClosedLoopMoveAcceleration_A(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex);
QMX_API VX_STATUS VX_GetClosedLoopMoveSpeed_S(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int* speed);
QMX_API VX_STATUS VX_GetClosedLoopMoveSpeed_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex);
QMX_API VX_STATUS VX_GetEndEffectorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int* type, int* param1, int* param2);
QMX_API VX_STATUS VX_GetEndEffectorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetPositionLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int* minPosition, int* maxPosition);
QMX_API VX_STATUS VX_GetPositionLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetSafeDirection_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int* direction);
QMX_API VX_STATUS VX_GetSafeDirection_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetScale_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int* shift, unsigned int* inverted);
QMX_API VX_STATUS VX_GetScale_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
/* System-wide sensor mode: 0, 1 or 2. */
QMX_API VX_STATUS VX_GetSensorEnabled_S(VX_SystemIndex systemIndex, unsigned int* mode);
QMX_API VX_STATUS VX_GetSensorEnabled_A(VX_SystemIndex systemIndex);
QMX_API VX_STATUS VX_GetSensorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int* type);
QMX_API VX_STATUS VX_GetSensorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetPositionerType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int* type);
QMX_API VX_STATUS VX_GetPositionerType_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Channel configuration setters ---- */

QMX_API VX_STATUS VX_SetAccumulateRelativePositions_S(VX_SystemIndex systemIndex,
                                                      unsigned int channelIndex,
                                                      unsigned int accumulate);
QMX_API VX_STATUS VX_SetAccumulateRelativePositions_A(VX_SystemIndex systemIndex,
                                                      unsigned int channelIndex,
                                                      unsigned int accumulate);
QMX_API VX_STATUS VX_SetAngleLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int minAngle, int minRevolution,
                                     unsigned int maxAngle, int maxRevolution);
QMX_API VX_STATUS VX_SetAngleLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int minAngle, int minRevolution,
                                     unsigned int maxAngle, int maxRevolution);
QMX_API VX_STATUS VX_SetChannelProperty_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int value);
QMX_API VX_STATUS VX_SetChannelProperty_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int key, int value);
QMX_API VX_STATUS VX_SetClosedLoopMaxFrequency_S(VX_SystemIndex systemIndex,
                                                 unsigned int channelIndex,
                                                 unsigned int frequency);
QMX_API VX_STATUS VX_SetClosedLoopMaxFrequency_A(VX_SystemIndex systemIndex,
                                                 unsigned int channelIndex,
                                                 unsigned int frequency);
QMX_API VX_STATUS VX_SetClosedLoopMoveAcceleration_S(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int acceleration);
QMX_API VX_STATUS VX_SetClosedLoopMoveAcceleration_A(VX_SystemIndex systemIndex,
                                                     unsigned int channelIndex,
                                                     unsigned int acceleration);
QMX_API VX_STATUS VX_SetClosedLoopMoveSpeed_S(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int speed);
QMX_API VX_STATUS VX_SetClosedLoopMoveSpeed_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, unsigned int speed);
QMX_API VX_STATUS VX_SetEndEffectorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int type, int param1, int param2);
QMX_API VX_STATUS VX_SetEndEffectorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                          unsigned int type, int param1, int param2);
QMX_API VX_STATUS VX_SetPosition_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int position);
QMX_API VX_STATUS VX_SetPosition_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int position);
QMX_API VX_STATUS VX_SetPositionLimit_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int minPosition, int maxPosition);
QMX_API VX_STATUS VX_SetPositionLimit_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int minPosition, int maxPosition);
QMX_API VX_STATUS VX_SetSafeDirection_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int direction);
QMX_API VX_STATUS VX_SetSafeDirection_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int direction);
/* Asynchronous systems only: report the end (or trigger) of movements. */
QMX_API VX_STATUS VX_SetReportOnComplete_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                           unsigned int report);
QMX_API VX_STATUS VX_SetReportOnTriggered_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int report);
QMX_API VX_STATUS VX_SetScale_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int shift, unsigned int inverted);
QMX_API VX_STATUS VX_SetScale_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int shift, unsigned int inverted);
QMX_API VX_STATUS VX_SetSensorEnabled_S(VX_SystemIndex systemIndex, unsigned int mode);
QMX_API VX_STATUS VX_SetSensorEnabled_A(VX_SystemIndex systemIndex, unsigned int mode);
QMX_API VX_STATUS VX_SetSensorType_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int type);
QMX_API VX_STATUS VX_SetSensorType_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                     unsigned int type);
QMX_API VX_STATUS VX_SetStepWhileScan_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int step);
QMX_API VX_STATUS VX_SetStepWhileScan_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int step);
QMX_API VX_STATUS VX_SetZeroForce_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_SetZeroForce_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Movement and trigger ---- */

/* Asynchronous systems only. */
QMX_API VX_STATUS VX_AppendTriggeredCommand_A(VX_SystemIndex systemIndex,
                                              unsigned int channelIndex, int value);
QMX_API VX_STATUS VX_ClearTriggeredCommandQueue_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex);
QMX_API VX_STATUS VX_TriggerCommand_A(VX_SystemIndex systemIndex, unsigned int value);

QMX_API VX_STATUS VX_CalibrateSensor_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_CalibrateSensor_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_FindReferenceMark_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int direction, unsigned int holdTime,
                                         unsigned int autoZero);
QMX_API VX_STATUS VX_FindReferenceMark_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int direction, unsigned int holdTime,
                                         unsigned int autoZero);
/* Angles in micro-degrees (360000000 a turn) and whole revolutions. */
QMX_API VX_STATUS VX_GotoAngleAbsolute_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int angle, int revolution,
                                         unsigned int holdTime);
QMX_API VX_STATUS VX_GotoAngleAbsolute_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int angle, int revolution,
                                         unsigned int holdTime);
QMX_API VX_STATUS VX_GotoAngleRelative_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         int angleDiff, int revolutionDiff,
                                         unsigned int holdTime);
QMX_API VX_STATUS VX_GotoAngleRelative_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         int angleDiff, int revolutionDiff,
                                         unsigned int holdTime);
QMX_API VX_STATUS VX_GotoGripperForceAbsolute_S(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, int force,
                                                unsigned int speed, unsigned int holdTime);
QMX_API VX_STATUS VX_GotoGripperForceAbsolute_A(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, int force,
                                                unsigned int speed, unsigned int holdTime);
QMX_API VX_STATUS VX_GotoGripperOpeningAbsolute_S(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, unsigned int opening,
                                                  unsigned int speed);
QMX_API VX_STATUS VX_GotoGripperOpeningAbsolute_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, unsigned int opening,
                                                  unsigned int speed);
QMX_API VX_STATUS VX_GotoGripperOpeningRelative_S(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, int diff,
                                                  unsigned int speed);
QMX_API VX_STATUS VX_GotoGripperOpeningRelative_A(VX_SystemIndex systemIndex,
                                                  unsigned int channelIndex, int diff,
                                                  unsigned int speed);
QMX_API VX_STATUS VX_GotoPositionAbsolute_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int position,
                                            unsigned int holdTime);
QMX_API VX_STATUS VX_GotoPositionAbsolute_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int position,
                                            unsigned int holdTime);
QMX_API VX_STATUS VX_GotoPositionRelative_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int diff,
                                            unsigned int holdTime);
QMX_API VX_STATUS VX_GotoPositionRelative_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, int diff,
                                            unsigned int holdTime);
QMX_API VX_STATUS VX_ScanMoveAbsolute_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int target, unsigned int scanSpeed);
QMX_API VX_STATUS VX_ScanMoveAbsolute_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int target, unsigned int scanSpeed);
QMX_API VX_STATUS VX_ScanMoveRelative_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int diff, unsigned int scanSpeed);
QMX_API VX_STATUS VX_ScanMoveRelative_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        int diff, unsigned int scanSpeed);
QMX_API VX_STATUS VX_StepMove_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int steps, unsigned int amplitude, unsigned int frequency);
QMX_API VX_STATUS VX_StepMove_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int steps, unsigned int amplitude, unsigned int frequency);
QMX_API VX_STATUS VX_Stop_S(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_Stop_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Feedback ---- */

QMX_API VX_STATUS VX_GetStatus_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                 unsigned int* status);
QMX_API VX_STATUS VX_GetStatus_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetPosition_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                   int* position);
QMX_API VX_STATUS VX_GetPosition_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetAngle_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                unsigned int* angle, int* revolution);
QMX_API VX_STATUS VX_GetAngle_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetCaptureBuffer_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int bufferIndex, VX_packet* packet);
QMX_API VX_STATUS VX_GetCaptureBuffer_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                        unsigned int bufferIndex);
QMX_API VX_STATUS VX_GetForce_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                int* force);
QMX_API VX_STATUS VX_GetForce_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetGripperOpening_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                         unsigned int* opening);
QMX_API VX_STATUS VX_GetGripperOpening_A(VX_SystemIndex systemIndex, unsigned int channelIndex);
QMX_API VX_STATUS VX_GetPhysicalPositionKnown_S(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex, unsigned int* known);
QMX_API VX_STATUS VX_GetPhysicalPositionKnown_A(VX_SystemIndex systemIndex,
                                                unsigned int channelIndex);
QMX_API VX_STATUS VX_GetVoltageLevel_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int* level);
QMX_API VX_STATUS VX_GetVoltageLevel_A(VX_SystemIndex systemIndex, unsigned int channelIndex);

/* ---- Asynchronous packets and buffered output ---- */

QMX_API VX_STATUS VX_GetBufferedOutput_A(VX_SystemIndex systemIndex, unsigned int* mode);
QMX_API VX_STATUS VX_SetBufferedOutput_A(VX_SystemIndex systemIndex, unsigned int mode);
QMX_API VX_STATUS VX_FlushOutput_A(VX_SystemIndex systemIndex);
/* timeout in ms: 0 does not wait, 0xFFFFFFFF waits without limit. A time-out
 * returns 0 with an all-zero packet. */
QMX_API VX_STATUS VX_LookAtNextPacket_A(VX_SystemIndex systemIndex, unsigned int timeout,
                                        VX_packet* packet);
QMX_API VX_STATUS VX_ReceiveNextPacket_A(VX_SystemIndex systemIndex, unsigned int timeout,
                                         VX_packet* packet);
QMX_API VX_STATUS VX_CancelWaitForPacket_A(VX_SystemIndex systemIndex);
QMX_API VX_STATUS VX_DiscardPacket_A(VX_SystemIndex systemIndex);

/* ---- Debugging, tuning and configuration parameters ---- */

QMX_API VX_STATUS VX_SetDebuggingEnabled_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int enabled);
QMX_API VX_STATUS VX_SetDebuggingEnabled_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int enabled);
QMX_API VX_STATUS VX_ReadDebugValue_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                      unsigned int index, int* value);
QMX_API VX_STATUS VX_ReadDebugValue_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                      unsigned int index);
QMX_API VX_STATUS VX_WriteDebugValue_S(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int index, int value);
QMX_API VX_STATUS VX_WriteDebugValue_A(VX_SystemIndex systemIndex, unsigned int channelIndex,
                                       unsigned int index, int value);
QMX_API VX_STATUS VX_ReadTuningParameter_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index,
                                           int* value);
QMX_API VX_STATUS VX_ReadTuningParameter_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index);
QMX_API VX_STATUS VX_WriteTuningParameter_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
QMX_API VX_STATUS VX_WriteTuningParameter_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
QMX_API VX_STATUS VX_ReadConfigParameter_S(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index,
                                           int* value);
QMX_API VX_STATUS VX_ReadConfigParameter_A(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex, unsigned int index);
QMX_API VX_STATUS VX_WriteConfigParameter_S(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);
QMX_API VX_STATUS VX_WriteConfigParameter_A(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex, unsigned int index,
                                            int value);

/* ---- Speed level table of the hand control module ---- */

QMX_API VX_STATUS VX_WriteSpeedLevelTableSize_S(VX_SystemIndex systemIndex, unsigned int size);
QMX_API VX_STATUS VX_ReadSpeedLevelTableSize_S(VX_SystemIndex systemIndex, unsigned int* size);
QMX_API VX_STATUS VX_WriteSpeedLevelTableEntry_S(VX_SystemIndex systemIndex, unsigned int index,
                                                 unsigned int steps, unsigned int amplitude,
                                                 unsigned int frequency);
QMX_API VX_STATUS VX_ReadSpeedLevelTableEntry_S(VX_SystemIndex systemIndex, unsigned int index,
                                                unsigned int* steps, unsigned int* amplitude,
                                                unsigned int* frequency);
QMX_API VX_STATUS VX_WriteSpeedLevelTableToEEPROM_S(VX_SystemIndex systemIndex);

/* ---- Firmware, serial number, features, hand control and index map ---- */

QMX_API VX_STATUS VX_SetHCMEnabled(VX_SystemIndex systemIndex, unsigned int mode);
/* kind: 1 interface module, 2 and 3 first and second firmware of positioner
 * channel `index`, 5 hand control module, 9 end-effector channel `index`.
 * Note the system index comes second. */
QMX_API VX_STATUS VX_GetFirmwareVersion(unsigned int kind, VX_SystemIndex systemIndex,
                                        unsigned int index, unsigned int* version);
QMX_API VX_STATUS VX_GetChannelSerialNumber(VX_SystemIndex systemIndex,
                                            unsigned int channelIndex,
                                            unsigned int* serialNumber);
/* Byte buffers: *size is the capacity in (the data length for a write) and
 * the number of bytes out; data that do not fit give 17 and *size 0. */
QMX_API VX_STATUS VX_GetFeaturePermissions(VX_SystemIndex systemIndex,
                                           unsigned int channelIndex,
                                           unsigned char* permissions, unsigned int* size);
QMX_API VX_STATUS VX_ReadHCMConfigSlot_S(VX_SystemIndex systemIndex, unsigned int slot,
                                         unsigned char* data, unsigned int* size);
QMX_API VX_STATUS VX_WriteHCMConfigSlot_S(VX_SystemIndex systemIndex, unsigned int slot,
                                          const unsigned char* data, unsigned int* size);
QMX_API VX_STATUS VX_ReadHCMEepromType_S(VX_SystemIndex systemIndex, unsigned int* eepromType);
QMX_API VX_STATUS VX_WriteCustomSensorTypeConfiguration_S(VX_SystemIndex systemIndex,
                                                          unsigned int channelIndex,
                                                          unsigned int configuration);
QMX_API VX_STATUS VX_WriteCustomSensorTypeConfiguration_A(VX_SystemIndex systemIndex,
                                                          unsigned int channelIndex,
                                                          unsigned int configuration);
QMX_API VX_STATUS VX_ReadIndexFromIndexMap(VX_SystemIndex systemIndex, unsigned char index,
                                           unsigned char* value);
QMX_API VX_STATUS VX_WriteIndexToIndexMap(VX_SystemIndex systemIndex, unsigned char index,
                                          unsigned char value);
QMX_API VX_STATUS VX_FinalizeIndexMap(VX_SystemIndex systemIndex);

#ifdef __cplusplus
}
#endif

#endif /* QMX_CONTROL_H */
