#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "sim/EthernetController.h"

// The 60-byte configuration frames as a controller reads and writes them.
namespace vxsim::ethernet {

inline constexpr size_t FrameLength = 60;
using Frame = std::array<uint8_t, FrameLength>;

inline constexpr uint16_t ConfigEtherType = 0x5554;
inline constexpr uint16_t OtherEtherType = 0x5555;
inline constexpr uint16_t ReplyMarker = 0x02CB;
inline constexpr uint16_t ForeignMarker = 0x02CC;
inline constexpr uint16_t StatusSuccess = 0;
inline constexpr MacAddress BroadcastMac{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

struct Request {
    MacAddress destination{};
    MacAddress source{};
    uint16_t opcode = 0;
    EthernetConfig payload;
};

// A request frame (configuration EtherType, marker 0, at least 60 bytes).
std::optional<Request> decodeRequest(const uint8_t* bytes, size_t length);

Frame encodeReply(const MacAddress& to, const MacAddress& from, uint16_t status, const EthernetConfig& config);

// A frame that no host may take for a reply: another EtherType, or the
// configuration EtherType with a marker that is not the reply marker.
Frame encodeForeign(const MacAddress& to, const MacAddress& from, bool otherEtherType);

}  // namespace vxsim::ethernet
