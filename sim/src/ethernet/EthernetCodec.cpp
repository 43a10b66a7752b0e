#include "EthernetCodec.h"

#include <algorithm>

namespace vxsim::ethernet {

namespace {

uint16_t wordAt(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

void putWord(Frame& frame, size_t offset, uint16_t value) {
    frame[offset] = static_cast<uint8_t>(value >> 8);
    frame[offset + 1] = static_cast<uint8_t>(value);
}

Frame header(const MacAddress& to, const MacAddress& from, uint16_t etherType, uint16_t marker, uint16_t code) {
    Frame frame{};
    std::copy(to.begin(), to.end(), frame.begin());
    std::copy(from.begin(), from.end(), frame.begin() + 6);
    putWord(frame, 12, etherType);
    putWord(frame, 14, marker);
    putWord(frame, 16, 1);
    putWord(frame, 18, code);
    std::fill(frame.begin() + 34, frame.begin() + 42, '0');
    return frame;
}

}  // namespace

std::optional<Request> decodeRequest(const uint8_t* bytes, size_t length) {
    if (length < FrameLength || wordAt(bytes + 12) != ConfigEtherType || wordAt(bytes + 14) != 0) return std::nullopt;
    Request request;
    std::copy(bytes, bytes + 6, request.destination.begin());
    std::copy(bytes + 6, bytes + 12, request.source.begin());
    request.opcode = wordAt(bytes + 18);
    std::copy(bytes + 20, bytes + 24, request.payload.ip.begin());
    std::copy(bytes + 24, bytes + 28, request.payload.gateway.begin());
    std::copy(bytes + 28, bytes + 32, request.payload.mask.begin());
    request.payload.port = wordAt(bytes + 32);
    return request;
}

Frame encodeReply(const MacAddress& to, const MacAddress& from, uint16_t status, const EthernetConfig& config) {
    Frame frame = header(to, from, ConfigEtherType, ReplyMarker, status);
    std::copy(config.ip.begin(), config.ip.end(), frame.begin() + 20);
    std::copy(config.gateway.begin(), config.gateway.end(), frame.begin() + 24);
    std::copy(config.mask.begin(), config.mask.end(), frame.begin() + 28);
    putWord(frame, 32, config.port);
    return frame;
}

Frame encodeForeign(const MacAddress& to, const MacAddress& from, bool otherEtherType) {
    return otherEtherType ? header(to, from, OtherEtherType, ReplyMarker, StatusSuccess)
                          : header(to, from, ConfigEtherType, ForeignMarker, StatusSuccess);
}

}  // namespace vxsim::ethernet
