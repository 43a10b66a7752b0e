#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StreamPortBase.h"

namespace vxfw {

// A USB adapter of the controller systems ("usb:" locators), at the
// adapter's fixed line rate.
class USBPort : public StreamPortBase {
public:
    // The USB product name of the controllers' adapters.
    static constexpr const char* kProductName = "Veltrax QMX-I";
    static constexpr int32_t kBaudRate = 500000;
    static constexpr int32_t kLatencyMs = 1;
    static constexpr int32_t kHealthCheckMs = 250;

    USBPort();

    // "usb:id:" locators of the adapters with the product name.
    void enumerate(std::vector<std::string>& out) override;
    // Throws: the adapter's rate is fixed.
    void setBaudRate(uint32_t baud) override;
    void open(const std::string& locator) override;
};

}  // namespace vxfw
