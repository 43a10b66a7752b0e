#include "DiscoveryCodec.h"

#include <algorithm>

namespace vxsim::discovery {

namespace {

constexpr size_t HeaderSize = 96;
constexpr uint8_t Start = 0xC2;
constexpr uint8_t MagicBytes[4] = {0x50, 0x44, 0x4E, 0x56};

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

std::vector<uint8_t> encode(const Datagram& d) {
    const size_t total = (HeaderSize + d.payload.size() + 3) & ~size_t{3};
    std::vector<uint8_t> out{Start, static_cast<uint8_t>(total - 3), static_cast<uint8_t>((total - 3) >> 8),
                             d.opCode};
    out.insert(out.end(), std::begin(MagicBytes), std::end(MagicBytes));
    put32(out, d.version);
    put32(out, d.deviceType);
    std::string serial = d.serialNumber.substr(0, 63);
    out.insert(out.end(), serial.begin(), serial.end());
    out.resize(80, 0);
    out.insert(out.end(), d.token.begin(), d.token.end());
    out.insert(out.end(), d.payload.begin(), d.payload.end());
    out.resize(total, 0);
    return out;
}

bool decode(const uint8_t* data, size_t size, Datagram& d) {
    if (size < HeaderSize || size % 4 != 0 || data[0] != Start) return false;
    if (static_cast<size_t>(data[1] | data[2] << 8) != size - 3) return false;
    if (!std::equal(std::begin(MagicBytes), std::end(MagicBytes), data + 4)) return false;
    d.opCode = data[3];
    d.version = get32(data + 8);
    d.deviceType = get32(data + 12);
    const uint8_t* serial = data + 16;
    d.serialNumber.assign(reinterpret_cast<const char*>(serial),
                          static_cast<size_t>(std::find(serial, serial + 63, 0) - serial));
    std::copy(data + 80, data + 96, d.token.begin());
    d.payload.assign(data + HeaderSize, data + size);
    return true;
}

std::vector<uint8_t> discoverPayload(uint8_t protocolId, bool available, uint16_t port, const std::string& info) {
    const std::string text = info.substr(0, 63);
    // Built by appending: g++ 12 at -O2 misreads an insert behind an
    // initializer list as an out-of-bounds copy.
    std::vector<uint8_t> out;
    out.reserve(5 + text.size() + 1);
    out.push_back(protocolId);
    out.push_back(static_cast<uint8_t>(available ? 1 : 0));
    out.push_back(static_cast<uint8_t>(port));
    out.push_back(static_cast<uint8_t>(port >> 8));
    out.push_back(static_cast<uint8_t>(text.size()));
    for (char c : text) out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
    return out;
}

}  // namespace vxsim::discovery
