#include "systems/OpenHelpers.h"
#include "systems/System.h"

namespace qmx {

namespace {

constexpr uint32_t kAnswerWaitMs = 2000;
constexpr uint32_t kMaxHoldTime = 60000;
constexpr int32_t kFullTurn = 360000000;

// The flag byte of opcode 0x32: mask and value carry the same bit.
constexpr uint8_t kReportOnComplete = 0x02;
constexpr uint8_t kStepWhileScan = 0x04;
constexpr uint8_t kAccumulateRelative = 0x08;
constexpr uint8_t kReportOnTriggered = 0x10;
constexpr uint8_t kDebugging = 0x80;

bool inRange(int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; }

}  // namespace

VX_STATUS System::checkChannel(uint32_t channel, bool sync, Need need) {
    VX_STATUS status = checkSystemCommand(sync);
    if (status != 0) return status;
    if (channel >= channelCount_) return 6;
    if (need == Need::Positioner && !isPositionerChannel(*this, channel)) return 19;
    if (need == Need::EndEffector &&
        (channels_[channel].moduleWord & kClassMask) != kEndEffectorClass)
        return 19;
    return 0;
}

VX_STATUS System::checkChannelCommand(uint32_t channel, bool sync) {
    return checkChannel(channel, sync, Need::Positioner);
}

VX_STATUS System::checkSystemCommand(bool sync) {
    if (mode_ == 0) return 2;
    if ((mode_ == 1) != sync) return 13;
    return 0;
}

VX_STATUS System::checkAsyncChannel(uint32_t channel, Need need) {
    return checkChannel(channel, false, need);
}

VX_STATUS System::query(uint32_t channel, bool sync, const OutPacket& request,
                        uint8_t answerOpcode, RawPacket* answer) {
    // An answer that came after its request timed out must not pass for
    // the answer to this one.
    if (sync) discardQueued();
    VX_STATUS status = sendPacket(request);
    if (status != 0 || !sync) return status;
    RawPacket received;
    status = waitForAnswer(&received, kAnswerWaitMs, true);
    if (status != 0) return status;
    if (received.address() != channels_[channel].moduleWord) return 14;
    if (received.opcode() == answerOpcode) {
        *answer = received;
        return 0;
    }
    if (received.opcode() == opcode::kError && received.u8(0) != 0) return received.u8(0);
    return 14;
}

VX_STATUS System::command(uint32_t channel, bool sync, const OutPacket& request) {
    if (sync) discardQueued();
    VX_STATUS status = sendPacket(request);
    if (status != 0 || !sync) return status;
    uint32_t code = 0;
    status = waitForAcknowledge(channel, &code, kAnswerWaitMs);
    return status != 0 ? status : code;
}

VX_STATUS System::getAngleLimit(uint32_t channel, bool sync, uint32_t* minAngle,
                                int32_t* minRevolution, uint32_t* maxAngle,
                                int32_t* maxRevolution) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kAngleLimit).u8(0x02).zeros(12),
                   opcode::kAngleLimit, &answer);
    if (status != 0 || !sync) return status;
    if (minAngle) *minAngle = answer.u32(1);
    if (minRevolution) *minRevolution = answer.i16(5);
    if (maxAngle) *maxAngle = answer.u32(7);
    if (maxRevolution) *maxRevolution = answer.i16(11);
    return 0;
}

VX_STATUS System::getChannelProperty(uint32_t channel, uint32_t key, bool sync, int32_t* value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kChannelProperty).u8(0x02).u32(key).zeros(4),
                   opcode::kChannelProperty, &answer);
    if (status != 0 || !sync) return status;
    if (value) *value = answer.i32(5);
    return 0;
}

VX_STATUS System::getClosedLoopMoveAcceleration(uint32_t channel, bool sync,
                                                uint32_t* acceleration) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kMoveAcceleration).u8(0x02).zeros(4),
                   opcode::kMoveAcceleration, &answer);
    if (status != 0 || !sync) return status;
    if (acceleration) *acceleration = answer.u32(1);
    return 0;
}

VX_STATUS System::getClosedLoopMoveSpeed(uint32_t channel, bool sync, uint32_t* speed) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kMoveSpeed).u8(0x02).zeros(4),
                   opcode::kMoveSpeed, &answer);
    if (status != 0 || !sync) return status;
    if (speed) *speed = answer.u32(1);
    return 0;
}

