#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "discovery/Connection.h"
#include "discovery/Packet.h"
#include "platform/Ipv4.h"
#include "platform/NetInterfaces.h"
#include "sim/DiscoveryDevice.h"
#include "support/netns/TestNamespace.h"

namespace vxtest {

inline veltraxnd::IPv4Address ipv4(const char* text) {
    return veltraxnd::fromNetworkOrder(vxplatform::parseIpv4(text).value_or(0));
}

// A simulated device on a far interface.
inline std::unique_ptr<vxsim::DiscoveryDevice> farDevice(const char* address, const std::string& serial,
                                                         uint16_t port = 2000) {
    vxsim::DiscoveryIdentity identity;
    identity.serialNumber = serial;
    identity.port = port;
    std::unique_ptr<vxsim::DiscoveryDevice> device;
    netns::inFarNamespace([&] { device = std::make_unique<vxsim::DiscoveryDevice>(address, identity); });
    return device;
}

struct Arrival {
    unsigned networkId = 0;
    veltraxnd::IPv4Address sender{};
    veltraxnd::VX_ND_Packet packet;
};

// The first datagram of this operation and serial number, passing over the
// rest (our own requests come back, other devices answer too).
inline std::optional<Arrival> receiveFrom(veltraxnd::Connection& connection, uint8_t opCode,
                                          const std::string& serial,
                                          std::chrono::milliseconds deadline = std::chrono::seconds(3)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        Arrival a;
        std::vector<uint8_t> bytes;
        if (!connection.Receive(static_cast<uint32_t>(left.count()), a.networkId, a.sender, bytes)) continue;
        if (veltraxnd::decodePacket(bytes, a.packet) != veltraxnd::DecodeResult::Valid) continue;
        if (a.packet.OpCode == opCode && a.packet.SerialNumber == serial) return a;
    }
}

inline std::vector<uint8_t> discoverRequest(const std::string& serial = "") {
    return veltraxnd::encodePacket(veltraxnd::makeDiscoverRequest(veltraxnd::AnyDeviceType, serial, {}));
}

}  // namespace vxtest
