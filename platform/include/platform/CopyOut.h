#pragma once

#include <cstddef>
#include <string_view>

namespace vxplatform {

// Copies `text` with its NUL when *length (the capacity) is at least its
// length + 1 and sets *length to the text length; otherwise returns false
// and leaves buffer and *length alone. A null buffer holds nothing.
bool copyOut(std::string_view text, char* buffer, size_t* length);

// As copyOut, but a refusal sets *length to the needed length and leaves the
// empty text in a buffer of nonzero capacity.
bool copyOutReportingNeed(std::string_view text, char* buffer, size_t* length);

}  // namespace vxplatform
