#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "ConfigFrame.h"

// The rules for the values a user types for a new configuration. Each takes
// how many numbers were read and the numbers; empty means the entry is
// refused and asked for again.
namespace netconfig {

using EnteredNumbers = std::array<int, 4>;

// An IP or gateway address: four numbers, the first 1 to 254, the others
// 0 to 255.
std::optional<Ipv4Bytes> acceptAddress(int count, const EnteredNumbers& numbers);

// A subnet mask: four numbers 0 to 255 whose 32 bits are one block of 1 to
// 31 ones at the top.
std::optional<Ipv4Bytes> acceptMask(int count, const EnteredNumbers& numbers);

// A TCP port: one number, 1 to 65535.
std::optional<uint16_t> acceptPort(int count, int port);

}  // namespace netconfig
