#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "common/CtlLibrary.h"
#include "systems/gen2/CtlBatches.h"
#include "systems/gen2/CtlConversions.h"
#include "systems/gen2/CtlSensorTypes.h"
#include "systems/gen2/SystemVeltraxCTL.h"

namespace qmx {

namespace {

constexpr int32_t kLinear = 2;
constexpr int32_t kRotary = 3;
constexpr int64_t kAccelerationScale = 1000000;
// One revolution in the controller's unit.
constexpr int64_t kCtlTurn = kMicrodegreesPerTurn * kCtlScale;
// Revolutions fit 16 bits, as the first generation takes them.
constexpr int32_t kLowestRevolution = std::numeric_limits<int16_t>::min();
constexpr int32_t kHighestRevolution = std::numeric_limits<int16_t>::max();

// Move modes the controller runs and the record remembers.
constexpr int32_t kMoveAbsolute = 0;
constexpr int32_t kMoveRelative = 1;
constexpr int32_t kMoveScanAbsolute = 2;
constexpr int32_t kMoveScanRelative = 3;
constexpr int32_t kMoveStep = 4;

constexpr uint8_t kAngleAbsolute = 0x88;
constexpr uint8_t kAngleRelative = 0x98;

// Event states the event thread explains a movement's end by.
constexpr uint32_t kEventStopped = 0;
constexpr uint32_t kEventMoving = 1;
constexpr uint32_t kEventCalibrating = 2;
constexpr uint32_t kEventReferencing = 3;

constexpr uint32_t kLongestHoldTime = 60000;
constexpr int32_t kHoldForever = -1;  // 0xFFFFFFFF

constexpr int32_t kAccumulateBit = 0x1;
constexpr int32_t kStepWhileScanBit = 0x4;

// Referencing options by search direction; auto zero adds its bit.
constexpr std::array<int32_t, 8> kReferenceDirections = {0, 1, 2, 3, 8, 9, 10, 11};
constexpr int32_t kAutoZeroBit = 0x4;

bool isFlag(uint32_t value) { return value <= 1; }

std::optional<int32_t> holdTimeValue(uint32_t holdTime) {
    if (holdTime > kLongestHoldTime) return std::nullopt;
    return holdTime == kLongestHoldTime ? kHoldForever : static_cast<int32_t>(holdTime);
}

// A value on the 0 to 4095 scale on the controller's 0 to 65535 scale,
// truncated; none when the result does not fit 32 bits.
std::optional<int32_t> toFullScale(int32_t value) {
    const double scaled = std::trunc(static_cast<double>(value) * 65535.0 / 4095.0);
    if (scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(scaled);
}

int64_t toCtlAngle(int32_t angle, int32_t revolution) {
    return (static_cast<int64_t>(revolution) * kMicrodegreesPerTurn + angle) * kCtlScale;
}

using Command = decltype(&CtlFunctions::Stop);

VX_STATUS sendCommand(SystemVeltraxCTL& system, uint32_t channel, uint32_t transmitHandle, Command command) {
    const uint32_t result = system.callDevice([&](const CtlFunctions& f, VX_CTL_DeviceHandle device) {
        return (f.*command)(device, static_cast<int8_t>(channel), transmitHandle);
    });
    return result == ctlresult::kOk ? VX_OK : mapCtlResult(result);
}

VX_STATUS sendMove(SystemVeltraxCTL& system, uint32_t channel, uint32_t transmitHandle, int64_t value) {
    const uint32_t result = system.callDevice([&](const CtlFunctions& f, VX_CTL_DeviceHandle device) {
        return f.Move(device, static_cast<int8_t>(channel), value, transmitHandle);
    });
    return result == ctlresult::kOk ? VX_OK : mapCtlResult(result);
}

// The writes of a move's mode and hold time, then the move itself.
SystemVeltraxCTL::Writes moveWrites(uint32_t channel, int32_t moveMode, std::optional<int32_t> holdTime,
                                    int64_t value) {
    return [=](WriteQueue& batch, uint32_t transmitHandle) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI32(ctlkey::kMoveMode, index, moveMode)) return status;
        if (holdTime)
            if (const VX_STATUS status = batch.requestI32(ctlkey::kHoldTime, index, *holdTime)) return status;
        return sendMove(batch.system(), channel, transmitHandle, value);
    };
}

SystemVeltraxCTL::Writes writeI32(uint32_t key, uint32_t channel, int32_t value) {
    return [=](WriteQueue& batch, uint32_t) { return batch.requestI32(key, static_cast<uint8_t>(channel), value); };
}

SystemVeltraxCTL::Writes writeI64(uint32_t key, uint32_t channel, int64_t value) {
    return [=](WriteQueue& batch, uint32_t) { return batch.requestI64(key, static_cast<uint8_t>(channel), value); };
}

}  // namespace

