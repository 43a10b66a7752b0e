#include "sim/Gen2Frame.h"

#include <algorithm>

namespace vxsim::gen2 {

namespace {

constexpr size_t kHeaderBytes = 3;
constexpr size_t kCrcBytes = 4;
constexpr size_t kMinLength = 1 + kCrcBytes;

bool isStartByte(uint8_t byte) { return byte == kCommandStart || byte == kSystemStart; }

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

size_t paddingAfter(size_t typeAndPayload) { return (4 - (typeAndPayload - 1) % 4) % 4; }

Bytes encodeFrame(uint8_t start, uint8_t type, const Bytes& payload) {
    const size_t body = 1 + payload.size() + paddingAfter(1 + payload.size());
    const size_t length = body + kCrcBytes;
    Bytes frame{start, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), type};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.resize(kHeaderBytes + body, 0);
    Fields crc;
    crc.u32(crc32(frame.data(), frame.size()));
    frame.insert(frame.end(), crc.bytes().begin(), crc.bytes().end());
    return frame;
}

Fields& Fields::u8(uint64_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    return *this;
}
Fields& Fields::u16(uint64_t v) { return u8(v).u8(v >> 8); }
Fields& Fields::u32(uint64_t v) { return u16(v).u16(v >> 16); }
Fields& Fields::u64(uint64_t v) { return u32(v).u32(v >> 32); }
Fields& Fields::text(const std::string& characters) {
    bytes_.insert(bytes_.end(), characters.begin(), characters.end());
    return u8(0);
}

std::vector<FrameParser::Item> FrameParser::feed(const uint8_t* data, size_t size) {
    pending_.insert(pending_.end(), data, data + size);
    std::vector<Item> items;
    auto reject = [&](size_t count, std::string reason) {
        items.push_back({std::nullopt, Rejected{Bytes(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(count)),
                                                std::move(reason)}});
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(count));
    };
    while (!pending_.empty()) {
        // Zero bytes between frames are an idle line, or filler a host sends
        // to complete a frame cut earlier: skipped, as by a controller that
        // looks for a start byte, without a rejection.
        if (pending_[0] == 0) {
            const auto next = std::find_if(pending_.begin(), pending_.end(), [](uint8_t byte) { return byte != 0; });
            pending_.erase(pending_.begin(), next);
            continue;
        }
        if (!isStartByte(pending_[0])) {
            const auto next = std::find_if(pending_.begin(), pending_.end(), isStartByte);
            reject(static_cast<size_t>(next - pending_.begin()), "no start byte");
            continue;
        }
        if (pending_.size() < kHeaderBytes) break;
        const size_t length = pending_[1] | (pending_[2] << 8);
        if (length < kMinLength || length > kMaxLength || (length + kHeaderBytes) % 4 != 0) {
            reject(kHeaderBytes, "impossible length " + std::to_string(length));
            continue;
        }
        const size_t total = kHeaderBytes + length;
        if (pending_.size() < total) break;
        Bytes bytes(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(total));
        const uint32_t stored = bytes[total - 4] | (bytes[total - 3] << 8) | (bytes[total - 2] << 16) |
                                (static_cast<uint32_t>(bytes[total - 1]) << 24);
        if (crc32(bytes.data(), total - kCrcBytes) != stored) {
            reject(total, "bad CRC");
            continue;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(total));
        Frame frame;
        frame.start = bytes[0];
        frame.type = bytes[kHeaderBytes];
        frame.body.assign(bytes.begin() + kHeaderBytes + 1, bytes.end() - kCrcBytes);
        frame.bytes = std::move(bytes);
        items.push_back({std::move(frame), std::nullopt});
    }
    return items;
}

}  // namespace vxsim::gen2
