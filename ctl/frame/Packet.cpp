#include <cstdlib>
#include <string>

#include "VeltraxCTL.h"
#include "VeltraxControlPrivate"

namespace vxctl {

namespace {

InvariantReport invariantReport = nullptr;

}  // namespace

void setInvariantReport(InvariantReport report) { invariantReport = report; }

void brokenInvariant(Invariant which) {
    if (invariantReport) {
        const std::string line = "Assertion failed in VeltraxControlPrivate, line " +
                                 std::to_string(static_cast<int>(which));
        invariantReport(line.c_str());
    }
    std::abort();
}

Packet::Packet(uint8_t start, uint8_t type) {
    bytes_[0] = start;
    size_ = kHeaderBytes;
    storeLength();
    u8(type);
}

Packet::Packet(CommandType type) : Packet(kCommandStart, static_cast<uint8_t>(type)) {}

Packet::Packet(SystemType type) : Packet(kSystemStart, static_cast<uint8_t>(type)) {}

void Packet::storeLength() {
    bytes_[1] = static_cast<uint8_t>(length());
    bytes_[2] = static_cast<uint8_t>(length() >> 8);
}

void Packet::append(const uint8_t* data, size_t size) {
    if (length() + size > kMaxLength) brokenInvariant(Invariant::AppendWithinLimit);
    for (size_t i = 0; i < size; ++i) bytes_[size_++] = data[i];
    storeLength();
}

Packet& Packet::u8(uint8_t value) {
    append(&value, 1);
    return *this;
}

Packet& Packet::u16(uint16_t value) {
    const uint8_t le[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    append(le, sizeof le);
    return *this;
}

Packet& Packet::u32(uint32_t value) {
    uint8_t le[4];
    for (size_t i = 0; i < sizeof le; ++i) le[i] = static_cast<uint8_t>(value >> (8 * i));
    append(le, sizeof le);
    return *this;
}

Packet& Packet::u64(uint64_t value) {
    uint8_t le[8];
    for (size_t i = 0; i < sizeof le; ++i) le[i] = static_cast<uint8_t>(value >> (8 * i));
    append(le, sizeof le);
    return *this;
}

Packet& Packet::bytes(const uint8_t* data, size_t size) {
    append(data, size);
    return *this;
}

Packet& Packet::text(std::string_view characters) {
    append(reinterpret_cast<const uint8_t*>(characters.data()), characters.size());
    return u8(0);
}

void Packet::finish(const Crc32* crc) {
    const size_t padding = (4 - (length() - 1) % 4) % 4;
    for (size_t i = 0; i < padding; ++i) u8(0);
    if (!crc) return;
    if (length() > kMaxLengthBeforeCrc) brokenInvariant(Invariant::LengthBeforeCrc);
    if ((length() - 1) % 4 != 0) brokenInvariant(Invariant::PaddedBeforeCrc);
    // The CRC covers the length field that already counts it.
    const size_t covered = size_;
    size_ += kCrcBytes;
    storeLength();
    const uint32_t value = crc->compute(bytes_.data(), covered);
    for (size_t i = 0; i < kCrcBytes; ++i) bytes_[covered + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Requests

namespace {

Packet propertyHeader(CommandType type, uint8_t requestId, uint8_t handle, uint8_t index,
                      uint32_t key) {
    Packet packet(type);
    packet.u8(requestId).u8(handle).u8(index).u32(key);
    return packet;
}

}  // namespace

Packet readPropertyFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key) {
    return propertyHeader(CommandType::ReadProperty, requestId, handle, index, key);
}

Packet writePropertyFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key,
                          int32_t value) {
    Packet packet = propertyHeader(CommandType::WriteProperty, requestId, handle, index, key);
    packet.u8(static_cast<uint8_t>(VX_CTL_DT_INT32)).u32(static_cast<uint32_t>(value));
    return packet;
}

Packet writePropertyFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key,
                          int64_t value) {
    Packet packet = propertyHeader(CommandType::WriteProperty, requestId, handle, index, key);
    packet.u8(static_cast<uint8_t>(VX_CTL_DT_INT64)).u64(static_cast<uint64_t>(value));
    return packet;
}

Packet writePropertyFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key,
                          std::string_view value) {
    Packet packet = propertyHeader(CommandType::WriteProperty, requestId, handle, index, key);
    packet.u8(static_cast<uint8_t>(VX_CTL_DT_STRING)).text(value);
    return packet;
}

