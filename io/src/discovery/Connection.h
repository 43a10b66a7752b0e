#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/Address.h"

namespace veltraxnd {

inline constexpr uint16_t BroadcastPort = 65111;
inline constexpr uint16_t MulticastPort = 65110;
inline constexpr IPv4Address MulticastGroup{239, 1, 1, 21};

// A datagram larger than this is not read: it is dropped.
inline constexpr size_t ReceiveBufferSize = 1024;

enum class SocketKind { Broadcast = 0, Multicast = 1 };
const char* socketKindName(SocketKind kind);

// The datagram carrier of the discovery protocol on a set of local IPv4
// interfaces. Network id 0 means every network; k = 1, 2, ... is the k-th
// socket entry, two per interface (broadcast, then multicast).
class Connection {
public:
    virtual ~Connection() = default;

    // Ends the connection: a waiting Receive returns false, later calls do
    // nothing. With wait, blocks until every Receive and Send in progress has
    // returned and closes the sockets. Never throws.
    virtual void Finish(bool wait) = 0;

    // Id 0: every entry's name joined by ", "; k: address and kind. Empty
    // once finished; InvalidArgumentException for an id beyond the list.
    virtual std::string GetNetworkName(unsigned networkId) = 0;

    // Waits up to `timeoutMs` for one datagram; false on time-out or finish.
    virtual bool Receive(uint32_t timeoutMs, unsigned& networkId, IPv4Address& sender,
                         std::vector<uint8_t>& data) = 0;

    // Sends on one entry, or on every entry for id 0. Does nothing once
    // finished. NetworkException when a send fails; InvalidArgumentException
    // for an id beyond the list.
    virtual void Send(unsigned networkId, const std::vector<uint8_t>& data) = 0;
};

// A connection with a broadcast and a multicast entry for each interface
// address, in the given order. Throws NetworkException; nothing stays open.
std::unique_ptr<Connection> createConnection(const std::vector<IPv4Address>& interfaceAddresses);

// One IPv4 address of a usable local interface.
struct NetworkInterfaceInfo {
    std::string adapterName;
    IPv4Address address{};
    IPv4Address mask{};
    std::string friendlyName;
};

// The IPv4 addresses of the interfaces that are up and running, loopback
// excepted. Throws NetworkException "Could not get interface list".
std::vector<NetworkInterfaceInfo> listNetworkInterfaces();

}  // namespace veltraxnd
