#pragma once

// How the value-returning property calls hand their answer to the caller.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "VeltraxCTL.h"
#include "api/ExportFrame.h"

namespace vxctl::api {

// Copies the values when they fit. Without a size at most one value is
// taken; with one, the number received is written back first, also when it
// does not fit. A failed operation's result passes unchanged.
template <typename T>
VX_CTL_Result copyValues(VX_CTL_Result result, const std::vector<T>& list, T* out, size_t* ioSize,
                         CallRecord& record) {
    if (result != VX_CTL_OK) return result;
    if (!ioSize) {
        if (list.size() > 1) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    } else {
        const size_t capacity = *ioSize;
        *ioSize = list.size();
        if (capacity < list.size()) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    }
    std::copy(list.begin(), list.end(), out);
    record.received = list.size();
    return VX_CTL_OK;
}

// Copies the text with its NUL when the capacity holds both; the length
// without the NUL is written back first.
inline VX_CTL_Result copyText(VX_CTL_Result result, const std::string& text, char* out, size_t* ioSize) {
    if (result != VX_CTL_OK) return result;
    if (!ioSize) return VX_CTL_INVALID_PARAMETER;
    const size_t capacity = *ioSize;
    *ioSize = text.size();
    if (capacity < text.size() + 1) return VX_CTL_INVALID_QUERYBUFFER_SIZE;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return VX_CTL_OK;
}

}  // namespace vxctl::api
