#include "QMXAsciiProtocol.h"

#include <limits>
#include <optional>
#include <vector>

#include "SystemConnection.h"
#include "UpdateException.h"
#include "platform/Text.h"

namespace vxfw {

namespace {

constexpr uint8_t kReplyStart = ':';
constexpr uint8_t kLineEnd = '\n';
constexpr std::string_view kAcknowledge = "E-1,0";
constexpr std::string_view kChannelAcknowledge = "E";

// A decimal field read the way C's atoi reads it: leading white space, a
// sign, digits up to the first other character; no digit is 0. A value
// beyond 32 bits is none (the reply is then of the wrong form).
std::optional<int32_t> fieldValue(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > kLimit) return std::nullopt;
    }
    if (!negative && magnitude == kLimit) return std::nullopt;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t valueOrWrongForm(std::string_view text) {
    const std::optional<int32_t> value = fieldValue(text);
    if (!value) throw UpdateException(kProtocolError);
    return *value;
}

// The reply must start with `name`; what follows it.
std::string_view after(std::string_view body, std::string_view name) {
    if (body.substr(0, name.size()) != name) throw UpdateException(kProtocolError);
    return body.substr(name.size());
}

// The comma-separated fields after `name` (empty ones skipped), at least
// `needed` of them, converted.
std::vector<int32_t> fields(std::string_view body, std::string_view name, size_t needed) {
    const std::vector<std::string> pieces = vxplatform::splitText(after(body, name), ",");
    if (pieces.size() < needed) throw UpdateException(kProtocolError);
    std::vector<int32_t> values;
    for (size_t i = 0; i < needed; ++i) values.push_back(valueOrWrongForm(pieces[i]));
    return values;
}

void expect(bool condition) {
    if (!condition) throw UpdateException(kProtocolError);
}

}  // namespace

std::string QMXAsciiProtocol::readLine(size_t capacity) {
    SystemConnection& link = connection();
    uint8_t byte = 0;
    do link.receive(1, &byte);
    while (byte != kReplyStart);
    std::string body;
    for (;;) {
        link.receive(1, &byte);
        if (byte == kLineEnd) return body;
        body.push_back(static_cast<char>(byte));
        if (body.size() >= capacity) throw UpdateException(kBufferFull);
    }
}

std::string QMXAsciiProtocol::exchange(const std::string& body, size_t capacity) {
    SystemConnection& link = connection();
    link.send(1, &kReplyStart);
    link.send(static_cast<uint32_t>(body.size()), reinterpret_cast<const uint8_t*>(body.data()));
    link.send(1, &kLineEnd);
    return readLine(capacity);
}

void QMXAsciiProtocol::expectAcknowledge(const std::string& body) {
    expect(exchange(body) == kAcknowledge);
}

void QMXAsciiProtocol::expectChannelAcknowledge(const std::string& body, int32_t channel,
                                                size_t capacity) {
    const std::vector<int32_t> values = fields(exchange(body, capacity), kChannelAcknowledge, 2);
    expect(values[0] == channel && values[1] == 0);
}

void QMXAsciiProtocol::reset() {
    expectAcknowledge("R");
    connection().pause(kResetPause);
}

void QMXAsciiProtocol::setCommunicationMode() { expectAcknowledge("SCM0"); }

int32_t QMXAsciiProtocol::getNumberOfChannels() {
    return valueOrWrongForm(after(exchange("GNC"), "N"));
}

int32_t QMXAsciiProtocol::getSensorType(int32_t channel) {
    const std::vector<int32_t> values = fields(exchange("GST" + toText(channel)), "ST", 2);
    expect(values[0] == channel);
    return values[1];
}

void QMXAsciiProtocol::setSensorType(int32_t channel, int32_t type) {
    expectChannelAcknowledge("SST" + toText(channel) + "," + toText(type), channel);
}

int32_t QMXAsciiProtocol::getSensorEnabled() {
    return valueOrWrongForm(after(exchange("GSE"), "SE"));
}

void QMXAsciiProtocol::setSensorEnabled(int32_t mode) { expectAcknowledge("SSE" + toText(mode)); }

bool QMXAsciiProtocol::isHCMPresent() { return false; }

void QMXAsciiProtocol::readHCMEepromType(uint32_t&, uint32_t&) {}

void QMXAsciiProtocol::readHCMConfigBlock(uint32_t, uint8_t[8]) {}

void QMXAsciiProtocol::writeHCMConfigBlock(uint32_t, const uint8_t[8]) {}

int32_t QMXAsciiProtocol::readTuningParameter(int32_t channel, int32_t parameter) {
    const std::vector<int32_t> values =
        fields(exchange("RTP" + toText(channel) + "," + toText(parameter)), "TP", 3);
    expect(values[0] == channel && values[1] == parameter);
    return values[2];
}

void QMXAsciiProtocol::writeTuningParameter(int32_t channel, int32_t parameter, int32_t value) {
    expectChannelAcknowledge(
        "WTP" + toText(channel) + "," + toText(parameter) + "," + toText(value), channel,
        kWriteTuningReplyCapacity);
}

}  // namespace vxfw
