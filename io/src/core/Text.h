#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vxio {

// Blanks, tabs, CR and LF removed at both ends.
std::string trimText(const std::string& text);

// Maximal runs of characters that are not in `separators`; never empty pieces.
std::vector<std::string> splitText(const std::string& text, const std::string& separators);

std::string joinText(const std::vector<std::string>& pieces, const std::string& separator);

// Copies `text` with its NUL when *length (the capacity) is at least its
// length + 1 and sets *length to the text length; otherwise returns false
// and leaves buffer and *length alone.
bool copyOut(const std::string& text, char* buffer, size_t* length);

// As copyOut, but a refusal sets *length to the needed length and leaves the
// empty text in a buffer of nonzero capacity (short lists, USB properties).
bool copyOutReportingNeed(const std::string& text, char* buffer, size_t* length);

}  // namespace vxio