VX_STATUS SystemVeltraxCTL::runSetter(bool sync, const Writes& writes) {
    CommandGroup group(*this);
    if (const VX_STATUS status = group.open()) return status;
    WriteQueue batch(*this, group.transmitHandle());
    if (const VX_STATUS status = writes(batch, group.transmitHandle())) return status;
    if (const VX_STATUS status = group.close()) return status;
    return batch.commit(sync, group.ticket());
}

void SystemVeltraxCTL::setEventState(uint32_t channel, uint32_t eventState) {
    std::lock_guard<std::mutex> api(apiMutex_);
    if (channel < channels_.size()) channels_[channel].eventState = eventState;
}

VX_STATUS SystemVeltraxCTL::runMove(uint32_t channel, bool sync, uint32_t eventState, const Writes& writes) {
    if (const VX_STATUS status = runSetter(sync, writes)) return status;
    if (const VX_STATUS status = checkMoveError(channel, sync)) return status;
    setEventState(channel, eventState);
    return VX_OK;
}

VX_STATUS SystemVeltraxCTL::setAccumulateRelativePositions(uint32_t channel, uint32_t value, bool sync) {
    int32_t word = 0;
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            if (!isFlag(value)) return VX_INVALID_PARAMETER;
            // Accumulation is on while the bit is clear.
            record.channelOptions = value == 0 ? (record.channelOptions | kAccumulateBit)
                                               : (record.channelOptions & ~kAccumulateBit);
            word = record.channelOptions;
            return VX_OK;
        }))
        return status;
    return runSetter(sync, writeI32(ctlkey::kChannelOptions, channel, word));
}

VX_STATUS SystemVeltraxCTL::setStepWhileScan(uint32_t channel, uint32_t value, bool sync) {
    int32_t word = 0;
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            if (!isFlag(value)) return VX_INVALID_PARAMETER;
            record.channelOptions = value == 0 ? (record.channelOptions | kStepWhileScanBit)
                                               : (record.channelOptions & ~kStepWhileScanBit);
            word = record.channelOptions;
            return VX_OK;
        }))
        return status;
    return runSetter(sync, writeI32(ctlkey::kChannelOptions, channel, word));
}

VX_STATUS SystemVeltraxCTL::setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution,
                                          uint32_t maxAngle, int32_t maxRevolution, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            return record.movementType == kRotary ? VX_OK : VX_WRONG_SENSOR_TYPE;
        }))
        return status;
    const auto revolutionFits = [](int32_t revolution) {
        return revolution >= kLowestRevolution && revolution <= kHighestRevolution;
    };
    if (minAngle >= kMicrodegreesPerTurn || maxAngle >= kMicrodegreesPerTurn) return VX_INVALID_PARAMETER;
    if (!revolutionFits(minRevolution) || !revolutionFits(maxRevolution)) return VX_INVALID_PARAMETER;
    const int64_t low = toCtlAngle(static_cast<int32_t>(minAngle), minRevolution);
    const int64_t high = toCtlAngle(static_cast<int32_t>(maxAngle), maxRevolution);
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI64(ctlkey::kRangeLimitMin, index, low)) return status;
        return batch.requestI64(ctlkey::kRangeLimitMax, index, high);
    });
}

VX_STATUS SystemVeltraxCTL::setChannelProperty(uint32_t channel, uint32_t key, int32_t value, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        const BatchEntry* entry = channelPropertyBatch(key);
        if (!entry) return VX_INVALID_PROPERTY;
        if (!entry->writeRequest) return VX_OTHER_ERROR;
        return entry->writeRequest(batch, static_cast<uint8_t>(channel), value);
    });
}