VX_STATUS System::getEndEffectorType(uint32_t channel, bool sync, uint32_t* type, int32_t* param1,
                                     int32_t* param2) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kEndEffectorType).u8(0x00).zeros(9),
                   opcode::kEndEffectorType, &answer);
    if (status != 0 || !sync) return status;
    if (type) *type = answer.u8(1);
    if (param1) *param1 = answer.i32(2);
    if (param2) *param2 = answer.i32(6);
    return 0;
}

VX_STATUS System::getPositionLimit(uint32_t channel, bool sync, int32_t* min, int32_t* max) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kPositionLimit).u8(0x02).zeros(8),
                   opcode::kPositionLimit, &answer);
    if (status != 0 || !sync) return status;
    if (min) *min = answer.i32(1);
    if (max) *max = answer.i32(5);
    return 0;
}

VX_STATUS System::getSafeDirection(uint32_t channel, bool sync, uint32_t* direction) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kSafeDirection).u8(0x02).u8(0),
                   opcode::kSafeDirection, &answer);
    if (status != 0 || !sync) return status;
    if (direction) *direction = answer.u8(1);
    return 0;
}

VX_STATUS System::getScale(uint32_t channel, bool sync, int32_t* shift, uint32_t* inverted) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kScale).u8(0x02).zeros(5),
                   opcode::kScale, &answer);
    if (status != 0 || !sync) return status;
    if (shift) *shift = answer.i32(1);
    if (inverted) *inverted = answer.u8(5);
    return 0;
}

VX_STATUS System::getSensorEnabled(bool sync, uint32_t* mode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(sync);
    if (status != 0) return status;
    uint32_t channel = 0;
    while (channel < channelCount_ && !isPositionerChannel(*this, channel)) ++channel;
    if (channel == channelCount_) return 19;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kSensorEnabled).u8(0xFF),
                   opcode::kSensorEnabled, &answer);
    if (status != 0 || !sync) return status;
    if (mode) *mode = answer.u8(0);
    return 0;
}

VX_STATUS System::sensorTypeLocked(uint32_t channel, bool sync, uint32_t* type) {
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kSensorType).u8(0x01).u8(0),
                   opcode::kSensorType, &answer);
    if (status != 0 || !sync) return status;
    if (type) *type = answer.u8(1);
    return 0;
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
    if (status == 0 && !sync) ++channels_[channel].pendingPositionerTypeQueries;
    return status;
}

VX_STATUS System::setAccumulateRelativePositions(uint32_t channel, uint32_t value, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    return command(channel, sync,
                   toChannel(channel, opcode::kFlags)
                       .u8(kAccumulateRelative)
                       .u8(value == 1 ? kAccumulateRelative : 0));
}

VX_STATUS System::setAngleLimit(uint32_t channel, uint32_t minAngle, int32_t minRevolution,
                                uint32_t maxAngle, int32_t maxRevolution, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (minAngle >= static_cast<uint32_t>(kFullTurn) || !inRange(minRevolution, -32768, 32767) ||
        maxAngle >= static_cast<uint32_t>(kFullTurn) || !inRange(maxRevolution, -32768, 32767))
        return 9;
    return command(channel, sync,
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
    if (status != 0) return status;
    return command(channel, sync,
                   toChannel(channel, opcode::kChannelProperty)
                       .u8(0x01)
                       .u32(key)
                       .u32(static_cast<uint32_t>(value)));
}

VX_STATUS System::setClosedLoopMaxFrequency(uint32_t channel, uint32_t frequency, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (!inRange(frequency, 50, 18500)) return 9;
    // Configuration parameter 2 holds the closed-loop frequency limit.
    return command(channel, sync,
                   toChannel(channel, opcode::kConfigParameter).u8(0x02).u32(frequency));
}

VX_STATUS System::setClosedLoopMoveAcceleration(uint32_t channel, uint32_t acceleration,
                                                bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (acceleration > 100000000) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kMoveAcceleration).u8(0x01).u32(acceleration));
}

