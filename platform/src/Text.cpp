#include "platform/Text.h"

namespace vxplatform {

namespace {
constexpr std::string_view kBlank = " \t\r\n";
}

std::string trimText(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return std::string();
    const size_t last = text.find_last_not_of(kBlank);
    return std::string(text.substr(first, last - first + 1));
}

std::string trimRight(std::string_view text) {
    const size_t last = text.find_last_not_of(kBlank);
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::vector<std::string> splitText(std::string_view text, std::string_view separators) {
    std::vector<std::string> pieces;
    size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        const size_t end = text.find_first_of(separators, start);
        pieces.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = text.find_first_not_of(separators, end);
    }
    return pieces;
}

std::vector<std::string> splitFields(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        pieces.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

std::string joinText(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) joined += separator;
        joined += pieces[i];
    }
    return joined;
}

}  // namespace vxplatform