VX_STATUS SystemVeltraxCTL::setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runSetter(sync, writeI32(ctlkey::kMaxClosedLoopFrequency, channel, static_cast<int32_t>(frequency)));
}

VX_STATUS SystemVeltraxCTL::setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    const int64_t value = static_cast<int64_t>(static_cast<int32_t>(acceleration)) * kAccelerationScale;
    return runSetter(sync, writeI64(ctlkey::kMoveAcceleration, channel, value));
}

VX_STATUS SystemVeltraxCTL::setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runSetter(sync, writeI64(ctlkey::kMoveVelocity, channel, scaleUp(static_cast<int32_t>(speed))));
}

VX_STATUS SystemVeltraxCTL::setPosition(uint32_t channel, int32_t position, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            if (record.movementType == kLinear) return VX_OK;
            if (record.movementType != kRotary) return VX_WRONG_SENSOR_TYPE;
            return static_cast<uint32_t>(position) < kMicrodegreesPerTurn ? VX_OK : VX_INVALID_PARAMETER;
        }))
        return status;
    return runSetter(sync, writeI64(ctlkey::kPosition, channel, scaleUp(position)));
}

VX_STATUS SystemVeltraxCTL::setPositionLimit(uint32_t channel, int32_t min, int32_t max, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            return record.movementType == kLinear ? VX_OK : VX_WRONG_SENSOR_TYPE;
        }))
        return status;
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI64(ctlkey::kRangeLimitMin, index, scaleUp(min))) return status;
        return batch.requestI64(ctlkey::kRangeLimitMax, index, scaleUp(max));
    });
}

VX_STATUS SystemVeltraxCTL::setReportOnComplete(uint32_t channel, uint32_t value) {
    return checkChannel(false, channel, [&](ChannelRecord& record) -> VX_STATUS {
        if (!isFlag(value)) return VX_INVALID_PARAMETER;
        record.reportOnComplete = value == 1;
        return VX_OK;
    });
}

VX_STATUS SystemVeltraxCTL::setReportOnTriggered(uint32_t channel, uint32_t value) {
    return checkChannel(false, channel, [&](ChannelRecord& record) -> VX_STATUS {
        if (!isFlag(value)) return VX_INVALID_PARAMETER;
        record.reportOnTriggered = value == 1;
        return VX_OK;
    });
}

VX_STATUS SystemVeltraxCTL::setSafeDirection(uint32_t channel, uint32_t direction, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    if (!isFlag(direction)) return VX_INVALID_PARAMETER;
    return runSetter(sync, writeI32(ctlkey::kSafeDirection, channel, static_cast<int32_t>(direction)));
}

VX_STATUS SystemVeltraxCTL::setScale(uint32_t channel, int32_t shift, uint32_t inverted, bool sync) {
    int32_t movementType = 0;
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            movementType = record.movementType;
            return movementType == kLinear || movementType == kRotary ? VX_OK : VX_WRONG_SENSOR_TYPE;
        }))
        return status;
    if (!isFlag(inverted)) return VX_INVALID_PARAMETER;
    // A rotary offset is kept within one revolution, sign of the shift, so
    // that it reads back as set for shifts within a revolution.
    const int64_t offset = movementType == kRotary ? scaleUp(shift) % kCtlTurn : scaleUp(shift);
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI64(ctlkey::kLogicalScaleOffset, index, offset)) return status;
        return batch.requestI32(ctlkey::kLogicalScaleInversion, index, inverted == 1 ? 1 : 0);
    });
}

VX_STATUS SystemVeltraxCTL::setSensorEnabled(uint32_t mode, bool sync) {
    size_t channelCount = 0;
    {
        std::lock_guard<std::mutex> api(apiMutex_);
        if (const VX_STATUS status = checkMode(sync)) return status;
        channelCount = channels_.size();
    }
    if (mode > 2) return VX_INVALID_PARAMETER;
    return runSetter(sync, [=](WriteQueue& batch, uint32_t) -> VX_STATUS {
        for (size_t channel = 0; channel < channelCount; ++channel)
            if (const VX_STATUS status = batch.requestI32(ctlkey::kSensorPowerMode, static_cast<uint8_t>(channel),
                                                          static_cast<int32_t>(mode)))
                return status;
        return VX_OK;
    });
}

