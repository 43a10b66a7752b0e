#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StreamPortBase.h"

namespace vxfw {

// A serial port ("serial:" locators) at a baud rate of its own.
class ComPort : public StreamPortBase {
public:
    static constexpr uint32_t kDefaultBaudRate = 115200;

    ComPort();

    // "serial:" and the device path of every serial port.
    void enumerate(std::vector<std::string>& out) override;
    // Stored for the next open; an open port is reopened at the new rate.
    void setBaudRate(uint32_t baud) override;
    void open(const std::string& locator) override;

    uint32_t baudRate() const { return baudRate_; }

private:
    uint32_t baudRate_ = kDefaultBaudRate;
};

}  // namespace vxfw
