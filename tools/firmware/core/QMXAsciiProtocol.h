#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "QMXApplicationProtocol.h"

namespace vxfw {

// The textual command protocol: ":" + command + line feed out, one reply
// line back. It reaches no hand control module.
class QMXAsciiProtocol : public QMXApplicationProtocol {
public:
    // Room for a reply body and its end: the longest body is one less.
    static constexpr size_t kReplyCapacity = 15;
    static constexpr size_t kWriteTuningReplyCapacity = 31;
    // What the controller needs after a reset before it listens again.
    static constexpr std::chrono::milliseconds kResetPause{2500};

    void reset() override;
    void setCommunicationMode() override;
    int32_t getNumberOfChannels() override;
    int32_t getSensorType(int32_t channel) override;
    void setSensorType(int32_t channel, int32_t type) override;
    int32_t getSensorEnabled() override;
    void setSensorEnabled(int32_t mode) override;
    // False, without sending anything.
    bool isHCMPresent() override;

    // These three do nothing.
    void readHCMEepromType(uint32_t& type, uint32_t& size) override;
    void readHCMConfigBlock(uint32_t offset, uint8_t data[8]) override;
    void writeHCMConfigBlock(uint32_t offset, const uint8_t data[8]) override;

    int32_t readTuningParameter(int32_t channel, int32_t parameter) override;
    void writeTuningParameter(int32_t channel, int32_t parameter, int32_t value) override;

    // One reply body: bytes up to a ":" are skipped, the body runs to the
    // line feed (not kept). A body that fills `capacity` bytes is code 17.
    std::string readLine(size_t capacity);

private:
    // Sends ":" + body + line feed and reads the reply body.
    std::string exchange(const std::string& body, size_t capacity = kReplyCapacity);
    void expectAcknowledge(const std::string& body);
    void expectChannelAcknowledge(const std::string& body, int32_t channel,
                                  size_t capacity = kReplyCapacity);
};

}  // namespace vxfw