VX_STATUS SystemVeltraxCTL::setSensorType(uint32_t channel, uint32_t type, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    if (const VX_STATUS status = runSetter(sync, writeI32(ctlkey::kPositionerType, channel, codeOfSensorType(type))))
        return status;
    // The positioner type decides the channel's settings; follow them.
    std::lock_guard<std::mutex> api(apiMutex_);
    return readChannelSettings(channel);
}

VX_STATUS SystemVeltraxCTL::setEndEffectorType(uint32_t, uint32_t, int32_t, uint32_t, bool) {
    return VX_WRONG_CHANNEL_TYPE;
}
VX_STATUS SystemVeltraxCTL::setZeroForce(uint32_t, bool) { return VX_WRONG_CHANNEL_TYPE; }
VX_STATUS SystemVeltraxCTL::gotoGripperForceAbsolute(uint32_t, int32_t, int32_t, uint32_t, bool) {
    return VX_WRONG_CHANNEL_TYPE;
}
VX_STATUS SystemVeltraxCTL::gotoGripperOpeningAbsolute(uint32_t, uint32_t, int32_t, bool) {
    return VX_WRONG_CHANNEL_TYPE;
}
VX_STATUS SystemVeltraxCTL::gotoGripperOpeningRelative(uint32_t, int32_t, int32_t, bool) {
    return VX_WRONG_CHANNEL_TYPE;
}
VX_STATUS SystemVeltraxCTL::appendTriggeredCommand(uint32_t, int32_t) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::clearTriggeredCommandQueue(uint32_t) { return VX_UNKNOWN_COMMAND; }
VX_STATUS SystemVeltraxCTL::triggerCommand(uint32_t) { return VX_UNKNOWN_COMMAND; }

VX_STATUS SystemVeltraxCTL::calibrateSensor(uint32_t channel, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    return runMove(channel, sync, kEventCalibrating, [=](WriteQueue& batch, uint32_t transmitHandle) -> VX_STATUS {
        if (const VX_STATUS status = batch.requestI32(ctlkey::kCalibrationOptions, static_cast<uint8_t>(channel), 0))
            return status;
        return sendCommand(batch.system(), channel, transmitHandle, &CtlFunctions::Calibrate);
    });
}

VX_STATUS SystemVeltraxCTL::findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                              uint32_t autoZero, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    const auto hold = holdTimeValue(holdTime);
    if (direction >= kReferenceDirections.size() || !hold || !isFlag(autoZero)) return VX_INVALID_PARAMETER;
    const int32_t options = kReferenceDirections[direction] | (autoZero == 1 ? kAutoZeroBit : 0);
    return runMove(channel, sync, kEventReferencing, [=](WriteQueue& batch, uint32_t transmitHandle) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI32(ctlkey::kHoldTime, index, *hold)) return status;
        if (const VX_STATUS status = batch.requestI32(ctlkey::kReferencingOptions, index, options)) return status;
        return sendCommand(batch.system(), channel, transmitHandle, &CtlFunctions::Reference);
    });
}

VX_STATUS SystemVeltraxCTL::gotoAngle(uint32_t channel, int32_t angle, int32_t revolution, uint32_t holdTime,
                                      uint8_t opcode, bool sync) {
    int32_t moveMode = 0;
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            if (record.movementType != kRotary) return VX_WRONG_SENSOR_TYPE;
            const int32_t lastAngle = static_cast<int32_t>(kMicrodegreesPerTurn - 1);
            int32_t lowest = 0;
            if (opcode == kAngleRelative) {
                moveMode = kMoveRelative;
                lowest = -lastAngle;
            } else if (opcode == kAngleAbsolute) {
                moveMode = kMoveAbsolute;
            } else {
                return VX_OTHER_ERROR;
            }
            record.moveMode = moveMode;
            if (angle < lowest || angle > lastAngle) return VX_INVALID_PARAMETER;
            if (revolution < kLowestRevolution || revolution > kHighestRevolution) return VX_INVALID_PARAMETER;
            return VX_OK;
        }))
        return status;
    const auto hold = holdTimeValue(holdTime);
    if (!hold) return VX_INVALID_PARAMETER;
    return runMove(channel, sync, kEventMoving, moveWrites(channel, moveMode, hold, toCtlAngle(angle, revolution)));
}