VX_STATUS System::setClosedLoopMoveSpeed(uint32_t channel, uint32_t speed, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (speed > 100000000) return 9;
    return command(channel, sync, toChannel(channel, opcode::kMoveSpeed).u8(0x01).u32(speed));
}

VX_STATUS System::setEndEffectorType(uint32_t channel, uint32_t type, int32_t param1,
                                     uint32_t param2, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    if (type > 255) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kEndEffectorType)
                       .u8(0x01)
                       .u8(type)
                       .u32(static_cast<uint32_t>(param1))
                       .u32(param2));
}

VX_STATUS System::setPosition(uint32_t channel, int32_t position, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    return command(channel, sync,
                   toChannel(channel, opcode::kSetPosition).u32(static_cast<uint32_t>(position)));
}

VX_STATUS System::setPositionLimit(uint32_t channel, int32_t min, int32_t max, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    return command(channel, sync,
                   toChannel(channel, opcode::kPositionLimit)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(min))
                       .u32(static_cast<uint32_t>(max)));
}

VX_STATUS System::setReportOnComplete(uint32_t channel, uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != 0) return status;
    if (value > 1) return 9;
    return sendPacket(toChannel(channel, opcode::kFlags)
                          .u8(kReportOnComplete)
                          .u8(value == 1 ? kReportOnComplete : 0));
}

VX_STATUS System::setReportOnTriggered(uint32_t channel, uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != 0) return status;
    if (value > 1) return 9;
    return sendPacket(toChannel(channel, opcode::kFlags)
                          .u8(kReportOnTriggered)
                          .u8(value == 1 ? kReportOnTriggered : 0));
}

VX_STATUS System::setSafeDirection(uint32_t channel, uint32_t direction, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (direction > 1) return 9;
    return command(channel, sync, toChannel(channel, opcode::kSafeDirection).u8(0x01).u8(direction));
}

VX_STATUS System::setScale(uint32_t channel, int32_t shift, uint32_t inverted, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (inverted > 1) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kScale)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(shift))
                       .u8(inverted));
}

VX_STATUS System::setSensorEnabled(uint32_t mode, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(sync);
    if (status != 0) return status;
    if (mode > 2) return 9;
    for (uint32_t channel = 0; channel < channelCount_; ++channel) {
        if (!isPositionerChannel(*this, channel)) continue;
        status = command(channel, sync, toChannel(channel, opcode::kSetSensorEnabled).u8(mode));
        if (status != 0) return status;
    }
    return 0;
}

VX_STATUS System::setSensorType(uint32_t channel, uint32_t type, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (type > 255) return 9;
    return command(channel, sync, toChannel(channel, opcode::kSetSensorType).u8(type));
}

VX_STATUS System::setStepWhileScan(uint32_t channel, uint32_t value, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (value > 1) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kFlags)
                       .u8(kStepWhileScan)
                       .u8(value == 1 ? kStepWhileScan : 0));
}

VX_STATUS System::setZeroForce(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    return command(channel, sync, toChannel(channel, opcode::kForce).u8(0x02).zeros(8));
}

VX_STATUS System::appendTriggeredCommand(uint32_t channel, int32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::Positioner);
    if (status != 0) return status;
    return sendPacket(
        toChannel(channel, opcode::kTriggeredCommand).u8(0x01).u32(static_cast<uint32_t>(value)));
}

VX_STATUS System::clearTriggeredCommandQueue(uint32_t channel) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkAsyncChannel(channel, Need::AnyChannel);
    if (status != 0) return status;
    return sendPacket(toChannel(channel, opcode::kTriggeredCommand).u8(0x02).zeros(4));
}

VX_STATUS System::calibrateSensor(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    return command(channel, sync, toChannel(channel, opcode::kCalibrateOrReference).zeros(3));
}

VX_STATUS System::findReferenceMark(uint32_t channel, uint32_t direction, uint32_t holdTime,
                                    uint32_t autoZero, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (direction > 7 || autoZero > 1 || holdTime > kMaxHoldTime) return 9;
    uint8_t flags = static_cast<uint8_t>(0x10 | (direction & 1) | (autoZero << 1) |
                                         ((direction >> 1) & 1) << 2 | ((direction >> 2) & 1) << 3);
    return command(channel, sync,
                   toChannel(channel, opcode::kCalibrateOrReference).u8(flags).u16(holdTime));
}

