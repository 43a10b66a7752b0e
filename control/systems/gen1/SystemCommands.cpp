#include "systems/gen1/OpenHelpers.h"
#include "systems/gen1/System.h"

namespace qmx {

namespace {

constexpr uint32_t kMaxHoldTime = 60000;
constexpr int32_t kFullTurn = 360000000;

// The flag byte of opcode 0x32: mask and value carry the same bit.
constexpr uint8_t kReportOnComplete = 0x02;
constexpr uint8_t kStepWhileScan = 0x04;
constexpr uint8_t kAccumulateRelative = 0x08;
constexpr uint8_t kReportOnTriggered = 0x10;
constexpr uint8_t kDebugging = 0x80;

bool inRange(int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; }

// Writes an output the caller asked for; a null pointer asks for nothing.
template <typename T, typename V>
void put(T* out, const V& value) {
    if (out) *out = static_cast<T>(value);
}

}  // namespace

VX_STATUS System::checkChannel(uint32_t channel, bool sync, Need need) {
    VX_STATUS status = checkSystemCommand(sync);
    if (status != VX_OK) return status;
    if (channel >= channelCount_) return VX_INVALID_CHANNEL_INDEX;
    if (need == Need::Positioner && !isPositionerChannel(*this, channel)) return VX_WRONG_CHANNEL_TYPE;
    if (need == Need::EndEffector &&
        (channels_[channel].moduleWord & kClassMask) != kEndEffectorClass)
        return VX_WRONG_CHANNEL_TYPE;
    return VX_OK;
}

VX_STATUS System::checkChannelCommand(uint32_t channel, bool sync) {
    return checkChannel(channel, sync, Need::Positioner);
}

VX_STATUS System::checkSystemCommand(bool sync) {
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if ((mode_ == kSynchronous) != sync) return VX_WRONG_MODE;
    return VX_OK;
}

VX_STATUS System::checkAsyncChannel(uint32_t channel, Need need) {
    return checkChannel(channel, false, need);
}

VX_STATUS System::query(uint32_t channel, bool sync, const OutPacket& request,
                        uint8_t answerOpcode, VX_packet* answer) {
    if (!sync) return sendPacket(request);
    RawPacket received;
    const VX_STATUS status =
        exchangeAnswer(request, channels_[channel].moduleWord, answerOpcode, &received);
    if (status == VX_OK) *answer = answerFields(received);
    return status;
}

VX_STATUS System::command(bool sync, const OutPacket& request) {
    if (!sync) return sendPacket(request);
    return exchangeAcknowledge(request);
}

template <typename MakeRequest, typename Take>
VX_STATUS System::fetch(uint32_t channel, bool sync, Need need, uint8_t answerOpcode,
                        MakeRequest&& makeRequest, Take&& take) {
    VX_STATUS status = checkChannel(channel, sync, need);
    if (status != VX_OK) return status;
    VX_packet answer{};
    status = query(channel, sync, makeRequest(), answerOpcode, &answer);
    if (status != VX_OK || !sync) return status;
    take(answer);
    return VX_OK;
}

VX_STATUS System::getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle,
                                int32_t* minRevolution, uint32_t* maxAngle,
                                int32_t* maxRevolution) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kAngleLimit,
        [&] { return toChannel(channel, opcode::kAngleLimit).u8(0x02).zeros(12); },
        [&](const VX_packet& answer) {
            put(minAngle, answer.data1);
            put(minRevolution, answer.data2);
            put(maxAngle, answer.data4);
            put(maxRevolution, answer.data3);
        });
}

VX_STATUS System::getChannelProperty(uint32_t channel, uint32_t key, bool sync, int32_t* value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::AnyChannel, opcode::kChannelProperty,
        [&] { return toChannel(channel, opcode::kChannelProperty).u8(0x02).u32(key).zeros(4); },
        [&](const VX_packet& answer) { put(value, answer.data2); });
}

VX_STATUS System::getClosedLoopMoveAcceleration(uint32_t channel, bool sync,
                                                uint32_t* acceleration) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kMoveAcceleration,
        [&] { return toChannel(channel, opcode::kMoveAcceleration).u8(0x02).zeros(4); },
        [&](const VX_packet& answer) { put(acceleration, answer.data1); });
}

VX_STATUS System::getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kMoveSpeed,
        [&] { return toChannel(channel, opcode::kMoveSpeed).u8(0x02).zeros(4); },
        [&](const VX_packet& answer) { put(speed, answer.data1); });
}

