#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Gen2Model.h"

namespace vxsim {

// Properties a host reads to learn what a controller is made of.
namespace gen2key {
inline constexpr uint32_t kNumberOfChannels = 0x020F0017;
inline constexpr uint32_t kNumberOfModules = 0x020F0016;
inline constexpr uint32_t kDeviceFlags = 0x020F000F;
inline constexpr uint32_t kModuleVersionSelect = 0x050F0063;
inline constexpr uint32_t kModuleVersionA = 0x050F0061;
inline constexpr uint32_t kModuleVersionB = 0x050F0062;
inline constexpr uint32_t kModuleChannelCount = 0x02030017;
inline constexpr uint32_t kChannelVersionSelect = 0x05030063;
inline constexpr uint32_t kChannelVersionA = 0x05030061;
inline constexpr uint32_t kChannelVersionB = 0x05030062;
inline constexpr uint32_t kPositionerTypeCount = 0x030A0015;
inline constexpr uint32_t kPositionerTypeIndex = 0x030A0009;
inline constexpr uint32_t kPositionerTypeCode = 0x030A003C;
inline constexpr uint32_t kPositionerTypeName = 0x030A003D;
inline constexpr uint32_t kPositionerTypeMovement = 0x030A0042;
inline constexpr uint32_t kPositionerTypeValue48 = 0x030A0048;
inline constexpr uint32_t kChannelOptions = 0x0302005D;
inline constexpr uint32_t kMoveControlOptions = 0x0305005D;
inline constexpr uint32_t kMovementType = 0x03090042;
// What a host reads and writes to run a channel.
inline constexpr uint32_t kVoltageLevel = 0x0305001F;  // i64
inline constexpr uint32_t kHoldTime = 0x03050028;
inline constexpr uint32_t kMoveVelocity = 0x03050029;      // i64
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
inline constexpr uint32_t kRangeLimitMin = 0x02040020;       // i64
inline constexpr uint32_t kRangeLimitMax = 0x02040021;       // i64
inline constexpr uint32_t kRangeValue23 = 0x02040023;        // i64
inline constexpr uint32_t kLogicalScaleOffset = 0x02040024;  // i64
inline constexpr uint32_t kLogicalScaleInversion = 0x02040025;
inline constexpr uint32_t kDebugSample = 0x05080035;  // i64
// The hand control module (device) and a module's features.
inline constexpr uint32_t kHandControlModuleMode = 0x020C0083;
inline constexpr uint32_t kSpeedLevelSteps = 0x020C0202;      // array
inline constexpr uint32_t kSpeedLevelAmplitude = 0x020C0203;  // array
inline constexpr uint32_t kSpeedLevelFrequency = 0x020C0204;  // array
inline constexpr uint32_t kFeatureValueA = 0x05030066;
inline constexpr uint32_t kFeatureValueB = 0x05030079;
}  // namespace gen2key

// Device flag: a hand control module is attached.
inline constexpr int32_t kGen2HandControlModuleFlag = 0x1;

struct Gen2Version {
    int32_t kind = 0;
    std::array<int32_t, 4> numbers{};  // [0] unused
};

struct Gen2PositionerType {
    int32_t code = 0;
    std::string name;
    int32_t movementType = 2;
    int32_t value48 = 0;
};

struct Gen2ChannelSettings {
    int32_t moveMode = 0;
    int32_t channelOptions = 0;
    int32_t moveControlOptions = 0;
    int32_t movementType = 2;  // 2 linear, 3 rotary
    int32_t positionerType = 0;
};

// One module: its channels' settings, its two versions and the positioner
// types its channels offer.
struct Gen2Module {
    std::vector<Gen2ChannelSettings> channels;
    Gen2Version version1;
    Gen2Version version2;
    std::vector<Gen2PositionerType> catalogue;
    int32_t featureValueA = 0;
    int32_t featureValueB = 0;
};

// One row of the hand control module's speed level table.
struct Gen2SpeedLevel {
    int32_t steps = 0;
    int32_t amplitude = 0;
    int32_t frequency = 0;
};

// What a controller is made of, as a host finds it out.
struct Gen2Layout {
    Gen2Version interfaceVersion;
    std::optional<Gen2Version> handControlModule;
    std::vector<Gen2SpeedLevel> speedLevels;  // with a hand control module
    std::vector<Gen2Module> modules;
};

// Defines the layout's properties in the model: counts and flags on the
// device, the versions behind their select registers (0 interface, 1 hand
// control module; a module's channel versions behind select 0), the
// catalogue behind each channel's type index, each channel's settings and
// the values a host runs it with, the hand control module's mode and speed
// level table, each module's feature values; the movement engine gets one
// channel per channel of the layout.
void defineLayout(Gen2Model& model, const Gen2Layout& layout);

}  // namespace vxsim
