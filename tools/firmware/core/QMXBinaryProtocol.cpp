#include "QMXBinaryProtocol.h"

#include <algorithm>

#include "SystemConnection.h"
#include "UpdateException.h"

namespace vxfw {

namespace {

enum Address : uint16_t {
    kAllModules = 0x0000,
    kHandControlModule = 0x0002,
    kInterfaceModule = 0x0008,
};

enum Opcode : uint8_t {
    kReadChannels = 0x10,
    kChannelCount = 0x11,
    kChannelEntry = 0x12,
    kHello = 0x20,
    kHandControlConfiguration = 0x2B,
    kReset = 0x30,
    kCommunicationMode = 0x32,
    kReadTuningParameter = 0x51,
    kTuningParameter = 0x55,
    kSetSensorType = 0x61,
    kSensorType = 0x72,
    kSetSensorEnabled = 0x91,
    kSensorEnabled = 0xA1,
    kAcknowledge = 0xF0,
};

// First payload byte of kHandControlConfiguration.
enum HandControlAccess : uint8_t {
    kEepromType = 0x01,
    kBlockRead = 0x10,
    kBlockWrite = 0x11,
};

// Payload of the communication mode the uploader uses.
constexpr uint8_t kModeBytes[] = {0x03, 0x00};
// Payload of the sensor type query.
constexpr uint8_t kSensorTypeQuery[] = {0x01, 0x00};
constexpr uint8_t kSensorEnabledQuery = 0xFF;
// Channels whose address has this in bits 15 to 12 take the sensor mode.
constexpr uint16_t kSensorModeClass = 0x2;

struct EepromTypeEntry {
    uint32_t type;
    uint32_t imageSize;
};

constexpr EepromTypeEntry kEepromTypes[] = {
    {0x3D01, 2048},
    {0xFD01, 2048},
};

constexpr uint8_t low(uint32_t value) { return static_cast<uint8_t>(value); }
constexpr uint8_t high(uint32_t value) { return static_cast<uint8_t>(value >> 8); }

void expect(bool condition) {
    if (!condition) throw UpdateException(kProtocolError);
}

}  // namespace

void QMXBinaryProtocol::sendPacket(uint16_t address, uint8_t opcode,
                                   std::initializer_list<uint8_t> payload) {
    uint8_t bytes[3 + 15] = {low(address), high(address), opcode};
    std::copy(payload.begin(), payload.end(), bytes + 3);
    connection().send(static_cast<uint32_t>(3 + payload.size()), bytes);
}

QMXBinaryProtocol::Packet QMXBinaryProtocol::readPacket() {
    uint8_t head[3];
    connection().receive(3, head);
    Packet packet;
    packet.address = static_cast<uint16_t>(head[0] | (head[1] << 8));
    packet.opcode = head[2];
    if (packet.payloadLength() != 0)
        connection().receive(static_cast<uint32_t>(packet.payloadLength()), packet.payload.data());
    return packet;
}

uint16_t QMXBinaryProtocol::channelAddress(int32_t channel) const {
    if (channel < 0 || static_cast<size_t>(channel) >= channels_.size())
        throw UpdateException(kInvalidParameter);
    return channels_[static_cast<size_t>(channel)];
}

void QMXBinaryProtocol::receivePacket(int32_t channel) {
    const Packet packet = readPacket();
    expect(packet.address == channelAddress(channel));
    expect(packet.opcode == kAcknowledge);
}

void QMXBinaryProtocol::reset() {
    connection().setTimeout(kResetTimeoutMs);
    sendPacket(kInterfaceModule, kReset, {});
    // USB adapters and serial lines show one byte before the answer.
    if (connection().getPortType() != PortType::Network) {
        uint8_t ignored = 0;
        connection().receive(1, &ignored);
    }
    const Packet hello = readPacket();
    expect(hello.address == kInterfaceModule && hello.opcode == kHello);
}

void QMXBinaryProtocol::setCommunicationMode() {
    const int32_t count = getNumberOfChannels();
    sendPacket(kAllModules, kCommunicationMode, {kModeBytes[0], kModeBytes[1]});
    for (int32_t i = 0; i < count; ++i) expect(readPacket().opcode == kAcknowledge);
}

int32_t QMXBinaryProtocol::getNumberOfChannels() {
    sendPacket(kInterfaceModule, kReadChannels, {});
    const Packet head = readPacket();
    expect(head.address == kInterfaceModule && head.opcode == kChannelCount);
    const int32_t count = head.payload[0];
    channels_.clear();
    for (int32_t i = 0; i < count; ++i) {
        const Packet entry = readPacket();
        expect(entry.address == kInterfaceModule && entry.opcode == kChannelEntry);
        channels_.push_back(static_cast<uint16_t>(entry.payload[0] | (entry.payload[1] << 8)));
    }
    return count;
}

int32_t QMXBinaryProtocol::getSensorType(int32_t channel) {
    const uint16_t address = channelAddress(channel);
    sendPacket(address, kSensorType, {kSensorTypeQuery[0], kSensorTypeQuery[1]});
    const Packet answer = readPacket();
    expect(answer.address == address && answer.opcode == kSensorType);
    return answer.payload[1];
}

void QMXBinaryProtocol::setSensorType(int32_t channel, int32_t type) {
    const uint16_t address = channelAddress(channel);
    if (static_cast<uint32_t>(type) > 0xFF) throw UpdateException(kInvalidParameter);
    sendPacket(address, kSetSensorType, {low(static_cast<uint32_t>(type))});
    receivePacket(channel);
}

int32_t QMXBinaryProtocol::getSensorEnabled() {
    const uint16_t address = channelAddress(0);
    sendPacket(address, kSensorEnabled, {kSensorEnabledQuery});
    const Packet answer = readPacket();
    expect(answer.address == address && answer.opcode == kSensorEnabled);
    return answer.payload[0];
}

void QMXBinaryProtocol::setSensorEnabled(int32_t mode) {
    for (size_t i = 0; i < channels_.size(); ++i) {
        if ((channels_[i] >> 12) != kSensorModeClass) continue;
        sendPacket(channels_[i], kSetSensorEnabled, {low(static_cast<uint32_t>(mode))});
        receivePacket(static_cast<int32_t>(i));
    }
}

void QMXBinaryProtocol::sendHandControlTypeQuery() {
    connection().setTimeout(kHandControlTimeoutMs);
    sendPacket(kHandControlModule, kHandControlConfiguration,
               {kEepromType, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

bool QMXBinaryProtocol::isHCMPresent() {
    sendHandControlTypeQuery();
    try {
        return readPacket().opcode == kHandControlConfiguration;
    } catch (const UpdateException&) {
        return false;
    }
}

void QMXBinaryProtocol::readHCMEepromType(uint32_t& type, uint32_t& size) {
    sendHandControlTypeQuery();
    const Packet answer = readPacket();
    expect(answer.opcode == kHandControlConfiguration);
    type = static_cast<uint32_t>(answer.payload[1] | (answer.payload[2] << 8));
    for (const EepromTypeEntry& entry : kEepromTypes) {
        if (entry.type != type) continue;
        size = entry.imageSize;
        return;
    }
    throw UpdateException(kConfigurationError, "unknown configuration code");
}

void QMXBinaryProtocol::readHCMConfigBlock(uint32_t offset, uint8_t data[8]) {
    sendPacket(kHandControlModule, kHandControlConfiguration,
               {kBlockRead, low(offset), high(offset), 0, 0, 0, 0, 0, 0, 0, 0});
    const Packet answer = readPacket();
    expect(answer.address == kHandControlModule);
    expect(answer.opcode == kHandControlConfiguration);
    std::copy_n(answer.payload.begin() + 3, kBlockSize, data);
}

void QMXBinaryProtocol::writeHCMConfigBlock(uint32_t offset, const uint8_t data[8]) {
    sendPacket(kHandControlModule, kHandControlConfiguration,
               {kBlockWrite, low(offset), high(offset), data[0], data[1], data[2], data[3], data[4],
                data[5], data[6], data[7]});
    const Packet answer = readPacket();
    expect(answer.address == kHandControlModule);
    expect(answer.opcode == kAcknowledge);
}

int32_t QMXBinaryProtocol::readTuningParameter(int32_t channel, int32_t parameter) {
    const uint16_t address = channelAddress(channel);
    if (static_cast<uint32_t>(parameter) > 0xFF) throw UpdateException(kInvalidParameter);
    sendPacket(address, kReadTuningParameter, {low(static_cast<uint32_t>(parameter))});
    const Packet answer = readPacket();
    expect(answer.address == address);
    expect(answer.opcode == kTuningParameter);
    expect(answer.payload[0] == parameter);
    const uint32_t value = static_cast<uint32_t>(answer.payload[1]) |
                           static_cast<uint32_t>(answer.payload[2]) << 8 |
                           static_cast<uint32_t>(answer.payload[3]) << 16 |
                           static_cast<uint32_t>(answer.payload[4]) << 24;
    return static_cast<int32_t>(value);
}

void QMXBinaryProtocol::writeTuningParameter(int32_t channel, int32_t parameter, int32_t value) {
    const uint16_t address = channelAddress(channel);
    if (static_cast<uint32_t>(parameter) > 0xFF) throw UpdateException(kInvalidParameter);
    const auto bits = static_cast<uint32_t>(value);
    sendPacket(address, kTuningParameter,
               {low(static_cast<uint32_t>(parameter)), low(bits), high(bits), low(bits >> 16),
                high(bits >> 16)});
    receivePacket(channel);
}

}  // namespace vxfw
