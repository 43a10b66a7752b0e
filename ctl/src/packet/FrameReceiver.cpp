#include "packet/FrameReceiver.h"

#include <algorithm>

#include "log/Log.h"

namespace vxctl {

namespace {

struct ValueSize {
    VX_CTL_DataType dataType;
    size_t bytes;  // 0: zero-terminated strings
};

constexpr ValueSize kValueSizes[] = {
    {VX_CTL_DT_INT32, 4}, {kDataTypeOther32, 4}, {VX_CTL_DT_INT64, 8},
    {kDataTypeOther64, 8}, {VX_CTL_DT_STRING, 0},
};

bool isStartByte(uint8_t byte) { return byte == kCommandStart || byte == kSystemStart; }

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(readU16(p)) | (static_cast<uint32_t>(readU16(p + 2)) << 16);
}

// The bytes after the type byte and before the CRC (padding included).
struct Body {
    const uint8_t* payload;
    size_t size;
};

bool validRequestId(uint8_t id) { return id >= kFirstRequestId && id <= kLastRequestId; }

// The values of a 0x82 or 0x83 reply start at `values` and may run up to
// the end of the body; a reply whose values would reach past it fails its
// request instead of being read.
void decodeValues(uint8_t requestId, VX_CTL_DataType dataType, uint16_t count, const uint8_t* values,
                  size_t available, FrameHandlers& handlers) {
    const auto known = std::find_if(std::begin(kValueSizes), std::end(kValueSizes),
                                    [&](const ValueSize& v) { return v.dataType == dataType; });
    if (known == std::end(kValueSizes)) return handlers.completion(requestId, VX_CTL_INVALID_PACKET);

    size_t size = 0;
    if (known->bytes != 0) {
        size = static_cast<size_t>(count) * known->bytes;
        if (size > available) return handlers.completion(requestId, VX_CTL_INVALID_PACKET);
    } else {
        for (uint16_t found = 0; found < count; ++found) {
            const uint8_t* zero = std::find(values + size, values + available, uint8_t{0});
            if (zero == values + available) return handlers.completion(requestId, VX_CTL_INVALID_PACKET);
            size = static_cast<size_t>(zero - values) + 1;
        }
    }
    handlers.valueReply({requestId, dataType, count, values, size});
}

void decodeCompletion(const Body& body, FrameHandlers& handlers) {
    const uint8_t id = body.payload[0];
    if (!validRequestId(id)) return handlers.protocolError(VX_CTL_INVALID_PACKET);
    handlers.completion(id, readU16(body.payload + 1));
}

void decodePropertyValue(const Body& body, FrameHandlers& handlers) {
    const uint8_t id = body.payload[0];
    if (!validRequestId(id)) return handlers.protocolError(VX_CTL_INVALID_PACKET);
    decodeValues(id, body.payload[1], 1, body.payload + 2, body.size - 2, handlers);
}

void decodePropertyArray(const Body& body, FrameHandlers& handlers) {
    const uint8_t id = body.payload[0];
    if (!validRequestId(id)) return handlers.protocolError(VX_CTL_INVALID_PACKET);
    decodeValues(id, body.payload[1], readU16(body.payload + 2), body.payload + 4, body.size - 4,
                 handlers);
}

void decodeEvent(const Body& body, FrameHandlers& handlers) {
    handlers.event(body.payload[0], readU16(body.payload + 1),
                   static_cast<int32_t>(readU32(body.payload + 3)));
}

void decodeStreamFlowStatus(const Body& body, FrameHandlers& handlers) {
    handlers.streamFlowStatus(readU32(body.payload), readU32(body.payload + 4));
}

void decodeVersionReply(const Body& body, FrameHandlers& handlers) {
    std::array<uint32_t, 4> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = readU32(body.payload + 4 * i);
    handlers.versionReply(words);
}

void decodeHandshakeReply(const Body& body, FrameHandlers& handlers) {
    if (readU32(body.payload) != kHandshakeMagic) return handlers.protocolError(VX_CTL_INVALID_PACKET);
    handlers.handshakeReply(readU16(body.payload + 4));
}

void decodeReadyWithStatus(const Body& body, FrameHandlers& handlers) {
    handlers.systemReady({true, readU16(body.payload)});
}

void decodeReady(const Body&, FrameHandlers& handlers) { handlers.systemReady({true, 0}); }

struct Rule {
    uint8_t start;
    uint8_t type;
    // The length must be above `above`, or exactly `exact` (with a CRC).
    uint16_t above;
    uint16_t exact;
    // Bytes the decoder reads after the type byte; they must lie before the CRC.
    size_t fixed;
    void (*decode)(const Body&, FrameHandlers&);
    // A system-ready frame of the wrong length still goes to its handler.
    bool lengthGoesToHandler;
};

constexpr uint8_t commandType(CommandType type) { return static_cast<uint8_t>(type); }
constexpr uint8_t systemType(SystemType type) { return static_cast<uint8_t>(type); }

constexpr Rule kRules[] = {
    {kCommandStart, commandType(CommandType::Completion), 4, 0, 3, decodeCompletion, false},
    {kCommandStart, commandType(CommandType::PropertyValue), 8, 0, 2, decodePropertyValue, false},
    {kCommandStart, commandType(CommandType::PropertyArray), 8, 0, 4, decodePropertyArray, false},
    {kCommandStart, commandType(CommandType::Event), 7, 0, 7, decodeEvent, false},
    {kCommandStart, commandType(CommandType::StreamFlowStatus), 12, 0, 8, decodeStreamFlowStatus, false},
    {kCommandStart, commandType(CommandType::VersionReply), 16, 0, 16, decodeVersionReply, false},
    {kSystemStart, systemType(SystemType::HandshakeReply), 0, 13, 6, decodeHandshakeReply, false},
    {kSystemStart, systemType(SystemType::SystemReadyWithStatus), 0, 9, 2, decodeReadyWithStatus, true},
    {kSystemStart, systemType(SystemType::SystemReady), 0, 5, 0, decodeReady, true},
};

}  // namespace

