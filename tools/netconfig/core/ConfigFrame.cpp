#include "ConfigFrame.h"

#include <algorithm>

namespace netconfig {

namespace {

uint8_t* putWord(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
    return at + 2;
}

uint16_t word(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

template <size_t N>
uint8_t* put(uint8_t* at, const std::array<uint8_t, N>& bytes) {
    return std::copy(bytes.begin(), bytes.end(), at);
}

template <size_t N>
const uint8_t* take(const uint8_t* at, std::array<uint8_t, N>& bytes) {
    std::copy(at, at + N, bytes.begin());
    return at + N;
}

}  // namespace

ConfigFrame makeRequest(uint16_t opcode, const MacAddress& destination) {
    ConfigFrame frame;
    frame.destinationMac = destination;
    frame.etherType = ConfigEtherType;
    frame.marker = RequestMarker;
    frame.headerWord = HeaderWord;
    frame.code = opcode;
    frame.ip = DefaultIp;
    frame.gateway = DefaultGateway;
    frame.mask = DefaultMask;
    frame.port = DefaultPort;
    frame.zeroDigits = ZeroDigits;
    return frame;
}

void encodeFrame(const ConfigFrame& frame, FrameBytes& buffer) {
    uint8_t* at = buffer.data();
    at = put(at, frame.destinationMac);
    at = put(at, frame.sourceMac);
    for (uint16_t value : {frame.etherType, frame.marker, frame.headerWord, frame.code}) at = putWord(at, value);
    at = put(at, frame.ip);
    at = put(at, frame.gateway);
    at = put(at, frame.mask);
    at = putWord(at, frame.port);
    at = put(at, frame.zeroDigits);
    std::fill(at, buffer.data() + buffer.size(), 0);
}

int decodeFrame(ConfigFrame& frame, std::span<const uint8_t> captured, size_t wireLength) {
    // The wire length alone does not do: a capture may hold fewer bytes than
    // the frame had.
    if (wireLength < FrameLength || captured.size() < FrameLength) return ResultNotAReply;
    const uint8_t* at = captured.data();
    if (word(at + 12) != ConfigEtherType || word(at + 14) == RequestMarker) return ResultNotAReply;

    at = take(at, frame.destinationMac);
    at = take(at, frame.sourceMac);
    for (uint16_t* field : {&frame.etherType, &frame.marker, &frame.headerWord, &frame.code}) {
        *field = word(at);
        at += 2;
    }
    at = take(at, frame.ip);
    at = take(at, frame.gateway);
    at = take(at, frame.mask);
    frame.port = word(at);
    take(at + 2, frame.zeroDigits);
    return ResultOk;
}

int replyResult(uint16_t status) {
    // The failure status has the invalid-parameter bit set too; it wins.
    if (status == StatusFailure) return ResultFailureStatus;
    if (status & StatusInvalidParameterBit) return ResultInvalidParameter;
    return ResultOk;
}

}  // namespace netconfig
