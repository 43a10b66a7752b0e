#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Ipv4.h"

namespace veltraxnd {

// An IPv4 address as four bytes in dotted order.
using IPv4Address = std::array<uint8_t, 4>;

// As in sockaddr_in::sin_addr.s_addr.
inline uint32_t networkOrder(const IPv4Address& a) {
    uint32_t value;
    std::memcpy(&value, a.data(), sizeof value);
    return value;
}

inline IPv4Address fromNetworkOrder(uint32_t value) {
    IPv4Address a;
    std::memcpy(a.data(), &value, sizeof value);
    return a;
}

inline std::string addressText(const IPv4Address& a) {
    return vxplatform::formatIpv4(networkOrder(a));
}

}  // namespace veltraxnd
