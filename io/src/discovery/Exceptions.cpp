#include "discovery/Exceptions.h"

#include <cstring>

namespace veltraxnd {

std::string systemMessage(int code) {
    if (code == 0) return {};
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

std::string withSystemMessage(const std::string& text, int code) {
    return code == 0 ? text : text + ": " + systemMessage(code);
}

}  // namespace veltraxnd
