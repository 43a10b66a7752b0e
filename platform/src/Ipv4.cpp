#include "platform/Ipv4.h"

#include <arpa/inet.h>

namespace vxplatform {

std::optional<uint32_t> parseIpv4(std::string_view text) {
    uint32_t host = 0;
    size_t pos = 0;
    for (int piece = 0; piece < 4; ++piece) {
        if (piece > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            if (value > 255) return std::nullopt;
            ++pos;
        }
        if (pos == start) return std::nullopt;
        host = (host << 8) | value;
    }
    if (pos != text.size()) return std::nullopt;
    return htonl(host);
}

std::string formatIpv4(uint32_t address) {
    const uint32_t host = ntohl(address);
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

}  // namespace vxplatform
