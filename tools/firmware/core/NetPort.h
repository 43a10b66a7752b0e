#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StreamPortBase.h"

namespace vxfw {

// A TCP connection ("network:" locators); port 5000 unless the locator
// names one.
class NetPort : public StreamPortBase {
public:
    static constexpr int32_t kDefaultTcpPort = 5000;
    static constexpr int32_t kConnectTimeoutMs = 5000;

    NetPort();

    // Network devices are never listed: empties `out`.
    void enumerate(std::vector<std::string>& out) override;
    // Throws: a network port has no baud rate.
    void setBaudRate(uint32_t baud) override;
    void open(const std::string& locator) override;
};

}  // namespace vxfw
