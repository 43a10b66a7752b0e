#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vxplatform {

// Blanks, tabs, CR and LF removed at both ends.
std::string trimText(std::string_view text);

// The same characters removed at the end only.
std::string trimRight(std::string_view text);

// Maximal runs of characters that are not in `separators`; never empty pieces.
std::vector<std::string> splitText(std::string_view text, std::string_view separators);

// The pieces between every `separator`, empty ones kept: "a::b" gives three.
std::vector<std::string> splitFields(std::string_view text, char separator);

std::string joinText(const std::vector<std::string>& pieces, std::string_view separator);

}  // namespace vxplatform
