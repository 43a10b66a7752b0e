#include "platform/LogText.h"

#include <cstdio>

namespace vxplatform {

std::string formatElapsed(std::chrono::microseconds elapsed) {
    constexpr long long kSecond = 1000000LL;
    constexpr long long kHour = 3600LL * kSecond;
    long long u = elapsed.count();
    std::string text;
    if (u < 0) {
        text = "-";
        u = -u;
    }
    if (const long long hours = u / kHour) {
        text += std::to_string(hours) + ":";
        u %= kHour;
    }
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%06lld", u % kSecond);
    return text + std::to_string(u / kSecond) + "." + fraction;
}

std::string hexDump(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace vxplatform
