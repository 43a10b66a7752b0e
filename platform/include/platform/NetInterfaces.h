#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxplatform {

// One IPv4 address of a local network interface. Addresses are in network
// byte order, as in sockaddr_in::sin_addr.s_addr.
struct NetInterface {
    std::string name;
    uint32_t address = 0;
    uint32_t netmask = 0;
    // The directed-broadcast address of the subnet; 0 when the interface has
    // none (no broadcast capability, or a /31 or /32 address).
    uint32_t broadcast = 0;
    unsigned prefixLength = 0;
    bool loopback = false;
    unsigned index = 0;  // the interface's index; 0 when the system gives none
};

// IPv4 addresses of the interfaces that are up and running, in the order the
// system lists them; loopback interfaces only when asked for.
// Throws std::system_error when the system list cannot be read.
std::vector<NetInterface> listNetInterfaces(bool includeLoopback = false);

// The directed-broadcast address of the subnet of a local IPv4 address,
// whether or not its interface has a link at the moment; 0 when the address
// is not local or its interface has no broadcast address.
// Throws std::system_error when the system list cannot be read.
uint32_t broadcastAddressOf(uint32_t address);

// The entry of a local IPv4 address, whether or not its interface has a link
// at the moment; address 0 when the address is not local.
// Throws std::system_error when the system list cannot be read.
NetInterface netInterfaceOf(uint32_t address);

}  // namespace vxplatform