VX_STATUS System::getEndEffectorType(uint32_t channel, bool sync, uint32_t* type, int32_t* param1,
                                     int32_t* param2) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::EndEffector, opcode::kEndEffectorType,
        [&] { return toChannel(channel, opcode::kEndEffectorType).u8(0x00).zeros(9); },
        [&](const VX_packet& answer) {
            put(type, answer.data1);
            put(param1, answer.data2);
            put(param2, answer.data3);
        });
}

VX_STATUS System::getPositionLimit(uint32_t channel, bool sync, int32_t* min, int32_t* max) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kPositionLimit,
        [&] { return toChannel(channel, opcode::kPositionLimit).u8(0x02).zeros(8); },
        [&](const VX_packet& answer) {
            put(min, answer.data2);
            put(max, answer.data3);
        });
}

VX_STATUS System::getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kSafeDirection,
        [&] { return toChannel(channel, opcode::kSafeDirection).u8(0x02).u8(0); },
        [&](const VX_packet& answer) { put(direction, answer.data1); });
}

VX_STATUS System::getScale(uint32_t channel, bool sync, int32_t* shift, uint32_t* inverted) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kScale,
        [&] { return toChannel(channel, opcode::kScale).u8(0x02).zeros(5); },
        [&](const VX_packet& answer) {
            put(shift, answer.data2);
            put(inverted, answer.data1);
        });
}

VX_STATUS System::getSensorEnabled(bool sync, uint32_t* mode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(sync);
    if (status != VX_OK) return status;
    // The mode is the system's; the first positioner answers for it.
    uint32_t channel = 0;
    while (channel < channelCount_ && !isPositionerChannel(*this, channel)) ++channel;
    if (channel == channelCount_) return VX_WRONG_CHANNEL_TYPE;
    return fetch(
        channel, sync, Need::Positioner, opcode::kSensorEnabled,
        [&] { return toChannel(channel, opcode::kSensorEnabled).u8(0xFF); },
        [&](const VX_packet& answer) { put(mode, answer.data1); });
}

VX_STATUS System::sensorTypeLocked(uint32_t channel, bool sync, uint32_t* type) {
    return fetch(
        channel, sync, Need::Positioner, opcode::kSensorType,
        [&] { return toChannel(channel, opcode::kSensorType).u8(0x01).u8(0); },
        [&](const VX_packet& answer) { put(type, answer.data1); });
}

VX_STATUS System::getSensorType(uint32_t channel, bool sync, uint32_t* type) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return sensorTypeLocked(channel, sync, type);
}

VX_STATUS System::getPositionerType(uint32_t channel, bool sync, uint32_t* type) {
    // First-generation controllers report a positioner's type as its sensor
    // type. The count goes up under the same hold as the send, so the
    // receive path cannot see the answer before it is expected.
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = sensorTypeLocked(channel, sync, type);
    if (status == VX_OK && !sync) ++channels_[channel].pendingPositionerTypeQueries;
    return status;
}

VX_STATUS System::setAccumulateRelativePositions(uint32_t channel, uint32_t value, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    return command(sync,
                   toChannel(channel, opcode::kFlags)
                       .u8(kAccumulateRelative)
                       .u8(value == 1 ? kAccumulateRelative : 0));
}

VX_STATUS System::setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution,
                                uint32_t maxAngle, int32_t maxRevolution, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (minAngle >= static_cast<uint32_t>(kFullTurn) || !inRange(minRevolution, -32768, 32767) ||
        maxAngle >= static_cast<uint32_t>(kFullTurn) || !inRange(maxRevolution, -32768, 32767))
        return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kAngleLimit)
                       .u8(0x01)
                       .u32(minAngle)
                       .u16(static_cast<uint32_t>(minRevolution))
                       .u32(maxAngle)
                       .u16(static_cast<uint32_t>(maxRevolution)));
}

VX_STATUS System::setChannelProperty(uint32_t channel, uint32_t key, int32_t value, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    return command(sync,
                   toChannel(channel, opcode::kChannelProperty)
                       .u8(0x01)
                       .u32(key)
                       .u32(static_cast<uint32_t>(value)));
}

VX_STATUS System::setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (!inRange(frequency, 50, 18500)) return VX_INVALID_PARAMETER;
    // Configuration parameter 2 holds the closed-loop frequency limit.
    return command(sync,
                   toChannel(channel, opcode::kConfigParameter).u8(0x02).u32(frequency));
}

VX_STATUS System::setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration,
                                                bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (acceleration > 100000000) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kMoveAcceleration).u8(0x01).u32(acceleration));
}

