#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxsim {

using Bytes = std::vector<uint8_t>;

// The second-generation frame as the controller sees it, written apart from
// the library's own code so that each checks the other: start byte, 16-bit
// little-endian length of what follows, type, payload, zero padding to a
// whole number of 32-bit words less one, CRC-32 of all before it.
namespace gen2 {

inline constexpr uint8_t kCommandStart = 0xA0;
inline constexpr uint8_t kSystemStart = 0xA4;
inline constexpr size_t kMaxLength = 253;
inline constexpr uint32_t kHandshakeMagic = 0x56654C74;

// Command frame types (start byte 0xA0).
namespace command {
inline constexpr uint8_t kReadProperty = 0x01;
inline constexpr uint8_t kWriteProperty = 0x02;
inline constexpr uint8_t kWritePropertyArray = 0x03;
inline constexpr uint8_t kStop = 0x10;
inline constexpr uint8_t kCalibrate = 0x11;
inline constexpr uint8_t kReference = 0x12;
inline constexpr uint8_t kMove = 0x13;
inline constexpr uint8_t kOpenCommandGroup = 0x20;
inline constexpr uint8_t kCloseCommandGroup = 0x21;
inline constexpr uint8_t kCancelCommandGroup = 0x22;
inline constexpr uint8_t kVersionRequest = 0x30;
inline constexpr uint8_t kOpenStream = 0x72;
inline constexpr uint8_t kStreamFrame = 0x73;
inline constexpr uint8_t kCloseStream = 0x74;
inline constexpr uint8_t kAbortStream = 0x75;
inline constexpr uint8_t kCompletion = 0x81;
inline constexpr uint8_t kPropertyValue = 0x82;
inline constexpr uint8_t kPropertyArray = 0x83;
inline constexpr uint8_t kEvent = 0x88;
inline constexpr uint8_t kStreamFlowStatus = 0x89;
inline constexpr uint8_t kVersionReply = 0x8A;
}  // namespace command

// System frame types (start byte 0xA4).
namespace sysframe {
inline constexpr uint8_t kHandshake = 0x00;
inline constexpr uint8_t kInfoRequest = 0x05;
inline constexpr uint8_t kDeviceReset = 0x09;
inline constexpr uint8_t kHandshakeReply = 0x80;
inline constexpr uint8_t kInfoReply = 0x85;
inline constexpr uint8_t kReadyWithStatus = 0xF0;
inline constexpr uint8_t kReady = 0xF1;
}  // namespace sysframe

// Value types on the wire.
namespace datatype {
inline constexpr uint8_t kInt32 = 0x06;
inline constexpr uint8_t kInt64 = 0x0E;
inline constexpr uint8_t kString = 0x12;
}  // namespace datatype

// The ordinary byte-wise CRC-32 of zlib.
uint32_t crc32(const uint8_t* data, size_t size);

// Zero bytes that follow `typeAndPayload` bytes before the CRC.
size_t paddingAfter(size_t typeAndPayload);

// A whole frame with padding and CRC.
Bytes encodeFrame(uint8_t start, uint8_t type, const Bytes& payload);

// Little-endian field writer for payloads.
class Fields {
public:
    Fields& u8(uint64_t v);
    Fields& u16(uint64_t v);
    Fields& u32(uint64_t v);
    Fields& u64(uint64_t v);
    Fields& text(const std::string& characters);  // with its zero byte
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// One frame the host sent, whole and with a good CRC: its payload ends
// before the padding only once the type's parser has found where it ends.
struct Frame {
    uint8_t start = 0;
    uint8_t type = 0;
    Bytes body;   // type's payload and padding, without the CRC
    Bytes bytes;  // the frame as received
};

// Something the host sent that is no frame, and why.
struct Rejected {
    Bytes bytes;
    std::string reason;
};

// Cuts the host's byte stream into frames, strictly: an unknown start byte,
// an impossible length or a bad CRC is rejected and the stream resumes at
// the next start byte. Zero bytes where a frame would start are skipped
// without a rejection.
class FrameParser {
public:
    struct Item {
        std::optional<Frame> frame;
        std::optional<Rejected> rejected;
    };

    std::vector<Item> feed(const uint8_t* data, size_t size);

private:
    Bytes pending_;
};

}  // namespace gen2
}  // namespace vxsim
