#pragma once

#include <cstdint>

namespace qmx {

// The second-generation property keys the adapter uses; "index" is the
// request's index argument: 0 for the device, else a module or a channel.
namespace ctlkey {
// Device, index 0.
inline constexpr uint32_t kDeviceSerialNumber = 0x020F005E;  // string
inline constexpr uint32_t kNumberOfChannels = 0x020F0017;
inline constexpr uint32_t kNumberOfModules = 0x020F0016;
inline constexpr uint32_t kDeviceFlags = 0x020F000F;  // bit 0: hand control module present
inline constexpr uint32_t kModuleVersionSelect = 0x050F0063;  // 0 interface, 1 hand control module
inline constexpr uint32_t kModuleVersionA = 0x050F0061;
inline constexpr uint32_t kModuleVersionB = 0x050F0062;  // array of 4
inline constexpr uint32_t kHandControlModuleMode = 0x020C0083;
inline constexpr uint32_t kSpeedLevelSteps = 0x020C0202;      // array, up to 64
inline constexpr uint32_t kSpeedLevelAmplitude = 0x020C0203;  // array, up to 64
inline constexpr uint32_t kSpeedLevelFrequency = 0x020C0204;  // array, up to 64
// Module.
inline constexpr uint32_t kModuleChannelCount = 0x02030017;
inline constexpr uint32_t kChannelVersionSelect = 0x05030063;
inline constexpr uint32_t kChannelVersionA = 0x05030061;  // array of 2
inline constexpr uint32_t kChannelVersionB = 0x05030062;  // array of 8
inline constexpr uint32_t kFeatureValueA = 0x05030066;
inline constexpr uint32_t kFeatureValueB = 0x05030079;
// Channel: the positioner-type catalogue behind its index.
inline constexpr uint32_t kPositionerTypeCount = 0x030A0015;
inline constexpr uint32_t kPositionerTypeIndex = 0x030A0009;
inline constexpr uint32_t kPositionerTypeCode = 0x030A003C;
inline constexpr uint32_t kPositionerTypeName = 0x030A003D;  // string
inline constexpr uint32_t kPositionerTypeMovement = 0x030A0042;
inline constexpr uint32_t kPositionerTypeValue48 = 0x030A0048;
// Channel settings and state.
inline constexpr uint32_t kMoveMode = 0x03050087;
inline constexpr uint32_t kChannelOptions = 0x0302005D;
inline constexpr uint32_t kMoveControlOptions = 0x0305005D;
inline constexpr uint32_t kMovementType = 0x03090042;  // 2 linear, 3 rotary
inline constexpr uint32_t kChannelState = 0x0305000F;
inline constexpr uint32_t kChannelErrorCode = 0x0502007A;
inline constexpr uint32_t kPosition = 0x0305001D;      // i64
inline constexpr uint32_t kVoltageLevel = 0x0305001F;  // i64
inline constexpr uint32_t kHoldTime = 0x03050028;
inline constexpr uint32_t kMoveVelocity = 0x03050029;      // i64, x1000
inline constexpr uint32_t kScanVelocity = 0x0305002A;      // i64
inline constexpr uint32_t kMoveAcceleration = 0x0305002B;  // i64
inline constexpr uint32_t kStepFrequency = 0x0305002E;
inline constexpr uint32_t kMaxClosedLoopFrequency = 0x0305002F;
inline constexpr uint32_t kStepAmplitude = 0x03050030;
inline constexpr uint32_t kCalibrationOptions = 0x0306005D;
inline constexpr uint32_t kReferencingOptions = 0x0307005D;
inline constexpr uint32_t kSensorPowerMode = 0x03080019;
inline constexpr uint32_t kSafeDirection = 0x03090027;
inline constexpr uint32_t kPositionerType = 0x0302003C;
inline constexpr uint32_t kChannelValue19 = 0x03020019;
inline constexpr uint32_t kChannelValue48 = 0x03090048;
inline constexpr uint32_t kTuningValue57 = 0x03050057;
inline constexpr uint32_t kReferencingValue0E = 0x0307000E;
inline constexpr uint32_t kRangeLimitMin = 0x02040020;        // i64
inline constexpr uint32_t kRangeLimitMax = 0x02040021;        // i64
inline constexpr uint32_t kRangeValue23 = 0x02040023;         // i64, x1000
inline constexpr uint32_t kLogicalScaleOffset = 0x02040024;   // i64, x1000
inline constexpr uint32_t kLogicalScaleInversion = 0x02040025;
inline constexpr uint32_t kDebugSample = 0x05080035;  // i64
}  // namespace ctlkey

// Bits of the values above that the adapter reads.
namespace ctlbit {
inline constexpr int32_t kHandControlModulePresent = 0x1;  // device flags
inline constexpr int32_t kChannelStateMoveError = 0x800;
inline constexpr int32_t kChannelStateDebug = 0x8000;
}  // namespace ctlbit

// Event types and movement results the adapter acts on.
namespace ctlevent {
inline constexpr uint32_t kMovementFinished = 0x0001;
inline constexpr uint32_t kConnectionLost = 0xF001;
}  // namespace ctlevent

namespace ctlresult {
inline constexpr uint32_t kOk = 0x0000;
inline constexpr uint32_t kAborted = 0x0019;
inline constexpr uint32_t kNoSensorPresent = 0x0103;
inline constexpr uint32_t kSensorDisabled = 0x0104;
inline constexpr uint32_t kInvalidDeviceHandle = 0xF007;
inline constexpr uint32_t kCanceled = 0xF010;
inline constexpr uint32_t kBufferLimitReached = 0xF016;
}  // namespace ctlresult

}  // namespace qmx