Packet writePropertyArrayFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key,
                               const int32_t* values, uint16_t count) {
    Packet packet = propertyHeader(CommandType::WritePropertyArray, requestId, handle, index, key);
    packet.u8(static_cast<uint8_t>(VX_CTL_DT_INT32)).u16(count);
    for (uint16_t i = 0; i < count; ++i) packet.u32(static_cast<uint32_t>(values[i]));
    return packet;
}

Packet writePropertyArrayFrame(uint8_t requestId, uint8_t handle, uint8_t index, uint32_t key,
                               const int64_t* values, uint16_t count) {
    Packet packet = propertyHeader(CommandType::WritePropertyArray, requestId, handle, index, key);
    packet.u8(static_cast<uint8_t>(VX_CTL_DT_INT64)).u16(count);
    for (uint16_t i = 0; i < count; ++i) packet.u64(static_cast<uint64_t>(values[i]));
    return packet;
}

Packet channelCommandFrame(CommandType type, uint8_t handle, uint8_t index) {
    Packet packet(type);
    packet.u8(handle).u8(index);
    return packet;
}

Packet moveFrame(uint8_t handle, uint8_t index, int64_t target) {
    Packet packet = channelCommandFrame(CommandType::Move, handle, index);
    packet.u64(static_cast<uint64_t>(target));
    return packet;
}

Packet openCommandGroupFrame(uint8_t handle, uint8_t triggerMode) {
    Packet packet(CommandType::OpenCommandGroup);
    packet.u8(handle).u8(triggerMode);
    return packet;
}

Packet closeCommandGroupFrame(uint8_t handle) {
    Packet packet(CommandType::CloseCommandGroup);
    packet.u8(handle);
    return packet;
}

Packet cancelCommandGroupFrame(uint8_t handle) {
    Packet packet(CommandType::CancelCommandGroup);
    packet.u8(handle);
    return packet;
}

Packet versionRequestFrame() { return Packet(CommandType::VersionRequest); }

Packet openStreamFrame(uint8_t requestId, uint8_t triggerMode) {
    Packet packet(CommandType::OpenStream);
    packet.u8(requestId).u8(triggerMode);
    return packet;
}

Packet streamDataFrame(uint8_t streamHandle, const uint8_t* frames, size_t size) {
    Packet packet(CommandType::StreamFrame);
    packet.u8(streamHandle).bytes(frames, size);
    return packet;
}

Packet closeStreamFrame(uint8_t requestId, uint8_t streamHandle) {
    Packet packet(CommandType::CloseStream);
    packet.u8(requestId).u8(streamHandle);
    return packet;
}

Packet abortStreamFrame(uint8_t requestId, uint8_t streamHandle) {
    Packet packet(CommandType::AbortStream);
    packet.u8(requestId).u8(streamHandle);
    return packet;
}

Packet handshakeFrame(bool crc) {
    Packet packet(SystemType::Handshake);
    packet.u32(kHandshakeMagic).u16(1).u16(1).u32(crc ? 1 : 0);
    return packet;
}

Packet probeHandshakeFrame() {
    Packet packet(SystemType::Handshake);
    packet.u32(kHandshakeMagic).u16(0);
    return packet;
}

Packet infoRequestFrame() { return Packet(SystemType::InfoRequest); }

Packet deviceResetFrame() { return Packet(SystemType::DeviceReset); }

}  // namespace vxctl
