#include "systems/gen1/OpenHelpers.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "systems/gen1/System.h"

namespace qmx {

namespace {

constexpr int32_t kDefaultOpenTimeoutMs = 3000;

bool endsLine(char c) { return c == '\n' || c == '\r'; }

// The value after "open-timeout" and a blank, on the key's own line: a key
// without a value must not borrow the next line's.
std::string_view openTimeoutOption(std::string_view text) {
    const std::size_t key = text.find("open-timeout");
    if (key == std::string_view::npos) return {};
    std::size_t i = key + std::string_view("open-timeout").size();
    while (i < text.size() && text[i] != ' ' && !endsLine(text[i])) ++i;
    if (i >= text.size() || endsLine(text[i])) return {};
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t begin = i;
    while (i < text.size() && !endsLine(text[i])) ++i;
    return text.substr(begin, i - begin);
}

}  // namespace

int32_t parseOpenTimeout(const char* optionText) {
    if (!optionText) return kDefaultOpenTimeoutMs;
    const std::string_view value = openTimeoutOption(optionText);
    if (value.empty()) return kDefaultOpenTimeoutMs;
    // Digits up to the first non-digit; an absurdly long number stays out of
    // the open's accepted range instead of wrapping into it.
    constexpr uint64_t kCeiling = std::numeric_limits<int32_t>::max();
    uint64_t milliseconds = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        milliseconds = milliseconds * 10 + static_cast<uint64_t>(c - '0');
        if (milliseconds > kCeiling) return static_cast<int32_t>(kCeiling);
    }
    return static_cast<int32_t>(milliseconds);
}

bool isPositionerChannel(const System& system, uint32_t channel) {
    if (channel >= system.channelCount()) return false;
    const uint16_t moduleClass = system.moduleWord(channel) & 0xF000;
    return moduleClass == 0x2000 || moduleClass == 0x6000 || moduleClass == 0xB000;
}

}  // namespace qmx
