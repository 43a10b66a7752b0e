#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "discovery/Address.h"

namespace veltraxnd {

using TokenBytes = std::array<uint8_t, 16>;

// Operation codes of the discovery protocol.
inline constexpr uint8_t OpGetConfiguration = 1;
inline constexpr uint8_t OpSetConfiguration = 2;
inline constexpr uint8_t OpResetConfiguration = 3;
inline constexpr uint8_t OpSetDeviceInfo = 4;
inline constexpr uint8_t OpDiscoverRequest = 33;
inline constexpr uint8_t OpResult = 129;
inline constexpr uint8_t OpConfiguration = 130;
inline constexpr uint8_t OpDiscoverReply = 161;
inline constexpr uint8_t OpDiscoverInform = 162;

inline constexpr size_t PacketHeaderSize = 96;
inline constexpr size_t MaxSerialNumberLength = 63;
inline constexpr size_t MaxInfoLength = 63;
inline constexpr uint32_t AnyDeviceType = 0xFFFFFFFF;

// One discovery datagram.
struct VX_ND_Packet {
    uint32_t Version = 1;
    uint8_t OpCode = 0;
    uint32_t DeviceType = 0;
    std::string SerialNumber;
    TokenBytes Token{};
    std::vector<uint8_t> Data;
};

enum class DecodeResult { Invalid = 0, Valid = 1, UnsupportedVersion = 2 };

enum class ResultCode : uint16_t {
    Success = 0,
    UnknownCommand = 1,
    InvalidParameter = 19,
    PermissionDenied = 31,
    ProtocolVersionNotSupported = 32,
    CommandNotProcessable = 37,
    FeatureNotSupported = 32765,
    FeatureNotImplemented = 32766,
    Other = 32767,
};

// The network configuration of a device (codes 1, 2 and 130).
struct DeviceConfig {
    IPv4Address IP{};
    IPv4Address SubnetMask{};
    IPv4Address Gateway{};
    bool DHCP = false;
    bool operator==(const DeviceConfig&) const = default;
};

// What a Discover Reply or Inform tells about the device (codes 161, 162).
struct DiscoverRecord {
    uint8_t ProtocolId = 0;
    bool Available = false;
    uint16_t Port = 0;
    std::string Info;
};

// Frames a packet: header, payload and zero padding to a multiple of 4.
// Throws InvalidArgumentException when the payload does not fit the
// 16-bit length field.
std::vector<uint8_t> encodePacket(const VX_ND_Packet& packet);

// Never throws on bad input: a malformed datagram is Invalid and leaves
// `packet` alone. `Data` is everything after the header, padding included.
DecodeResult decodePacket(const uint8_t* data, size_t size, VX_ND_Packet& packet);
inline DecodeResult decodePacket(const std::vector<uint8_t>& bytes, VX_ND_Packet& packet) {
    return decodePacket(bytes.data(), bytes.size(), packet);
}

// Each gives false when the code does not carry the record or `Data` is too
// short; the output is then left alone.
bool decodeConfiguration(const VX_ND_Packet& packet, DeviceConfig& config);
bool decodeDiscover(const VX_ND_Packet& packet, DiscoverRecord& record);
bool decodeResult(const VX_ND_Packet& packet, ResultCode& code);
bool decodeDeviceInfo(const VX_ND_Packet& packet, std::string& info);

// Payload builders; texts longer than 63 bytes are cut.
std::vector<uint8_t> encodeConfiguration(const DeviceConfig& config);
std::vector<uint8_t> encodeDiscover(const DiscoverRecord& record);
std::vector<uint8_t> encodeResult(ResultCode code);
std::vector<uint8_t> encodeDeviceInfo(const std::string& info);

VX_ND_Packet makeDiscoverRequest(uint32_t deviceType, const std::string& serialNumber,
                                 const TokenBytes& token);

const char* resultCodeName(uint16_t code);
const char* opCodeName(uint8_t code);

// One-line dumps for the diagnostics log.
std::string packetText(const VX_ND_Packet& packet);
std::string rawPacketText(const uint8_t* data, size_t size);
inline std::string rawPacketText(const std::vector<uint8_t>& bytes) {
    return rawPacketText(bytes.data(), bytes.size());
}

// A random version-4 UUID from two outputs of the generator.
TokenBytes generateToken(std::mt19937_64& engine);
// The UUID form 8-4-4-4-12 in upper-case hexadecimal.
std::string tokenText(const TokenBytes& token);

}  // namespace veltraxnd
