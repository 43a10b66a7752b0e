#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "QMXApplicationProtocol.h"

namespace vxfw {

// The first-generation binary packets: a 16-bit address (low byte first),
// an opcode whose low four bits count the payload bytes, the payload.
// Channel indices are positions in the channel list that
// getNumberOfChannels (or setCommunicationMode) last read.
class QMXBinaryProtocol : public QMXApplicationProtocol {
public:
    static constexpr uint32_t kResetTimeoutMs = 5000;
    // No answer within this time: no hand control module.
    static constexpr uint32_t kHandControlTimeoutMs = 100;
    static constexpr size_t kBlockSize = 8;

    // One packet as it travels.
    struct Packet {
        uint16_t address = 0;
        uint8_t opcode = 0;
        std::array<uint8_t, 15> payload{};
        size_t payloadLength() const { return opcode & 0x0F; }
    };

    void reset() override;
    void setCommunicationMode() override;
    int32_t getNumberOfChannels() override;
    int32_t getSensorType(int32_t channel) override;
    void setSensorType(int32_t channel, int32_t type) override;
    int32_t getSensorEnabled() override;
    void setSensorEnabled(int32_t mode) override;
    bool isHCMPresent() override;

    // Type and size of the module's configuration image; a type that no
    // table entry knows is code 12 (the type is written all the same).
    void readHCMEepromType(uint32_t& type, uint32_t& size) override;
    void readHCMConfigBlock(uint32_t offset, uint8_t data[8]) override;
    void writeHCMConfigBlock(uint32_t offset, const uint8_t data[8]) override;

    int32_t readTuningParameter(int32_t channel, int32_t parameter) override;
    void writeTuningParameter(int32_t channel, int32_t parameter, int32_t value) override;

    // Receives one packet, which must be an acknowledgement from the
    // channel at `channel`.
    void receivePacket(int32_t channel);

    const std::vector<uint16_t>& channels() const { return channels_; }

private:
    void sendPacket(uint16_t address, uint8_t opcode, std::initializer_list<uint8_t> payload);
    Packet readPacket();
    // The address of a channel index; code 2 outside the list.
    uint16_t channelAddress(int32_t channel) const;
    void sendHandControlTypeQuery();

    std::vector<uint16_t> channels_;
};

}  // namespace vxfw