VX_STATUS System::gotoAngle(uint32_t channel, int32_t angle, int32_t revolution, uint32_t holdTime,
                            uint8_t code, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (holdTime > kMaxHoldTime) return 9;
    if (code == opcode::kGotoAngleRelative) {
        if (!inRange(angle, -(kFullTurn - 1), kFullTurn - 1)) return 9;
    } else if (code == opcode::kGotoAngleAbsolute) {
        if (angle >= kFullTurn) return 9;
    } else {
        return 255;
    }
    if (!inRange(revolution, -32768, 32767)) return 9;
    return command(channel, sync,
                   toChannel(channel, code)
                       .u32(static_cast<uint32_t>(angle))
                       .u16(static_cast<uint32_t>(revolution))
                       .u16(holdTime));
}

VX_STATUS System::gotoGripperForceAbsolute(uint32_t channel, int32_t force, int32_t speed,
                                           uint32_t, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    if (!inRange(force, -100000, 100000) || !inRange(speed, 1, 225000)) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kForce)
                       .u8(0x01)
                       .u32(static_cast<uint32_t>(force))
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoGripperOpeningAbsolute(uint32_t channel, uint32_t opening, int32_t speed,
                                             bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    if (opening > 22500 || !inRange(speed, 1, 225000)) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kScanAbsolute)
                       .u16(opening)
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoGripperOpeningRelative(uint32_t channel, int32_t difference, int32_t speed,
                                             bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    if (!inRange(difference, -22500, 22500) || !inRange(speed, 1, 225000)) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kScanRelative)
                       .u16(static_cast<uint32_t>(difference))
                       .u32(static_cast<uint32_t>(speed)));
}

VX_STATUS System::gotoPosition(uint32_t channel, int32_t position, uint32_t holdTime,
                               bool relative, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (holdTime > kMaxHoldTime) return 9;
    return command(channel, sync,
                   toChannel(channel, relative ? opcode::kGotoPositionRelative
                                               : opcode::kGotoPositionAbsolute)
                       .u32(static_cast<uint32_t>(position))
                       .u16(holdTime));
}

VX_STATUS System::scanMoveAbsolute(uint32_t channel, uint32_t target, int32_t scanSpeed,
                                   bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    const uint32_t speed = static_cast<uint32_t>(scanSpeed);
    if (target > 4095 || speed < 1 || speed > 4095000000u) return 9;
    return command(channel, sync, toChannel(channel, opcode::kScanAbsolute).u16(target).u32(speed));
}

VX_STATUS System::scanMoveRelative(uint32_t channel, int32_t difference, int32_t scanSpeed,
                                   bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (!inRange(difference, -32768, 32767)) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kScanRelative)
                       .u16(static_cast<uint32_t>(difference))
                       .u32(static_cast<uint32_t>(scanSpeed)));
}

VX_STATUS System::stepMove(uint32_t channel, int32_t steps, uint32_t amplitude, uint32_t frequency,
                           bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (!inRange(steps, -30000, 30000) || amplitude > 4095 || !inRange(frequency, 1, 20000))
        return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kStepMove)
                       .u16(static_cast<uint32_t>(steps))
                       .u16(amplitude)
                       .u16(frequency));
}

VX_STATUS System::stop(uint32_t channel, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != 0) return status;
    return command(channel, sync, toChannel(channel, opcode::kStop));
}

VX_STATUS System::triggerCommand(uint32_t value) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkSystemCommand(false);
    if (status != 0) return status;
    if (value > 255) return 9;
    return sendPacket(OutPacket(address::kSystem, opcode::kTrigger).u8(value));
}

VX_STATUS System::getStatus(uint32_t channel, bool sync, uint32_t* status) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS result = checkChannel(channel, sync, Need::AnyChannel);
    if (result != 0) return result;
    RawPacket answer;
    result = query(channel, sync, toChannel(channel, opcode::kGetStatus), opcode::kStatus, &answer);
    if (result != 0 || !sync) return result;
    if (status) *status = answer.u8(0);
    return 0;
}

VX_STATUS System::getPosition(uint32_t channel, bool sync, int32_t* position) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kGetPosition), opcode::kPosition,
                   &answer);
    if (status != 0 || !sync) return status;
    if (position) *position = answer.i32(0);
    return 0;
}