void dispatchFrame(const uint8_t* frame, size_t size, bool crc, FrameHandlers& handlers) {
    if (size <= kHeaderBytes) return;
    const auto rule = std::find_if(std::begin(kRules), std::end(kRules), [&](const Rule& r) {
        return r.start == frame[0] && r.type == frame[kHeaderBytes];
    });
    if (rule == std::end(kRules)) return;

    const size_t length = readU16(frame + 1);
    const size_t trailer = crc ? kCrcBytes : 0;
    const size_t bodySize = size >= kHeaderBytes + 1 + trailer ? size - kHeaderBytes - 1 - trailer : 0;
    const bool lengthOk = length + kHeaderBytes == size &&
                          (rule->exact ? length + (crc ? 0 : kCrcBytes) == rule->exact
                                       : length > rule->above) &&
                          bodySize >= rule->fixed;
    if (!lengthOk) {
        if (rule->lengthGoesToHandler) return handlers.systemReady({false, 0});
        return handlers.protocolError(VX_CTL_INVALID_PACKET);
    }
    rule->decode({frame + kHeaderBytes + 1, bodySize}, handlers);
}

FrameReceiver::FrameReceiver(const Crc32* crc) : crc_(crc) { buffer_.reserve(kFrameCapacity); }

void FrameReceiver::receive(const uint8_t* data, size_t size, FrameHandlers& handlers) {
    size_t at = 0;
    if (size > 0 && dropZero_.exchange(false) && data[0] == 0) ++at;
    consume(data + at, size - at, handlers);
}

void FrameReceiver::consume(const uint8_t* data, size_t size, FrameHandlers& handlers) {
    // A length that cannot frame whole words up to a CRC would leave the
    // frame without a type byte or let the word-wise CRC run past it.
    const size_t minimumLength = 1 + (crc_ ? kCrcBytes : 0);
    size_t at = 0;
    while (at < size) {
        // After a header that could not be, only a known start byte begins
        // the next frame: the bytes before it were reported with that header.
        if (resyncing_ && buffer_.empty() && !isStartByte(data[at])) {
            ++at;
            continue;
        }
        if (buffer_.size() < kHeaderBytes) {
            const size_t take = std::min(kHeaderBytes - buffer_.size(), size - at);
            buffer_.insert(buffer_.end(), data + at, data + at + take);
            at += take;
            if (buffer_.size() < kHeaderBytes) break;
            const size_t length = readU16(buffer_.data() + 1);
            if (length < minimumLength || length > kMaxLength || (length + kHeaderBytes) % 4 != 0) {
                resync(handlers);
                continue;
            }
            resyncing_ = false;
        }
        const size_t target = kHeaderBytes + readU16(buffer_.data() + 1);
        const size_t take = std::min(target - buffer_.size(), size - at);
        buffer_.insert(buffer_.end(), data + at, data + at + take);
        at += take;
        if (buffer_.size() == target) frameComplete(handlers);
    }
}

void FrameReceiver::resync(FrameHandlers& handlers) {
    if (!resyncing_) handlers.protocolError(VX_CTL_INVALID_PACKET);
    resyncing_ = true;
    // Dropping the whole header would lose a frame starting inside it: the
    // search for the next start byte begins at the header's second byte.
    std::array<uint8_t, kHeaderBytes> header{};
    std::copy(buffer_.begin(), buffer_.end(), header.begin());
    buffer_.clear();
    consume(header.data() + 1, header.size() - 1, handlers);
}

void FrameReceiver::frameComplete(FrameHandlers& handlers) {
    if (crc_ && crc_->compute(buffer_.data(), buffer_.size()) != kCrcResidue) {
        buffer_.clear();
        handlers.protocolError(VX_CTL_INVALID_PACKET);
        return;
    }
    logPacket(" IN", buffer_.data(), buffer_.size());
    dispatchFrame(buffer_.data(), buffer_.size(), crc_ != nullptr, handlers);
    buffer_.clear();
}

}  // namespace vxctl