VX_STATUS SystemVeltraxCTL::gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime, bool relative,
                                         bool sync) {
    const int32_t moveMode = relative ? kMoveRelative : kMoveAbsolute;
    if (const VX_STATUS status = checkChannel(sync, channel, [&](ChannelRecord& record) -> VX_STATUS {
            if (record.movementType != kLinear) return VX_WRONG_SENSOR_TYPE;
            record.moveMode = moveMode;
            return VX_OK;
        }))
        return status;
    const auto hold = holdTimeValue(holdTime);
    if (!hold) return VX_INVALID_PARAMETER;
    return runMove(channel, sync, kEventMoving, moveWrites(channel, moveMode, hold, scaleUp(position)));
}

namespace {

// Both scan moves: the scan speed, then the target, on the full scale.
SystemVeltraxCTL::Writes scanWrites(uint32_t channel, int32_t moveMode, int32_t target, int32_t scanSpeed) {
    const auto velocity = static_cast<int64_t>(static_cast<double>(static_cast<uint32_t>(scanSpeed)) * 65535.0 / 4095.0);
    return [=](WriteQueue& batch, uint32_t transmitHandle) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI32(ctlkey::kMoveMode, index, moveMode)) return status;
        if (const VX_STATUS status = batch.requestI64(ctlkey::kScanVelocity, index, velocity)) return status;
        return sendMove(batch.system(), channel, transmitHandle, target);
    };
}

}  // namespace

VX_STATUS SystemVeltraxCTL::scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            record.moveMode = kMoveScanAbsolute;
            return VX_OK;
        }))
        return status;
    const auto scaled = toFullScale(static_cast<int32_t>(target));
    if (!scaled) return VX_INVALID_PARAMETER;
    return runMove(channel, sync, kEventMoving, scanWrites(channel, kMoveScanAbsolute, *scaled, scanSpeed));
}

VX_STATUS SystemVeltraxCTL::scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            record.moveMode = kMoveScanRelative;
            return VX_OK;
        }))
        return status;
    const auto scaled = toFullScale(difference);
    if (!scaled) return VX_INVALID_PARAMETER;
    return runMove(channel, sync, kEventMoving, scanWrites(channel, kMoveScanRelative, *scaled, scanSpeed));
}

VX_STATUS SystemVeltraxCTL::stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency,
                                     bool sync) {
    if (steps == 0) return stop(channel, sync);
    if (const VX_STATUS status = checkChannel(sync, channel, [](ChannelRecord& record) {
            record.moveMode = kMoveStep;
            return VX_OK;
        }))
        return status;
    const auto scaled = toFullScale(static_cast<int32_t>(amplitude));
    if (!scaled) return VX_INVALID_PARAMETER;
    return runMove(channel, sync, kEventMoving, [=](WriteQueue& batch, uint32_t transmitHandle) -> VX_STATUS {
        const auto index = static_cast<uint8_t>(channel);
        if (const VX_STATUS status = batch.requestI32(ctlkey::kMoveMode, index, kMoveStep)) return status;
        if (const VX_STATUS status = batch.requestI32(ctlkey::kStepAmplitude, index, *scaled)) return status;
        if (const VX_STATUS status = batch.requestI32(ctlkey::kStepFrequency, index, static_cast<int32_t>(frequency)))
            return status;
        return sendMove(batch.system(), channel, transmitHandle, steps);
    });
}

VX_STATUS SystemVeltraxCTL::stop(uint32_t channel, bool sync) {
    if (const VX_STATUS status = checkChannel(sync, channel)) return status;
    if (const VX_STATUS status = runSetter(sync, [=](WriteQueue& batch, uint32_t transmitHandle) {
            return sendCommand(batch.system(), channel, transmitHandle, &CtlFunctions::Stop);
        }))
        return status;
    setEventState(channel, kEventStopped);
    return VX_OK;
}

}  // namespace qmx