VX_STATUS System::getAngle(uint32_t channel, bool sync, uint32_t* angle, int32_t* revolution) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kGetAngle), opcode::kAngle, &answer);
    if (status != 0 || !sync) return status;
    if (angle) *angle = answer.u32(0);
    if (revolution) *revolution = answer.i16(4);
    return 0;
}

VX_STATUS System::getCaptureBuffer(uint32_t channel, uint32_t bufferIndex, bool sync,
                                   VX_packet* record) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    if (bufferIndex > 255) return 9;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kCaptureBuffer).u8(bufferIndex).zeros(10),
                   opcode::kCaptureBuffer, &answer);
    if (status != 0 || !sync) return status;
    if (record) {
        VX_packet out{};
        out.packetType = VX_PACKET_CAPTURE_BUFFER;
        out.channelIndex = channel;
        out.data1 = bufferIndex;
        out.data4 = answer.u32(1);
        out.data2 = answer.i32(5);
        out.data3 = answer.i16(9);
        *record = out;
    }
    return 0;
}

VX_STATUS System::getForce(uint32_t channel, bool sync, int32_t* force) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kForce).u8(0x00).zeros(8),
                   opcode::kForce, &answer);
    if (status != 0 || !sync) return status;
    if (force) *force = answer.i32(1);
    return 0;
}

VX_STATUS System::getGripperOpening(uint32_t channel, bool sync, uint32_t* opening) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::EndEffector);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kGetAnalogValue), opcode::kAnalogValue,
                   &answer);
    if (status != 0 || !sync) return status;
    if (opening) *opening = answer.u16(0);
    return 0;
}

VX_STATUS System::getPhysicalPositionKnown(uint32_t channel, bool sync, uint32_t* known) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kPhysicalPositionKnown).u8(0),
                   opcode::kPhysicalPositionKnown, &answer);
    if (status != 0 || !sync) return status;
    if (known) *known = answer.u8(0);
    return 0;
}

VX_STATUS System::getVoltageLevel(uint32_t channel, bool sync, uint32_t* level) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannelCommand(channel, sync);
    if (status != 0) return status;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, opcode::kGetAnalogValue), opcode::kAnalogValue,
                   &answer);
    if (status != 0 || !sync) return status;
    if (level) *level = answer.u16(0);
    return 0;
}

VX_STATUS System::setHCMEnabled(uint32_t mode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    if (mode_ == 0) return 2;
    if (mode > 2) return 9;
    return sendPacket(OutPacket(address::kHandControl, opcode::kHcmEnabled).u8(mode));
}

VX_STATUS System::setDebuggingEnabled(uint32_t channel, uint32_t enabled, bool sync) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != 0) return status;
    if (enabled > 1) return 9;
    return command(channel, sync,
                   toChannel(channel, opcode::kFlags).u8(kDebugging).u8(enabled == 1 ? kDebugging : 0));
}

// Debug values, tuning and configuration parameters: one request shape each
// for reading and writing, an answer that carries the index first.
VX_STATUS System::readIndexedValue(uint32_t channel, uint32_t index, bool sync, uint32_t* value,
                                   uint8_t requestOpcode, uint8_t answerOpcode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != 0) return status;
    if (index > 255) return 9;
    RawPacket answer;
    status = query(channel, sync, toChannel(channel, requestOpcode).u8(index), answerOpcode,
                   &answer);
    if (status != 0 || !sync) return status;
    // An answer for another index is not the one asked for.
    if (answer.u8(0) != index) return 14;
    if (value) *value = answer.u32(1);
    return 0;
}

VX_STATUS System::writeIndexedValue(uint32_t channel, uint32_t index, int32_t value, bool sync,
                                    uint8_t opcode) {
    std::lock_guard<std::mutex> lock(commandMutex_);
    VX_STATUS status = checkChannel(channel, sync, Need::AnyChannel);
    if (status != 0) return status;
    if (index > 255) return 9;
    return command(channel, sync,
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
    if (status != 0) return status;
    return command(channel, sync, toChannel(channel, opcode::kCustomSensorType).u8(0).u8(0));
}

}  // namespace qmx
