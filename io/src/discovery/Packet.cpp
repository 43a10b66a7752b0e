#include "discovery/Packet.h"

#include <algorithm>
#include <cstdio>

#include "discovery/Exceptions.h"

namespace veltraxnd {

namespace {

constexpr uint8_t StartByte = 0xC2;
constexpr uint32_t Magic = 0x564E4450;  // "VNDP"
constexpr size_t SerialFieldSize = 64;
constexpr size_t ConfigurationSize = 13;
constexpr size_t DiscoverFixedSize = 5;

struct NamedCode {
    unsigned code;
    const char* name;
};

constexpr NamedCode opCodeNames[] = {
    {OpGetConfiguration, "Get Configuration"},
    {OpSetConfiguration, "Set Configuration"},
    {OpResetConfiguration, "Reset Configuration"},
    {OpSetDeviceInfo, "Set Device Info"},
    {OpDiscoverRequest, "Discover Request"},
    {OpResult, "Result"},
    {OpConfiguration, "Configuration"},
    {OpDiscoverReply, "Discover Reply"},
    {OpDiscoverInform, "Discover Inform"},
};

constexpr NamedCode resultCodeNames[] = {
    {0, "Success"},
    {1, "UnknownCommand"},
    {19, "InvalidParameter"},
    {31, "PermissionDenied"},
    {32, "ProtocolVersionNotSupported"},
    {37, "CommandNotProcessable"},
    {32765, "FeatureNotSupported"},
    {32766, "FeatureNotImplemented"},
    {32767, "Other"},
};

template <size_t N>
const char* lookupName(const NamedCode (&table)[N], unsigned code) {
    for (const auto& entry : table)
        if (entry.code == code) return entry.name;
    return "Unknown";
}

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t getU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Text of `length` bytes, ending early at a zero byte as a C string would.
std::string cText(const uint8_t* p, size_t length) {
    size_t n = 0;
    while (n < length && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

IPv4Address getAddress(const uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }

// A length-prefixed text with its terminating byte: L, L bytes, one more.
std::vector<uint8_t> lengthPrefixedText(const std::string& text) {
    const size_t length = std::min(text.size(), MaxInfoLength);
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    out.push_back(0);
    return out;
}

std::string hexByte(uint8_t b, bool upper) {
    char text[3];
    std::snprintf(text, sizeof text, upper ? "%02X" : "%02x", b);
    return text;
}

}  // namespace

std::vector<uint8_t> encodePacket(const VX_ND_Packet& packet) {
    const size_t total = (PacketHeaderSize + packet.Data.size() + 3) / 4 * 4;
    if (total - 3 > 0xFFFF) throw InvalidArgumentException("Packet data too long");

    std::vector<uint8_t> out;
    out.reserve(total);
    out.push_back(StartByte);
    putU16(out, static_cast<uint16_t>(total - 3));
    out.push_back(packet.OpCode);
    putU32(out, Magic);
    putU32(out, packet.Version);
    putU32(out, packet.DeviceType);
    const size_t serialLength = std::min(packet.SerialNumber.size(), MaxSerialNumberLength);
    out.insert(out.end(), packet.SerialNumber.begin(),
               packet.SerialNumber.begin() + static_cast<std::ptrdiff_t>(serialLength));
    out.resize(out.size() + SerialFieldSize - serialLength, 0);
    out.insert(out.end(), packet.Token.begin(), packet.Token.end());
    out.insert(out.end(), packet.Data.begin(), packet.Data.end());
    out.resize(total, 0);
    return out;
}

DecodeResult decodePacket(const uint8_t* data, size_t size, VX_ND_Packet& packet) {
    if (size < PacketHeaderSize || size % 4 != 0) return DecodeResult::Invalid;
    if (data[0] != StartByte) return DecodeResult::Invalid;
    if (getU16(data + 1) != size - 3) return DecodeResult::Invalid;
    if (getU32(data + 4) != Magic) return DecodeResult::Invalid;

    packet.OpCode = data[3];
    packet.Version = getU32(data + 8);
    packet.DeviceType = getU32(data + 12);
    packet.SerialNumber = cText(data + 16, MaxSerialNumberLength);
    std::copy(data + 80, data + 96, packet.Token.begin());
    packet.Data.assign(data + PacketHeaderSize, data + size);
    return packet.Version <= 1 ? DecodeResult::Valid : DecodeResult::UnsupportedVersion;
}

bool decodeConfiguration(const VX_ND_Packet& packet, DeviceConfig& config) {
    if (packet.OpCode != OpGetConfiguration && packet.OpCode != OpSetConfiguration &&
        packet.OpCode != OpConfiguration)
        return false;
    if (packet.Data.size() < ConfigurationSize) return false;
    const uint8_t* d = packet.Data.data();
    config.DHCP = d[0] != 0;
    config.IP = getAddress(d + 1);
    config.Gateway = getAddress(d + 5);
    config.SubnetMask = getAddress(d + 9);
    return true;
}

bool decodeDiscover(const VX_ND_Packet& packet, DiscoverRecord& record) {
    if (packet.OpCode != OpDiscoverReply && packet.OpCode != OpDiscoverInform) return false;
    const auto& d = packet.Data;
    if (d.size() < DiscoverFixedSize + 1) return false;
    const size_t length = d[4];
    if (length > MaxInfoLength || d.size() < DiscoverFixedSize + length + 1) return false;
    record.ProtocolId = d[0];
    record.Available = d[1] != 0;
    record.Port = getU16(&d[2]);
    record.Info = cText(&d[DiscoverFixedSize], length);
    return true;
}

bool decodeResult(const VX_ND_Packet& packet, ResultCode& code) {
    if (packet.OpCode != OpResult || packet.Data.size() < 2) return false;
    code = static_cast<ResultCode>(getU16(packet.Data.data()));
    return true;
}

bool decodeDeviceInfo(const VX_ND_Packet& packet, std::string& info) {
    if (packet.OpCode != OpSetDeviceInfo || packet.Data.size() < 2) return false;
    const size_t length = packet.Data[0];
    if (length > MaxInfoLength || packet.Data.size() < length + 2) return false;
    info = cText(&packet.Data[1], length);
    return true;
}

std::vector<uint8_t> encodeConfiguration(const DeviceConfig& config) {
    std::vector<uint8_t> out;
    out.push_back(config.DHCP ? 1 : 0);
    out.insert(out.end(), config.IP.begin(), config.IP.end());
    out.insert(out.end(), config.Gateway.begin(), config.Gateway.end());
    out.insert(out.end(), config.SubnetMask.begin(), config.SubnetMask.end());
    return out;
}

std::vector<uint8_t> encodeDiscover(const DiscoverRecord& record) {
    std::vector<uint8_t> out;
    out.push_back(record.ProtocolId);
    out.push_back(record.Available ? 1 : 0);
    putU16(out, record.Port);
    const auto text = lengthPrefixedText(record.Info);
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

std::vector<uint8_t> encodeResult(ResultCode code) {
    std::vector<uint8_t> out;
    putU16(out, static_cast<uint16_t>(code));
    return out;
}

std::vector<uint8_t> encodeDeviceInfo(const std::string& info) { return lengthPrefixedText(info); }

VX_ND_Packet makeDiscoverRequest(uint32_t deviceType, const std::string& serialNumber,
                                 const TokenBytes& token) {
    VX_ND_Packet packet;
    packet.Version = 1;
    packet.OpCode = OpDiscoverRequest;
    packet.DeviceType = deviceType;
    packet.SerialNumber = serialNumber;
    packet.Token = token;
    return packet;
}

const char* resultCodeName(uint16_t code) { return lookupName(resultCodeNames, code); }

const char* opCodeName(uint8_t code) { return lookupName(opCodeNames, code); }

std::string packetText(const VX_ND_Packet& packet) {
    std::string text = "VX_ND_Packet { OpCode: ";
    text += opCodeName(packet.OpCode);
    text += ", Version: " + std::to_string(packet.Version);
    text += ", SerialNumber: \"" + packet.SerialNumber + "\"";
    text += ", Token: " + tokenText(packet.Token);

    switch (packet.OpCode) {
    case OpSetConfiguration:
    case OpConfiguration: {
        DeviceConfig config;
        if (decodeConfiguration(packet, config))
            text += ", IP: " + addressText(config.IP) + ", Gateway: " + addressText(config.Gateway) +
                    ", SubnetMask: " + addressText(config.SubnetMask) +
                    ", DHCP: " + (config.DHCP ? "Enabled" : "Disabled");
        else
            text += ", Data: INVALID";
        break;
    }
    case OpSetDeviceInfo: {
        std::string info;
        if (decodeDeviceInfo(packet, info))
            text += ", Device Info: \"" + info + "\"";
        else
            text += ", Data: INVALID";
        break;
    }
    case OpResult: {
        ResultCode code;
        if (decodeResult(packet, code))
            text += std::string(", ResultCode: ") + resultCodeName(static_cast<uint16_t>(code));
        else
            text += ", Data: INVALID";
        break;
    }
    case OpDiscoverReply:
    case OpDiscoverInform: {
        DiscoverRecord record;
        if (decodeDiscover(packet, record)) {
            char id[8];
            std::snprintf(id, sizeof id, "%x", record.ProtocolId);
            text += std::string(", ProtocolId: 0x") + id + ", Port: " + std::to_string(record.Port) +
                    ", Available: " + (record.Available ? "Yes" : "No") + ", Info: " + record.Info;
        } else {
            text += ", Data: INVALID";
        }
        break;
    }
    default:
        break;
    }
    return text + " }";
}

std::string rawPacketText(const uint8_t* data, size_t size) {
    std::string text = "VX_ND_RawPacket { size: " + std::to_string(size);
    if (size > 0) {
        text += ", data:";
        for (size_t i = 0; i < size; ++i) {
            if (i % 8 == 0) text += ' ';
            text += hexByte(data[i], false) + ' ';
        }
    }
    return text + "}";
}

TokenBytes generateToken(std::mt19937_64& engine) {
    const uint64_t a = engine();
    const uint64_t b = engine();
    TokenBytes token;
    for (int i = 0; i < 8; ++i) {
        token[i] = static_cast<uint8_t>(a >> (8 * i));
        token[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    token[6] = static_cast<uint8_t>((token[6] & 0x0F) | 0x40);
    token[8] = static_cast<uint8_t>((token[8] & 0x3F) | 0x80);
    return token;
}

std::string tokenText(const TokenBytes& token) {
    std::string text;
    for (size_t i = 0; i < token.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += hexByte(token[i], true);
    }
    return text;
}

}  // namespace veltraxnd
