#include "platform/CopyOut.h"

#include <cstring>

namespace vxplatform {

bool copyOut(std::string_view text, char* buffer, size_t* length) {
    if (length == nullptr) return false;
    // A missing buffer holds nothing, whatever capacity the caller claims.
    const size_t capacity = buffer != nullptr ? *length : 0;
    if (capacity < text.size() + 1) return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *length = text.size();
    return true;
}

bool copyOutReportingNeed(std::string_view text, char* buffer, size_t* length) {
    if (copyOut(text, buffer, length)) return true;
    if (length == nullptr) return false;
    if (buffer != nullptr && *length != 0) buffer[0] = '\0';
    *length = text.size();
    return false;
}

}  // namespace vxplatform
