#include "TextProtocol.h"

#include <charconv>
#include <cstring>
#include <regex>

#include "QMXControl.h"

namespace qmxtext {

namespace {

// A colon, a name of one to four capitals, an optional channel digit in
// parentheses, a decimal first number, up to nine further values and the
// line feed.
const std::regex& replyGrammar() {
    static const std::regex grammar(
        R"(^:([A-Z]{1,4})(?:\((\d)\))?(-?\d+))"
        R"((?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?)"
        R"((?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?)"
        R"((?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?(?:,(-?0?x?[0-9a-fA-F]+))?)"
        "\n$");
    return grammar;
}

bool isError(const Reply& reply) { return reply.name == "E"; }

// The code of an "E" reply that carries data's place: its second value. A
// reply without one, or with 0 (success, but no data), is no answer.
uint32_t errorCode(const Reply& reply) {
    if (reply.count < 2 || reply.values[1] == 0) return VX_PROTOCOL_ERROR;
    return reply.values[1];
}

bool isSystemError(const Reply& reply) { return isError(reply) && reply.values[0] == kWholeSystem; }

}  // namespace

std::string textCommand(std::string_view name, std::initializer_list<int64_t> arguments) {
    std::string text(name);
    bool first = true;
    for (int64_t argument : arguments) {
        if (!first) text += ',';
        text += std::to_string(argument);
        first = false;
    }
    return text;
}

std::string frameCommand(std::string_view command) {
    std::string line = ":";
    line += command;
    line += '\n';
    return line;
}

std::optional<uint32_t> convertValue(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.find("0x") != std::string_view::npos) {
        if (text.substr(0, 2) != "0x") return std::nullopt;
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative) {
        if (magnitude > 0x80000000u) return std::nullopt;
        return static_cast<uint32_t>(0 - magnitude);
    }
    if (magnitude > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(magnitude);
}

uint32_t parseReply(std::string_view line, Reply* reply) {
    const size_t colon = line.find(':');
    line.remove_prefix(colon == std::string_view::npos ? line.size() : colon);
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(line.begin(), line.end(), match, replyGrammar()))
        return VX_PROTOCOL_ERROR;
    reply->name = match[1].str();
    reply->count = 0;
    for (size_t group = 2; group < match.size(); ++group) {
        if (!match[group].matched) continue;
        const std::string_view text(&*match[group].first,
                                    static_cast<size_t>(match[group].length()));
        const std::optional<uint32_t> value = convertValue(text);
        if (!value) return VX_INTERNAL_ERROR;
        reply->values[static_cast<size_t>(reply->count++)] = *value;
    }
    return VX_OK;
}

uint32_t acknowledgeRule(const Reply& reply, uint32_t channel) {
    if (!isError(reply) || reply.count != 2) return VX_PROTOCOL_ERROR;
    if (reply.values[0] != kWholeSystem && reply.values[0] != channel) return VX_PROTOCOL_ERROR;
    return reply.values[1];
}

uint32_t systemFirstAcknowledgeRule(const Reply& reply, uint32_t target) {
    if (isSystemError(reply)) return reply.count < 2 ? VX_PROTOCOL_ERROR : reply.values[1];
    if (!isError(reply) || reply.count != 2 || reply.values[0] != target)
        return VX_PROTOCOL_ERROR;
    return reply.values[1];
}

uint32_t unaddressedAcknowledgeRule(const Reply& reply) {
    if (isSystemError(reply)) return reply.count < 2 ? VX_PROTOCOL_ERROR : reply.values[1];
    return isError(reply) && reply.count == 2 ? VX_OK : VX_PROTOCOL_ERROR;
}

uint32_t dataRule(const Reply& reply, const DataShape& shape) {
    if (isSystemError(reply)) return errorCode(reply);
    return hasShape(reply, shape) ? VX_OK : VX_PROTOCOL_ERROR;
}

bool hasShape(const Reply& reply, const DataShape& shape) {
    if (reply.name != shape.name || reply.count != shape.count) return false;
    if (shape.first && reply.values[0] != *shape.first) return false;
    return !shape.second || reply.values[1] == *shape.second;
}

uint32_t channelPropertyRule(const Reply& reply, uint32_t channel, uint32_t key, int32_t* value) {
    if (isError(reply)) return errorCode(reply);
    const uint32_t status = dataRule(reply, {"CPR", 3, channel, key});
    if (status == VX_OK && value) *value = static_cast<int32_t>(reply.values[2]);
    return status;
}

uint32_t interfaceVersionRule(const Reply& reply, uint32_t* version) {
    if (isSystemError(reply)) return errorCode(reply);
    if (reply.name != "IV" || (reply.count != 3 && reply.count != 4)) return VX_PROTOCOL_ERROR;
    const auto& v = reply.values;
    const uint32_t packed =
        reply.count == 3 ? packVersion(v[0], v[1], v[2]) : packVersion(v[0], v[1], v[2], v[3]);
    if (version) *version = packed;
    return VX_OK;
}

uint32_t firmwareVersionRule(const Reply& reply, uint32_t kind, uint32_t index, uint32_t* version) {
    const uint32_t status = dataRule(reply, {"FV", 9, index});
    if (status != VX_OK) return status;
    constexpr uint32_t kSecondFirmware = 3;
    const size_t at = kind == kSecondFirmware ? 5 : 1;
    const auto& v = reply.values;
    if (version) *version = packVersion(v[at], v[at + 1], v[at + 2], v[at + 3]);
    return VX_OK;
}

uint32_t featurePermissionRule(const Reply& reply, uint32_t channel, uint32_t* number) {
    const uint32_t status = dataRule(reply, {"FP", 2, channel});
    if (status == VX_OK && number) *number = reply.values[1];
    return status;
}

uint32_t indexMapReadRule(const Reply& reply, uint8_t* entry) {
    if (isSystemError(reply)) return errorCode(reply);
    constexpr uint32_t kReadAnswer = 1;
    if (reply.count < 3 || reply.values[0] != kReadAnswer) return VX_PROTOCOL_ERROR;
    if (entry) *entry = static_cast<uint8_t>(reply.values[2]);
    return VX_OK;
}

uint32_t packVersion(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 27) + (b << 24) + (c << 16) + d;
}

uint32_t packVersion(uint32_t a, uint32_t b, uint32_t c) { return (a << 24) + (b << 16) + c; }

uint32_t copyLocator(std::string_view locator, char* buffer, uint32_t* size) {
    if (size == nullptr) return VX_INVALID_PARAMETER;
    const uint32_t capacity = *size;
    *size = static_cast<uint32_t>(locator.size());
    if (buffer == nullptr || locator.size() + 1 > capacity) return VX_QUERY_BUFFER_SIZE;
    std::memcpy(buffer, locator.data(), locator.size());
    buffer[locator.size()] = '\0';
    return VX_OK;
}

}  // namespace qmxtext
