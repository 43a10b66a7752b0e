#pragma once

#include <cstdint>

#include "QMXProtocol.h"

namespace vxfw {

// Tuning parameters of a channel that the update keeps.
enum TuningParameter : int32_t {
    kClosedLoopMaxFrequency = 2,
    kDynamicAmplitudeDetection = 4,
    kDistanceCodeInverted = 5,
    kPhysicalScaleOffset = 6,
};

// What the firmware uploader reads and writes of a controller system in its
// application state. Every operation throws UpdateException on failure and
// returns only when the controller answered as expected. The tuning
// parameter accessors are one read and one write of the implementation.
class QMXApplicationProtocol : public QMXProtocol {
public:
    virtual void reset() = 0;
    virtual void setCommunicationMode() = 0;
    virtual int32_t getNumberOfChannels() = 0;
    virtual int32_t getSensorType(int32_t channel) = 0;
    virtual void setSensorType(int32_t channel, int32_t type) = 0;
    // One sensor mode for the whole system.
    virtual int32_t getSensorEnabled() = 0;
    virtual void setSensorEnabled(int32_t mode) = 0;
    virtual bool isHCMPresent() = 0;

    virtual int32_t getClosedLoopMaxFrequency(int32_t channel);
    virtual void setClosedLoopMaxFrequency(int32_t channel, int32_t value);
    virtual bool getDynamicAmplitudeDetection(int32_t channel);
    virtual void setDynamicAmplitudeDetection(int32_t channel, bool on);
    virtual bool getDistanceCodeInverted(int32_t channel);
    virtual void setDistanceCodeInverted(int32_t channel, bool inverted);
    virtual int32_t getPhysicalScaleOffset(int32_t channel);
    virtual void setPhysicalScaleOffset(int32_t channel, int32_t value);

    // The hand control module's configuration image: its EEPROM type and
    // size in bytes, and 8-byte blocks at byte offsets.
    virtual void readHCMEepromType(uint32_t& type, uint32_t& size) = 0;
    virtual void readHCMConfigBlock(uint32_t offset, uint8_t data[8]) = 0;
    virtual void writeHCMConfigBlock(uint32_t offset, const uint8_t data[8]) = 0;

    virtual int32_t readTuningParameter(int32_t channel, int32_t parameter) = 0;
    virtual void writeTuningParameter(int32_t channel, int32_t parameter, int32_t value) = 0;
};

}  // namespace vxfw
