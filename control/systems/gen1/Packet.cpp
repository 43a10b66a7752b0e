#include "systems/gen1/Packet.h"

#include <iterator>

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

constexpr FieldLayout u8(uint8_t at, Slot slot) { return {Width::U8, at, slot}; }
constexpr FieldLayout u16(uint8_t at, Slot slot) { return {Width::U16, at, slot}; }
constexpr FieldLayout i16(uint8_t at, Slot slot) { return {Width::I16, at, slot}; }
constexpr FieldLayout u32(uint8_t at, Slot slot) { return {Width::U32, at, slot}; }
constexpr FieldLayout i32(uint8_t at, Slot slot) { return {Width::I32, at, slot}; }

constexpr Slot d1 = Slot::Data1;
constexpr Slot d2 = Slot::Data2;
constexpr Slot d3 = Slot::Data3;
constexpr Slot d4 = Slot::Data4;

// 0x92 is listed as a voltage level: a gripper's answer becomes its opening
// by the sending module's class.
constexpr AnswerLayout kAnswerLayouts[] = {
    {opcode::kError, VX_PACKET_ERROR, {u8(0, d1)}},
    {opcode::kPosition, VX_PACKET_POSITION, {i32(0, d2)}},
    {opcode::kMovementCompleted, VX_PACKET_MOVEMENT_COMPLETED, {}},
    {opcode::kStatus, VX_PACKET_STATUS, {u8(0, d1)}},
    {opcode::kAngle, VX_PACKET_ANGLE, {u32(0, d1), i16(4, d2)}},
    {opcode::kAnalogValue, VX_PACKET_VOLTAGE_LEVEL, {u16(0, d1)}},
    {opcode::kSensorType, VX_PACKET_SENSOR_TYPE, {u8(1, d1)}},
    {opcode::kSensorEnabled, VX_PACKET_SENSOR_ENABLED, {u8(0, d1)}},
    {opcode::kEndEffectorType, VX_PACKET_END_EFFECTOR_TYPE, {u8(1, d1), i32(2, d2), i32(6, d3)}},
    {opcode::kForce, VX_PACKET_FORCE, {i32(1, d2)}},
    {opcode::kMoveSpeed, VX_PACKET_CLOSED_LOOP_MOVE_SPEED, {u32(1, d1)}},
    {opcode::kPhysicalPositionKnown, VX_PACKET_PHYSICAL_POSITION_KNOWN, {u8(0, d1)}},
    {opcode::kPositionLimit, VX_PACKET_POSITION_LIMIT, {i32(1, d2), i32(5, d3)}},
    {opcode::kAngleLimit, VX_PACKET_ANGLE_LIMIT, {u32(1, d1), i16(5, d2), u32(7, d4), i16(11, d3)}},
    {opcode::kSafeDirection, VX_PACKET_SAFE_DIRECTION, {u8(1, d1)}},
    {opcode::kScale, VX_PACKET_SCALE, {i32(1, d2), u8(5, d1)}},
    {opcode::kMoveAcceleration, VX_PACKET_CLOSED_LOOP_MOVE_ACCELERATION, {u32(1, d1)}},
    {opcode::kChannelProperty, VX_PACKET_CHANNEL_PROPERTY, {u32(1, d1), i32(5, d2)}},
    {opcode::kCaptureBuffer, VX_PACKET_CAPTURE_BUFFER, {u8(0, d1), u32(1, d4), i32(5, d2), i16(9, d3)}},
    {opcode::kReportD0, VX_PACKET_REPORT_D0, {}},
    {opcode::kDebugValue, VX_PACKET_DEBUG_VALUE, {u8(0, d1), i32(1, d2)}},
    {opcode::kTuningParameter, VX_PACKET_PARAMETER, {u8(0, d1), i32(1, d2)}},
    {opcode::kConfigParameter, VX_PACKET_PARAMETER, {u8(0, d1), i32(1, d2)}},
};

// Bytes of each Width, in the enumeration's order.
constexpr size_t kWidthBytes[] = {0, 1, 2, 2, 4, 4};

static_assert(std::size(kWidthBytes) == static_cast<size_t>(Width::I32) + 1);

constexpr size_t widthBytes(Width width) { return kWidthBytes[static_cast<size_t>(width)]; }

// Every field lies inside the payload its opcode announces, and no opcode
// has two layouts.
constexpr bool layoutsConsistent() {
    for (size_t i = 0; i < std::size(kAnswerLayouts); ++i) {
        const AnswerLayout& layout = kAnswerLayouts[i];
        for (const FieldLayout& field : layout.fields)
            if (field.at + widthBytes(field.width) > (layout.opcode & 0x0F)) return false;
        for (size_t j = 0; j < i; ++j)
            if (kAnswerLayouts[j].opcode == layout.opcode) return false;
    }
    return true;
}
static_assert(layoutsConsistent(), "an answer layout reads past its payload or repeats an opcode");

uint32_t readField(const RawPacket& raw, const FieldLayout& field) {
    switch (field.width) {
    case Width::U8:
        return raw.u8(field.at);
    case Width::U16:
        return raw.u16(field.at);
    case Width::I16:
        return static_cast<uint32_t>(raw.i16(field.at));
    case Width::U32:
        return raw.u32(field.at);
    case Width::I32:
        return static_cast<uint32_t>(raw.i32(field.at));
    default:
        return 0;
    }
}

void writeSlot(VX_packet* out, Slot slot, uint32_t value) {
    switch (slot) {
    case Slot::Data1:
        out->data1 = value;
        break;
    case Slot::Data2:
        out->data2 = static_cast<int32_t>(value);
        break;
    case Slot::Data3:
        out->data3 = static_cast<int32_t>(value);
        break;
    case Slot::Data4:
        out->data4 = value;
        break;
    }
}

void readFields(const RawPacket& raw, const AnswerLayout& layout, VX_packet* out) {
    for (const FieldLayout& field : layout.fields)
        if (field.width != Width::None) writeSlot(out, field.slot, readField(raw, field));
}

}  // namespace

const AnswerLayout* answerLayout(uint8_t code) {
    for (const AnswerLayout& layout : kAnswerLayouts)
        if (layout.opcode == code) return &layout;
    return nullptr;
}

VX_packet answerFields(const RawPacket& raw) {
    VX_packet out{};
    if (const AnswerLayout* layout = answerLayout(raw.opcode())) readFields(raw, *layout, &out);
    return out;
}

VX_STATUS decodeAnswer(const RawPacket& raw, uint32_t channelIndex, VX_packet* out) {
    const AnswerLayout* layout = answerLayout(raw.opcode());
    uint32_t type = VX_PACKET_OTHER;
    if (layout) type = layout->type;
    if (raw.opcode() == opcode::kAnalogValue) {
        const uint16_t cls = raw.address() & kClassMask;
        if (cls == kEndEffectorClass)
            type = VX_PACKET_GRIPPER_OPENING;
        else if (cls != kVoltageLevelClass)
            return VX_INTERNAL_ERROR;
    }
    out->packetType = type;
    out->channelIndex = channelIndex;
    if (layout) readFields(raw, *layout, out);
    return VX_OK;
}

}  // namespace qmx
