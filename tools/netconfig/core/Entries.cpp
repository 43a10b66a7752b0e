#include "Entries.h"

#include <algorithm>
#include <bit>

namespace netconfig {

namespace {

bool isByte(int n) { return n >= 0 && n <= 255; }

Ipv4Bytes bytesOf(const EnteredNumbers& numbers) {
    Ipv4Bytes bytes;
    std::transform(numbers.begin(), numbers.end(), bytes.begin(), [](int n) { return static_cast<uint8_t>(n); });
    return bytes;
}

}  // namespace

std::optional<Ipv4Bytes> acceptAddress(int count, const EnteredNumbers& n) {
    // Each number is checked on its own first: a negative one would
    // otherwise pass the sum below and turn into another byte.
    if (count != 4 || n[0] < 1 || n[0] > 254 || !std::all_of(n.begin() + 1, n.end(), isByte)) return std::nullopt;
    const uint32_t sum = static_cast<uint32_t>(n[0]) + static_cast<uint32_t>(n[1]) + static_cast<uint32_t>(n[2]) +
                         static_cast<uint32_t>(n[3]);
    if (sum == 0 || sum >= 1020) return std::nullopt;
    return bytesOf(n);
}

std::optional<Ipv4Bytes> acceptMask(int count, const EnteredNumbers& n) {
    if (count != 4 || !std::all_of(n.begin(), n.end(), isByte)) return std::nullopt;
    // Built from the very bytes that are sent, so what is tested is what goes out.
    const Ipv4Bytes bytes = bytesOf(n);
    const uint32_t mask = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                          static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    const int ones = std::popcount(mask);
    const bool oneBlockAtTop = std::countl_one(mask) == ones;
    if (!oneBlockAtTop || ones < 1 || ones > 31) return std::nullopt;
    return bytes;
}

std::optional<uint16_t> acceptPort(int count, int port) {
    if (count != 1 || port < 1 || port > 65535) return std::nullopt;
    return static_cast<uint16_t>(port);
}

}  // namespace netconfig