VX_STATUS System::setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (speed > 100000000) return VX_INVALID_PARAMETER;
    return command(sync, toChannel(channel, opcode::kMoveSpeed).u8(0x01).u32(speed));
}

VX_STATUS System::setEndEffectorType(uint32_t channel, uint32_t type, int32_t param1,
                                     uint32_t param2, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != VX_OK) return status;
    if (type > 255) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kEndEffectorType)
                       .u8(0x01)
                       .u8(type)
                       .u32(static_cast<uint32_t>(param1))
                       .u32(param2));
}

VX_STATUS System::setPosition(uint32_t channel, int32_t position, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    return command(sync,
                   toChannel(channel, opcode::kSetPosition).u32(static_cast<uint32_t>(position)));
}

VX_STATUS System::setPositionLimit(uint32_t channel, int32_t min, int32_t max, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    return command(sync,
                   toChannel(channel, opcode::kPositionLimit)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(min))
                       .u32(static_cast<uint32_t>(max)));
}

VX_STATUS System::setReportOnComplete(uint32_t channel, uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != VX_OK) return status;
    if (value > 1) return VX_INVALID_PARAMETER;
    return sendPacket(toChannel(channel, opcode::kFlags)
                          .u8(kReportOnComplete)
                          .u8(value == 1 ? kReportOnComplete : 0));
}

VX_STATUS System::setReportOnTriggered(uint32_t channel, uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != VX_OK) return status;
    if (value > 1) return VX_INVALID_PARAMETER;
    return sendPacket(toChannel(channel, opcode::kFlags)
                          .u8(kReportOnTriggered)
                          .u8(value == 1 ? kReportOnTriggered : 0));
}

VX_STATUS System::setSafeDirection(uint32_t channel, uint32_t direction, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (direction > 1) return VX_INVALID_PARAMETER;
    return command(sync, toChannel(channel, opcode::kSafeDirection).u8(0x01).u8(direction));
}

VX_STATUS System::setScale(uint32_t channel, int32_t shift, uint32_t inverted, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (inverted > 1) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kScale)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(shift))
                       .u8(inverted));
}

VX_STATUS System::setSensorEnabled(uint32_t mode, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(sync);
    if (status != VX_OK) return status;
    if (mode > 2) return VX_INVALID_PARAMETER;
    for (uint32_t channel = 0; channel < channelCount_; ++channel) {
        if (!isPositionerChannel(*this, channel)) continue;
        status = command(sync, toChannel(channel, opcode::kSetSensorEnabled).u8(mode));
        if (status != VX_OK) return status;
    }
    return VX_OK;
}

VX_STATUS System::setSensorType(uint32_t channel, uint32_t type, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (type > 255) return VX_INVALID_PARAMETER;
    return command(sync, toChannel(channel, opcode::kSetSensorType).u8(type));
}

VX_STATUS System::setStepWhileScan(uint32_t channel, uint32_t value, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (value > 1) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kFlags)
                       .u8(kStepWhileScan)
                       .u8(value == 1 ? kStepWhileScan : 0));
}

VX_STATUS System::setZeroForce(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != VX_OK) return status;
    return command(sync, toChannel(channel, opcode::kForce).u8(0x02).zeros(8));
}

VX_STATUS System::appendTriggeredCommand(uint32_t channel, int32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != VX_OK) return status;
    return sendPacket(
        toChannel(channel, opcode::kTriggeredCommand).u8(0x01).u32(static_cast<uint32_t>(value)));
}

VX_STATUS System::clearTriggeredCommandQueue(uint32_t channel) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::AnyChannel);
    if (status != VX_OK) return status;
    return sendPacket(toChannel(channel, opcode::kTriggeredCommand).u8(0x02).zeros(4));
}

VX_STATUS System::calibrateSensor(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    return command(sync, toChannel(channel, opcode::kCalibrateOrReference).zeros(3));
}

VX_STATUS System::findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                    uint32_t autoZero, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (direction > 7 || autoZero > 1 || holdTime > kMaxHoldTime) return VX_INVALID_PARAMETER;
    uint8_t flags = static_cast<uint8_t>(0x10 | (direction & 1) | (autoZero << 1) |
                                         ((direction >> 1) & 1) << 2 | ((direction >> 2) & 1) << 3);
    return command(sync,
                   toChannel(channel, opcode::kCalibrateOrReference).u8(flags).u16(holdTime));
}

