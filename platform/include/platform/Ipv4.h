#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vxplatform {

// Dotted decimal "a.b.c.d" into network byte order (as sockaddr_in's
// s_addr). Each of the four pieces is digits only and at most 255; extra
// leading zeros are allowed ("010" is ten). Empty for anything else.
std::optional<uint32_t> parseIpv4(std::string_view text);

// Dotted decimal text of an address in network byte order.
std::string formatIpv4(uint32_t address);

}  // namespace vxplatform
