#include "VeltraxControlPrivate"

namespace vxctl {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;

uint32_t loadLittleEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

Crc32::Crc32() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ kPolynomial : value >> 1;
        tables_[0][i] = value;
    }
    // Table k advances a byte's contribution by k further zero bytes.
    for (size_t k = 1; k < tables_.size(); ++k) {
        for (size_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables_[k - 1][i];
            tables_[k][i] = (previous >> 8) ^ tables_[0][previous & 0xFF];
        }
    }
}

uint32_t Crc32::compute(const uint8_t* data, size_t size) const {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t at = 0; at + 4 <= size; at += 4) {
        crc ^= loadLittleEndian(data + at);
        crc = tables_[3][crc & 0xFF] ^ tables_[2][(crc >> 8) & 0xFF] ^ tables_[1][(crc >> 16) & 0xFF] ^
              tables_[0][crc >> 24];
    }
    return ~crc;
}

}  // namespace vxctl