VX_STATUS System::gotoAngle(uint32_t channel, int32_t angle, int32_t revolution, uint32_t holdTime,
                            uint8_t code, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (holdTime > kMaxHoldTime) return VX_INVALID_PARAMETER;
    if (code == opcode::kGotoAngleRelative) {
        if (!inRange(angle, -(kFullTurn - 1), kFullTurn - 1)) return VX_INVALID_PARAMETER;
    } else if (code == opcode::kGotoAngleAbsolute) {
        if (angle >= kFullTurn) return VX_INVALID_PARAMETER;
    } else {
        return VX_OTHER_ERROR;
    }
    if (!inRange(revolution, -32768, 32767)) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, code)
                       .u32(static_cast<uint32_t>(angle))
                       .u16(static_cast<uint32_t>(revolution))
                       .u16(holdTime));
}

VX_STATUS System::gotoGripperForceAbsolute(uint32_t channel, int32_t force, int32_t speed,
                                           uint32_t, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != VX_OK) return status;
    if (!inRange(force, -100000, 100000) || !inRange(speed, 1, 225000)) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kForce)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(force))
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoGripperOpeningAbsolute(uint32_t channel, uint32_t opening, int32_t speed,
                                             bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != VX_OK) return status;
    if (opening > 22500 || !inRange(speed, 1, 225000)) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kScanAbsolute)
                       .u16(opening)
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoGripperOpeningRelative(uint32_t channel, int32_t difference, int32_t speed,
                                             bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != VX_OK) return status;
    if (!inRange(difference, -22500, 22500) || !inRange(speed, 1, 225000)) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kScanRelative)
                       .u16(static_cast<uint32_t>(difference))
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime,
                               bool relative, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (holdTime > kMaxHoldTime) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, relative ? opcode::kGotoPositionRelative
                                               : opcode::kGotoPositionAbsolute)
                       .u32(static_cast<uint32_t>(position))
                       .u16(holdTime));
}

VX_STATUS System::scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed,
                                   bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    const uint32_t speed = static_cast<uint32_t>(scanSpeed);
    if (target > 4095 || speed < 1 || speed > 4095000000u) return VX_INVALID_PARAMETER;
    return command(sync, toChannel(channel, opcode::kScanAbsolute).u16(target).u32(speed));
}

VX_STATUS System::scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed,
                                   bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (!inRange(difference, -32768, 32767)) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kScanRelative)
                       .u16(static_cast<uint32_t>(difference))
                       .u32(static_cast<uint32_t>(scanSpeed)));
}

VX_STATUS System::stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency,
                           bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (!inRange(steps, -30000, 30000) || amplitude > 4095 || !inRange(frequency, 1, 20000))
        return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kStepMove)
                       .u16(static_cast<uint32_t>(steps))
                       .u16(amplitude)
                       .u16(frequency));
}

VX_STATUS System::stop(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != VX_OK) return status;
    return command(sync, toChannel(channel, opcode::kStop));
}

VX_STATUS System::triggerCommand(uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(false);
    if (status != VX_OK) return status;
    if (value > 255) return VX_INVALID_PARAMETER;
    return sendPacket(OutPacket(address::kSystem, opcode::kTrigger).u8(value));
}

VX_STATUS System::getStatus(uint32_t channel, bool sync, uint32_t* status) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::AnyChannel, opcode::kStatus,
        [&] { return toChannel(channel, opcode::kGetStatus); },
        [&](const VX_packet& answer) { put(status, answer.data1); });
}

VX_STATUS System::getPosition(uint32_t channel, bool sync, int32_t* position) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kPosition,
        [&] { return toChannel(channel, opcode::kGetPosition); },
        [&](const VX_packet& answer) { put(position, answer.data2); });
}

VX_STATUS System::getAngle(uint32_t channel, bool sync, uint32_t* angle, int32_t* revolution) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kAngle,
        [&] { return toChannel(channel, opcode::kGetAngle); },
        [&](const VX_packet& answer) {
            put(angle, answer.data1);
            put(revolution, answer.data2);
        });
}

VX_STATUS System::getCaptureBuffer(uint32_t channel, uint32_t bufferIndex, bool sync,
                                   VX_packet* record) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != VX_OK) return status;
    if (bufferIndex > 255) return VX_INVALID_PARAMETER;
    VX_packet answer{};
    status = query(channel, sync,
                   toChannel(channel, opcode::kCaptureBuffer).u8(bufferIndex).zeros(10),
                   opcode::kCaptureBuffer, &answer);
    if (status != VX_OK || !sync) return status;
    answer.packetType = VX_PACKET_CAPTURE_BUFFER;
    answer.channelIndex = channel;
    // The record names the buffer asked for.
    answer.data1 = bufferIndex;
    put(record, answer);
    return VX_OK;
}

