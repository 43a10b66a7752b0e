#include "core/Text.h"

#include <cstring>

namespace vxio {

namespace {
constexpr const char* kTrimmed = " \t\r\n";
}

std::string trimText(const std::string& text) {
    const size_t first = text.find_first_not_of(kTrimmed);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(kTrimmed);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> splitText(const std::string& text, const std::string& separators) {
    std::vector<std::string> pieces;
    size_t start = text.find_first_not_of(separators);
    while (start != std::string::npos) {
        const size_t end = text.find_first_of(separators, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(separators, end);
    }
    return pieces;
}

std::string joinText(const std::vector<std::string>& pieces, const std::string& separator) {
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) joined += separator;
        joined += pieces[i];
    }
    return joined;
}

bool copyOut(const std::string& text, char* buffer, size_t* length) {
    if (length == nullptr) return false;
    // A missing buffer holds nothing, whatever capacity the caller claims.
    const size_t capacity = buffer != nullptr ? *length : 0;
    if (capacity < text.size() + 1) return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *length = text.size();
    return true;
}

bool copyOutReportingNeed(const std::string& text, char* buffer, size_t* length) {
    if (copyOut(text, buffer, length)) return true;
    if (length == nullptr) return false;
    if (buffer != nullptr && *length != 0) buffer[0] = '\0';
    *length = text.size();
    return false;
}

}  // namespace vxio
