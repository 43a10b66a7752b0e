#include "log/LogSettings.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/Text.h"

namespace vxctl {

namespace {

struct ModuleName {
    ModuleType type;
    const char* name;
};

constexpr ModuleName kModuleNames[] = {
    {ModuleType::Interface, "IM"},
    {ModuleType::Drive, "DM"},
    {ModuleType::HandControl, "HM"},
};

std::optional<ModuleType> moduleTypeNamed(std::string_view name) {
    for (const ModuleName& entry : kModuleNames)
        if (name == entry.name) return entry.type;
    return std::nullopt;
}

constexpr size_t kMessageSourceFields = 4;

std::optional<MessageSource> readMessageSource(std::string_view value) {
    const auto pieces = vxplatform::splitText(value, ",");
    if (pieces.size() != kMessageSourceFields) return std::nullopt;
    const auto type = moduleTypeNamed(vxplatform::trimText(pieces[0]));
    const auto index = readInt32(pieces[1]);
    const auto element = readInt32(pieces[2]);
    const auto number = readInt32(pieces[3]);
    if (!type || !index || !element || !number) return std::nullopt;
    return MessageSource{*type, *index, *element, *number};
}

std::optional<OldLogs> readOldLogs(std::string_view value) {
    if (value == "append") return OldLogs::Append;
    if (value == "delete") return OldLogs::Delete;
    if (value == "keep") return OldLogs::Keep;
    return std::nullopt;
}

void applyLine(std::string_view key, std::string_view value, LogSettings& settings) {
    if (key == "LogLevel") {
        if (const auto level = readInt32(value)) settings.logLevel = *level;
    } else if (key == "LogArgs") {
        if (const auto flag = readInt32(value)) settings.logArgs = *flag != 0;
    } else if (key == "DeviceLogging") {
        if (const auto flag = readInt32(value)) settings.deviceLogging = *flag != 0;
    } else if (key == "LogPath") {
        settings.logPath = std::string(value);
    } else if (key == "OldLogs") {
        if (const auto policy = readOldLogs(value)) settings.oldLogs = *policy;
    } else if (key == "MsgSrc") {
        if (const auto source = readMessageSource(value)) settings.messageSources.push_back(*source);
    }
}

}  // namespace

const char* moduleTypeName(ModuleType type) {
    for (const ModuleName& entry : kModuleNames)
        if (entry.type == type) return entry.name;
    return "?";
}

std::optional<int32_t> readInt32(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int32_t>::min())
                                     : std::numeric_limits<int32_t>::max();
    long long magnitude = 0;
    const size_t firstDigit = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) return std::nullopt;
    }
    if (at == firstDigit) return std::nullopt;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::optional<LogSettings> parseIniSettings(std::istream& in) {
    std::string line;
    if (!std::getline(in, line) || vxplatform::trimRight(line) != kIniFirstLine) return std::nullopt;

    LogSettings settings;
    while (std::getline(in, line)) {
        if (!line.empty() && (line[0] == ';' || line[0] == '#')) continue;
        // The key ends at the first blank or "="; the value is all after
        // that one character, so "LogLevel = 3" has the value "= 3".
        const size_t separator = line.find_first_of(" =");
        if (separator == std::string::npos) continue;
        applyLine(vxplatform::trimText(std::string_view(line).substr(0, separator)),
                  vxplatform::trimText(std::string_view(line).substr(separator + 1)), settings);
    }
    settings.logLevel = std::clamp(settings.logLevel, 0, kMaxLogLevel);
    return settings;
}

}  // namespace vxctl
