#pragma once

// The device's side of the discovery datagram: what a networked controller
// reads from the host and writes back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxsim::discovery {

inline constexpr uint8_t OpGetConfiguration = 1;
inline constexpr uint8_t OpSetConfiguration = 2;
inline constexpr uint8_t OpResetConfiguration = 3;
inline constexpr uint8_t OpSetDeviceInfo = 4;
inline constexpr uint8_t OpDiscoverRequest = 33;
inline constexpr uint8_t OpResult = 129;
inline constexpr uint8_t OpConfiguration = 130;
inline constexpr uint8_t OpDiscoverReply = 161;
inline constexpr uint8_t OpDiscoverInform = 162;

inline constexpr uint16_t ResultSuccess = 0;
inline constexpr uint16_t ResultInvalidParameter = 19;

struct Datagram {
    uint8_t opCode = 0;
    uint32_t version = 1;
    uint32_t deviceType = 0;
    std::string serialNumber;
    std::array<uint8_t, 16> token{};
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> encode(const Datagram& datagram);
// False for anything that is not a well-formed datagram.
bool decode(const uint8_t* data, size_t size, Datagram& datagram);

// Payload of a Discover Reply or Inform.
std::vector<uint8_t> discoverPayload(uint8_t protocolId, bool available, uint16_t port, const std::string& info);

}  // namespace vxsim::discovery
