#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "QMXControl.h"
#include "common/StatusCodes.h"

namespace qmx {

// Binary packets of first-generation controllers: a 16-bit little-endian
// address, an opcode whose low nibble is the payload length, 0 to 15
// payload bytes. Nothing else frames them.
namespace address {
constexpr uint16_t kSystem = 0x0000;
constexpr uint16_t kHandControl = 0x0002;
constexpr uint16_t kInterface = 0x0008;
}  // namespace address

namespace opcode {
constexpr uint8_t kReadChannels = 0x10;
constexpr uint8_t kChannelCount = 0x11;
constexpr uint8_t kChannelEntry = 0x12;
constexpr uint8_t kIndexMap = 0x13;
constexpr uint8_t kTriggeredCommand = 0x15;
constexpr uint8_t kScale = 0x16;
constexpr uint8_t kSpeedLevelTable = 0x17;
constexpr uint8_t kFirmwareVersion = 0x18;
constexpr uint8_t kForce = 0x19;
constexpr uint8_t kEndEffectorType = 0x1A;
constexpr uint8_t kCaptureBuffer = 0x1B;
constexpr uint8_t kHcmConfigSlot = 0x1C;
constexpr uint8_t kAngleLimit = 0x1D;
constexpr uint8_t kHello = 0x20;
constexpr uint8_t kHcmEnabled = 0x21;
constexpr uint8_t kPositionLimit = 0x29;
constexpr uint8_t kHcmEepromType = 0x2B;
constexpr uint8_t kReset = 0x30;
constexpr uint8_t kFlags = 0x32;
constexpr uint8_t kChannelProperty = 0x39;
constexpr uint8_t kReadDebugValue = 0x41;
constexpr uint8_t kCustomSensorType = 0x42;
constexpr uint8_t kDebugValue = 0x45;
constexpr uint8_t kReadTuningParameter = 0x51;
constexpr uint8_t kTuningParameter = 0x55;
constexpr uint8_t kSetSensorType = 0x61;
constexpr uint8_t kMoveSpeed = 0x65;
constexpr uint8_t kGetAngle = 0x70;
constexpr uint8_t kPhysicalPositionKnown = 0x71;
constexpr uint8_t kSensorType = 0x72;
constexpr uint8_t kMoveAcceleration = 0x75;
constexpr uint8_t kAngle = 0x76;
constexpr uint8_t kStop = 0x80;
constexpr uint8_t kStatus = 0x81;
constexpr uint8_t kCalibrateOrReference = 0x83;
constexpr uint8_t kStepMove = 0x86;
constexpr uint8_t kGotoAngleAbsolute = 0x88;
constexpr uint8_t kGetPosition = 0x90;
constexpr uint8_t kSetSensorEnabled = 0x91;
constexpr uint8_t kAnalogValue = 0x92;
constexpr uint8_t kFeature = 0x93;
constexpr uint8_t kScanAbsolute = 0x96;
constexpr uint8_t kGotoAngleRelative = 0x98;
constexpr uint8_t kGetStatus = 0xA0;
constexpr uint8_t kSensorEnabled = 0xA1;
constexpr uint8_t kPosition = 0xA4;
constexpr uint8_t kScanRelative = 0xA6;
constexpr uint8_t kTrigger = 0xB1;
constexpr uint8_t kSafeDirection = 0xB2;
constexpr uint8_t kSetPosition = 0xB4;
constexpr uint8_t kGotoPositionAbsolute = 0xB6;
constexpr uint8_t kGetAnalogValue = 0xC0;
constexpr uint8_t kGotoPositionRelative = 0xC6;
constexpr uint8_t kReportD0 = 0xD0;
constexpr uint8_t kReadConfigParameter = 0xD1;
constexpr uint8_t kConfigParameter = 0xD5;
constexpr uint8_t kMovementCompleted = 0xE0;
constexpr uint8_t kAcknowledge = 0xF0;
constexpr uint8_t kError = 0xF1;
}  // namespace opcode

// Module classes: the top nibble of a channel's module word.
constexpr uint16_t kClassMask = 0xF000;
constexpr uint16_t kEndEffectorClass = 0x9000;
// The positioner class whose analog value (0x92) is a voltage level.
constexpr uint16_t kVoltageLevelClass = 0x2000;

constexpr size_t kMaxPacketLength = 18;
constexpr size_t kRawPacketSize = 20;

inline size_t packetLength(uint8_t opcode) { return static_cast<size_t>(opcode & 0x0F) + 3; }

// One received packet as the queue keeps it; bytes behind a short packet
// are zero.
struct RawPacket {
    std::array<uint8_t, kRawPacketSize> bytes{};

