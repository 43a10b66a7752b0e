#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VeltraxIO.h"

namespace vxio {

// What a serial-number locator resolves to: the device's IPv4 address (in
// network byte order) and the TCP port it announced (0 = none).
struct ResolvedDevice {
    uint32_t address = 0;
    uint16_t port = 0;
};

// Finds the device of a serial number; gives 0 with the device, or the
// result that ends the open (3 not found, 4 bad "iface", 13 no interface list).
using SerialResolver = std::function<VX_IO_Result(const std::string& serial,
                                                  const std::string& optionText,
                                                  ResolvedDevice& device)>;

// Host and port of a "network:" locator under the open options, from the
// non-empty pieces after "network:" ("host", "host:port", "sn:serial" or
// "sn:serial:port"); serial numbers are looked up with `resolve`. The port
// option is checked before the pieces.
VX_IO_Result parseNetworkLocator(const std::string& optionText,
                                 const std::vector<std::string>& pieces,
                                 const SerialResolver& resolve, std::string& host, uint16_t& port);

// As above, resolving serial numbers through network discovery.
VX_IO_Result parseNetworkLocator(const std::string& optionText,
                                 const std::vector<std::string>& pieces, std::string& host,
                                 uint16_t& port);

// Dotted IPv4 text to an address in network byte order; 0 (also for
// "0.0.0.0") when the text is not exactly four numbers of at most 255.
uint32_t parseIPv4(const std::string& text);
std::string formatIPv4(uint32_t address);

}  // namespace vxio
