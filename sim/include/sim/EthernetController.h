#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace vxsim {

using MacAddress = std::array<uint8_t, 6>;
using Ipv4Bytes = std::array<uint8_t, 4>;  // first octet first

// What a controller's Ethernet interface is set to.
struct EthernetConfig {
    Ipv4Bytes ip{192, 168, 1, 100};
    Ipv4Bytes gateway{192, 168, 1, 1};
    Ipv4Bytes mask{255, 255, 255, 0};
    uint16_t port = 2000;
    bool operator==(const EthernetConfig&) const = default;
};

// What a request asks of the interface.
enum class EthernetRequest : uint16_t {
    Discover = 2,
    Get = 3,
    Set = 4,
    Reset = 5,
    Save = 6,  // keeps what a set changed; not answered
    Restart = 7,
};

// The model of one controller's Ethernet interface: its MAC address and
// configuration, apart from any frame layout.
class EthernetController {
public:
    explicit EthernetController(const MacAddress& mac, const EthernetConfig& config = EthernetConfig{})
        : mac_(mac), config_(config) {}

    const MacAddress& mac() const { return mac_; }
    const EthernetConfig& config() const { return config_; }
    unsigned saves() const { return saves_; }
    unsigned restarts() const { return restarts_; }

    // Carries out one request and gives the configuration that its answer
    // reports; nothing for a request that is not answered. `payload` is
    // what the request carried; only a set uses it.
    std::optional<EthernetConfig> serve(uint16_t request, const EthernetConfig& payload);

private:
    MacAddress mac_;
    EthernetConfig config_;
    unsigned saves_ = 0;
    unsigned restarts_ = 0;
};

}  // namespace vxsim