    uint16_t address() const { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }
    uint8_t opcode() const { return bytes[2]; }
    size_t length() const { return packetLength(bytes[2]); }
    const uint8_t* payload() const { return bytes.data() + 3; }

    // Payload readers, little-endian; 16-bit signed values are sign-extended.
    uint8_t u8(size_t at) const { return payload()[at]; }
    uint16_t u16(size_t at) const;
    int32_t i16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(size_t at) const;
    int32_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }

    // The code of an error answer, or VX_OK for any other packet. An error
    // answer with code 0 gives VX_OK too: callers must not take it for success.
    VX_STATUS errorCode() const {
        if (opcode() != qmx::opcode::kError) return VX_OK;
        return u8(0);
    }
};

// How one field of an answer's payload is read and which slot of the API
// record it fills. Signed widths are sign-extended to 32 bits.
enum class Width : uint8_t { None, U8, U16, I16, U32, I32 };
enum class Slot : uint8_t { Data1, Data2, Data3, Data4 };

struct FieldLayout {
    Width width = Width::None;
    uint8_t at = 0;
    Slot slot = Slot::Data1;
};

constexpr size_t kMaxAnswerFields = 4;

// The one description of an answer: its opcode (whose low nibble is the
// payload length), the API packet type it becomes and its fields.
struct AnswerLayout {
    uint8_t opcode;
    uint32_t type;
    FieldLayout fields[kMaxAnswerFields];
};

// The layout of answers with `opcode`, or null for an opcode without one.
const AnswerLayout* answerLayout(uint8_t opcode);

// The fields of `raw` as its opcode's layout places them in an API record;
// the rest of the record is zero.
VX_packet answerFields(const RawPacket& raw);

// A request under construction; the payload must end up exactly as long as
// the opcode says.
class OutPacket {
public:
    OutPacket(uint16_t address, uint8_t opcode);

    OutPacket& u8(uint32_t value);
    OutPacket& u16(uint32_t value);
    OutPacket& u32(uint32_t value);
    OutPacket& zeros(size_t count);
    OutPacket& bytes(const uint8_t* data, size_t count);

    const uint8_t* data() const { return bytes_.data(); }
    uint16_t address() const { return static_cast<uint16_t>(bytes_[0] | (bytes_[1] << 8)); }
    size_t length() const { return packetLength(bytes_[2]); }
    // True when the payload written so far matches the opcode's length.
    bool complete() const { return fill_ == length(); }

private:
    std::array<uint8_t, kMaxPacketLength> bytes_{};
    size_t fill_ = 3;
};

// Turns a received answer into the API packet record; `channelIndex` is the
// index of the channel whose module word is the packet's address. Fails with
// VX_INTERNAL_ERROR (and writes nothing) for a 0x92 answer from a module that is
// neither a positioner nor an end effector.
VX_STATUS decodeAnswer(const RawPacket& raw, uint32_t channelIndex, VX_packet* out);

// Reassembles packets from a byte stream cut at arbitrary places. Lives on
// the receive thread alone.
class PacketAssembler {
public:
    // Feeds bytes; calls `complete(const RawPacket&)` for every packet that
    // is whole.
    template <typename Complete>
    void feed(const uint8_t* data, size_t length, Complete&& complete) {
        while (length > 0) {
            size_t need = fill_ < 3 ? 3 - fill_ : packetLength(current_.bytes[2]) - fill_;
            size_t take = need < length ? need : length;
            for (size_t i = 0; i < take; ++i) current_.bytes[fill_ + i] = data[i];
            fill_ += take;
            data += take;
            length -= take;
            if (fill_ >= 3 && fill_ == packetLength(current_.bytes[2])) {
                complete(static_cast<const RawPacket&>(current_));
                current_ = RawPacket{};
                fill_ = 0;
            }
        }
    }

    size_t pending() const { return fill_; }
    // The first pending() bytes of the packet not yet whole.
    const uint8_t* partial() const { return current_.bytes.data(); }

    // Forgets the bytes of a packet not yet whole.
    void discardPartial() {
        current_ = RawPacket{};
        fill_ = 0;
    }

private:
    RawPacket current_;
    size_t fill_ = 0;
};

}  // namespace qmx
