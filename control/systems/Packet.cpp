#include "systems/Packet.h"

namespace qmx {

uint16_t RawPacket::u16(size_t at) const {
    const uint8_t* p = payload() + at;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t RawPacket::u32(size_t at) const {
    const uint8_t* p = payload() + at;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

OutPacket::OutPacket(uint16_t address, uint8_t opcode) {
    bytes_[0] = static_cast<uint8_t>(address & 0xFF);
    bytes_[1] = static_cast<uint8_t>(address >> 8);
    bytes_[2] = opcode;
}

OutPacket& OutPacket::u8(uint32_t value) {
    if (fill_ < bytes_.size()) bytes_[fill_++] = static_cast<uint8_t>(value & 0xFF);
    return *this;
}

OutPacket& OutPacket::u16(uint32_t value) { return u8(value).u8(value >> 8); }

OutPacket& OutPacket::u32(uint32_t value) { return u16(value).u16(value >> 16); }

OutPacket& OutPacket::zeros(size_t count) {
    for (size_t i = 0; i < count; ++i) u8(0);
    return *this;
}

OutPacket& OutPacket::bytes(const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) u8(data[i]);
    return *this;
}

namespace {

struct AnswerKind {
    uint8_t opcode;
    uint32_t type;
};

// 0x92 is absent: its type follows the sending module's class.
constexpr AnswerKind kAnswerKinds[] = {
    {opcode::kError, VX_PACKET_ERROR},
    {opcode::kPosition, VX_PACKET_POSITION},
    {opcode::kMovementCompleted, VX_PACKET_MOVEMENT_COMPLETED},
    {opcode::kStatus, VX_PACKET_STATUS},
    {opcode::kAngle, VX_PACKET_ANGLE},
    {opcode::kSensorType, VX_PACKET_SENSOR_TYPE},
    {opcode::kSensorEnabled, VX_PACKET_SENSOR_ENABLED},
    {opcode::kEndEffectorType, VX_PACKET_END_EFFECTOR_TYPE},
    {opcode::kForce, VX_PACKET_FORCE},
    {opcode::kMoveSpeed, VX_PACKET_CLOSED_LOOP_MOVE_SPEED},
    {opcode::kPhysicalPositionKnown, VX_PACKET_PHYSICAL_POSITION_KNOWN},
    {opcode::kPositionLimit, VX_PACKET_POSITION_LIMIT},
    {opcode::kAngleLimit, VX_PACKET_ANGLE_LIMIT},
    {opcode::kSafeDirection, VX_PACKET_SAFE_DIRECTION},
    {opcode::kScale, VX_PACKET_SCALE},
    {opcode::kMoveAcceleration, VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION},
    {opcode::kChannelProperty, VX_PACKET_CHANNEL_PROPERTY},
    {opcode::kCaptureBuffer, VX_PACKET_CAPTURE_BUFFER},
    {opcode::kReportD0, VX_PACKET_REPORT_D0},
    {opcode::kDebugValue, VX_PACKET_DEBUG_VALUE},
    {opcode::kTuningParameter, VX_PACKET_PARAMETER},
    {opcode::kConfigParameter, VX_PACKET_PARAMETER},
};

}  // namespace

VX_STATUS decodeAnswer(const RawPacket& raw, uint32_t channelIndex, VX_packet* out) {
    uint32_t type = VX_PACKET_OTHER;
    if (raw.opcode() == opcode::kAnalogValue) {
        uint16_t cls = raw.address() & kClassMask;
        if (cls == 0x2000)
            type = VX_PACKET_VOLTAGE_LEVEL;
        else if (cls == kEndEffectorClass)
            type = VX_PACKET_GRIPPER_OPENING;
        else
            return kInternalError;
    } else {
        for (const auto& kind : kAnswerKinds)
            if (kind.opcode == raw.opcode()) type = kind.type;
    }

    out->packetType = type;
    out->channelIndex = channelIndex;
    switch (type) {
    case VX_PACKET_ERROR:
    case VX_PACKET_STATUS:
    case VX_PACKET_SENSOR_ENABLED:
    case VX_PACKET_PHYSICAL_POSITION_KNOWN:
        out->data1 = raw.u8(0);
        break;
    case VX_PACKET_POSITION:
        out->data2 = raw.i32(0);
        break;
    case VX_PACKET_ANGLE:
        out->data1 = raw.u32(0);
        out->data2 = raw.i16(4);
        break;
    case VX_PACKET_VOLTAGE_LEVEL:
    case VX_PACKET_GRIPPER_OPENING:
        out->data1 = raw.u16(0);
        break;
    case VX_PACKET_SENSOR_TYPE:
    case VX_PACKET_SAFE_DIRECTION:
        out->data1 = raw.u8(1);
        break;
    case VX_PACKET_END_EFFECTOR_TYPE:
        out->data1 = raw.u8(1);
        out->data2 = raw.i32(2);
        out->data3 = raw.i32(6);
        break;
    case VX_PACKET_FORCE:
        out->data2 = raw.i32(1);
        break;
    case VX_PACKET_CLOSED_LOOP_MOVE_SPEED:
    case VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION:
        out->data1 = raw.u32(1);
        break;
    case VX_PACKET_POSITION_LIMIT:
        out->data2 = raw.i32(1);
        out->data3 = raw.i32(5);
        break;
    case VX_PACKET_ANGLE_LIMIT:
        out->data1 = raw.u32(1);
        out->data2 = raw.i16(5);
        out->data4 = raw.u32(7);
        out->data3 = raw.i16(11);
        break;
    case VX_PACKET_SCALE:
        out->data2 = raw.i32(1);
        out->data1 = raw.u8(5);
        break;
    case VX_PACKET_CHANNEL_PROPERTY:
        out->data1 = raw.u32(1);
        out->data2 = raw.i32(5);
        break;
    case VX_PACKET_CAPTURE_BUFFER:
        out->data1 = raw.u8(0);
        out->data4 = raw.u32(1);
        out->data2 = raw.i32(5);
        out->data3 = raw.i16(9);
        break;
    case VX_PACKET_DEBUG_VALUE:
    case VX_PACKET_PARAMETER:
        out->data1 = raw.u8(0);
        out->data2 = raw.i32(1);
        break;
    default:
        break;
    }
    return kOk;
}

}  // namespace qmx
