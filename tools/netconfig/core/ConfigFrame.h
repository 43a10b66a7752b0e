#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The raw Ethernet frames that read and set a controller's Ethernet interface
// configuration: one 60-byte layout for requests and replies.
namespace netconfig {

using MacAddress = std::array<uint8_t, 6>;
using Ipv4Bytes = std::array<uint8_t, 4>;  // network order, first octet first

inline constexpr size_t FrameLength = 60;
using FrameBytes = std::array<uint8_t, FrameLength>;

inline constexpr uint16_t ConfigEtherType = 0x5554;  // "UT"
inline constexpr uint16_t RequestMarker = 0;
inline constexpr uint16_t ReplyMarker = 715;  // 0x02CB
inline constexpr uint16_t HeaderWord = 1;

inline constexpr MacAddress BroadcastMac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
// Every request goes out from this locally administered address, not the
// adapter's own.
inline constexpr MacAddress RequestSourceMac{0x02, 0x02, 0x02, 0x02, 0x02, 0x02};
inline constexpr std::array<uint8_t, 8> ZeroDigits{'0', '0', '0', '0', '0', '0', '0', '0'};

enum Opcode : uint16_t {
    OpDiscover = 2,
    OpGetConfiguration = 3,
    OpSetConfiguration = 4,
    OpResetConfiguration = 5,
    OpSaveConfiguration = 6,  // follows a set; not answered
    OpRestartInterface = 7,
};

inline constexpr uint16_t StatusFailure = 0xFFFE;
inline constexpr uint16_t StatusInvalidParameterBit = 0x2000;

// Result codes of the frame layer and the console; 0 is success.
enum Result : int {
    ResultOk = 0,
    ResultReadError = -1,
    ResultSendFailed = -2,
    ResultFailureStatus = -4,
    ResultNoReply = -5,
    ResultInvalidParameter = -6,
    ResultNotAReply = -8,
    ResultAdapterFailed = -9,
    // Standard input ended at a prompt that cannot go on without an answer.
    ResultInputEnded = -10,
};

// The payload every request but a set carries.
inline constexpr Ipv4Bytes DefaultIp{192, 168, 1, 200};
inline constexpr Ipv4Bytes DefaultGateway{192, 168, 1, 1};
inline constexpr Ipv4Bytes DefaultMask{255, 255, 0, 0};
inline constexpr uint16_t DefaultPort = 5000;

// Bytes 0-41 of a frame; 42-59 are always zero on the wire.
struct ConfigFrame {
    MacAddress destinationMac{};
    MacAddress sourceMac{};
    uint16_t etherType = 0;
    uint16_t marker = 0;
    uint16_t headerWord = 0;
    uint16_t code = 0;  // opcode of a request, status of a reply
    Ipv4Bytes ip{};
    Ipv4Bytes gateway{};
    Ipv4Bytes mask{};
    uint16_t port = 0;
    std::array<uint8_t, 8> zeroDigits{};
};

// A request to `destination` with the fixed fields and the default payload;
// the source MAC is left for sendFrame to write.
ConfigFrame makeRequest(uint16_t opcode, const MacAddress& destination);

void encodeFrame(const ConfigFrame& frame, FrameBytes& buffer);

// ResultOk, or ResultNotAReply (the record untouched) when the frame is
// shorter than 60 bytes on the wire or as captured, is not of the
// configuration EtherType, or carries the request marker.
int decodeFrame(ConfigFrame& frame, std::span<const uint8_t> captured, size_t wireLength);

// A decoded frame is taken as the awaited reply only with the reply marker.
inline bool isReply(const ConfigFrame& frame) { return frame.marker == ReplyMarker; }

// The result an accepted reply's status stands for.
int replyResult(uint16_t status);

}  // namespace netconfig
