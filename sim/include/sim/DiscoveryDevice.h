#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxsim {

// What a networked controller tells about itself in Discover Replies and
// Informs.
struct DiscoveryIdentity {
    uint32_t deviceType = 0x00020001;
    std::string serialNumber = "SIM-0001";
    uint8_t protocolId = 1;
    uint16_t port = 2000;
    bool available = true;
    std::string info = "simulated controller";
};

// Where the device sends what it sends.
enum class DiscoveryRoute {
    Unicast,    // back to the sender of the request (Informs: the last requester)
    Broadcast,  // the directed broadcast of its subnet, port 65111
    Multicast,  // group 239.1.1.21, port 65110
    LimitedBroadcast,  // 255.255.255.255, port 65111, out of its interface
};

// One datagram the device received and could decode.
struct DiscoveryRequest {
    uint8_t opCode = 0;
    uint32_t deviceType = 0;
    std::string serialNumber;
    std::array<uint8_t, 16> token{};
    bool viaMulticast = false;  // which of its listeners got it
    std::string sender;         // dotted decimal
    uint16_t senderPort = 0;
};

// The Ethernet settings that Get and Set Configuration read and write.
struct DiscoveryNetConfig {
    std::array<uint8_t, 4> ip{192, 168, 1, 100};
    std::array<uint8_t, 4> subnetMask{255, 255, 255, 0};
    std::array<uint8_t, 4> gateway{192, 168, 1, 1};
    bool dhcp = false;
    bool operator==(const DiscoveryNetConfig&) const = default;
};

// A simulated networked controller on the discovery protocol. It listens
// where the host's broadcasts and multicasts arrive on one interface of the
// network namespace of the thread that makes it, answers Discover Requests
// and the configuration requests addressed to it, and can be told to
// misbehave. Each copy of a request (broadcast and multicast) is answered.
class DiscoveryDevice {
public:
    // `interfaceAddress`: dotted address of a local interface with a
    // broadcast address. Throws std::system_error.
    DiscoveryDevice(const std::string& interfaceAddress, DiscoveryIdentity identity);
    ~DiscoveryDevice();
    DiscoveryDevice(const DiscoveryDevice&) = delete;
    DiscoveryDevice& operator=(const DiscoveryDevice&) = delete;

    DiscoveryIdentity identity() const;
    DiscoveryNetConfig netConfig() const;

    void setSilent(bool silent);  // answers nothing
    void setPort(uint16_t port);
    void setAvailable(bool available);
    void setInfo(const std::string& info);
    void setReplyRoute(DiscoveryRoute route);
    void setReplyDelay(std::chrono::milliseconds delay);  // answers late
    // Answers to configuration requests come without their payload.
    void setMalformedAnswers(bool malformed);

    // Announces the current identity at once.
    void sendInform(DiscoveryRoute route = DiscoveryRoute::Multicast);
    // Any bytes, at once (malformed or oversized datagrams).
    void sendRaw(const std::vector<uint8_t>& bytes, DiscoveryRoute route);

    std::vector<DiscoveryRequest> requests() const;
    // Waits until at least `count` requests were received.
    bool waitForRequests(size_t count, std::chrono::milliseconds deadline) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The vxsim-discovery program: serves one device until SIGINT or SIGTERM.
//   vxsim-discovery --iface ADDRESS [--serial TEXT] [--type N] [--protocol N]
//                   [--port N] [--info TEXT] [--unavailable]
//                   [--reply unicast|broadcast|multicast|limited] [--inform]
int runDiscoveryProgram(int argc, char** argv);

}  // namespace vxsim