VX_STATUS System::getForce(uint32_t channel, bool sync, int32_t* force) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::EndEffector, opcode::kForce,
        [&] { return toChannel(channel, opcode::kForce).u8(0x00).zeros(8); },
        [&](const VX_packet& answer) { put(force, answer.data2); });
}

VX_STATUS System::getGripperOpening(uint32_t channel, bool sync, uint32_t* opening) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::EndEffector, opcode::kAnalogValue,
        [&] { return toChannel(channel, opcode::kGetAnalogValue); },
        [&](const VX_packet& answer) { put(opening, answer.data1); });
}

VX_STATUS System::getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kPhysicalPositionKnown,
        [&] { return toChannel(channel, opcode::kPhysicalPositionKnown).u8(0); },
        [&](const VX_packet& answer) { put(known, answer.data1); });
}

VX_STATUS System::getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    return fetch(
        channel, sync, Need::Positioner, opcode::kAnalogValue,
        [&] { return toChannel(channel, opcode::kGetAnalogValue); },
        [&](const VX_packet& answer) { put(level, answer.data1); });
}

VX_STATUS System::setHCMEnabled(uint32_t mode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (mode_ == kNotOpen) return VX_NOT_INITIALIZED;
    if (mode > 2) return VX_INVALID_PARAMETER;
    return sendPacket(OutPacket(address::kHandControl, opcode::kHcmEnabled).u8(mode));
}

VX_STATUS System::setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != VX_OK) return status;
    if (enabled > 1) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode::kFlags).u8(kDebugging).u8(enabled == 1 ? kDebugging : 0));
}

// Debug values, tuning and configuration parameters: one request shape each
// for reading and writing, an answer that carries the index first.
VX_STATUS System::readIndexedValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value,
                                   uint8_t requestOpcode, uint8_t answerOpcode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != VX_OK) return status;
    if (index > 255) return VX_INVALID_PARAMETER;
    VX_packet answer{};
    status = query(channel, sync, toChannel(channel, requestOpcode).u8(index), answerOpcode,
                   &answer);
    if (status != VX_OK || !sync) return status;
    // An answer for another index is not the one asked for.
    if (answer.data1 != index) return VX_PROTOCOL_ERROR;
    put(value, answer.data2);
    return VX_OK;
}

VX_STATUS System::writeIndexedValue(uint32_t channel, uint32_t index, int32_t value, bool sync,
                                    uint8_t opcode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != VX_OK) return status;
    if (index > 255) return VX_INVALID_PARAMETER;
    return command(sync,
                   toChannel(channel, opcode).u8(index).u32(static_cast<uint32_t>(value)));
}

VX_STATUS System::readDebugValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value) {
    return readIndexedValue(channel, index, sync, value, opcode::kReadDebugValue,
                            opcode::kDebugValue);
}

VX_STATUS System::writeDebugValue(uint32_t channel, uint32_t index, int32_t value, bool sync) {
    return writeIndexedValue(channel, index, value, sync, opcode::kDebugValue);
}

VX_STATUS System::readTuningParameter(uint32_t channel, uint32_t index, bool sync,
                                      uint32_t* value) {
    return readIndexedValue(channel, index, sync, value, opcode::kReadTuningParameter,
                            opcode::kTuningParameter);
}

VX_STATUS System::writeTuningParameter(uint32_t channel, uint32_t index, int32_t value,
                                       bool sync) {
    return writeIndexedValue(channel, index, value, sync, opcode::kTuningParameter);
}

VX_STATUS System::readConfigParameter(uint32_t channel, uint32_t index, bool sync,
                                      uint32_t* value) {
    return readIndexedValue(channel, index, sync, value, opcode::kReadConfigParameter,
                            opcode::kConfigParameter);
}

VX_STATUS System::writeConfigParameter(uint32_t channel, uint32_t index, int32_t value,
                                       bool sync) {
    return writeIndexedValue(channel, index, value, sync, opcode::kConfigParameter);
}

VX_STATUS System::writeCustomSensorTypeConfiguration(uint32_t channel, uint32_t, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != VX_OK) return status;
    return command(sync, toChannel(channel, opcode::kCustomSensorType).u8(0).u8(0));
}

}  // namespace qmx
