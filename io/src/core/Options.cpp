#include "core/Options.h"

#include <cctype>
#include <limits>

#include "core/OptionKeys.h"
#include "platform/Text.h"

namespace vxio {

namespace {

enum class Overflow { Refuse, Saturate };

// The C library's unsigned decimal rule: leading white space, an optional
// sign, then digits up to the first non-digit; a minus negates modulo 2^32.
bool convertUnsigned(const std::string& text, Overflow overflow, uint32_t* value) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    uint64_t number = 0;
    bool tooLarge = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (!tooLarge) {
            number = number * 10 + static_cast<uint64_t>(text[i] - '0');
            tooLarge = number > std::numeric_limits<uint32_t>::max();
        }
    }
    if (tooLarge) {
        if (overflow == Overflow::Refuse) return false;
        *value = std::numeric_limits<uint32_t>::max();
        return true;
    }
    const uint32_t magnitude = static_cast<uint32_t>(number);
    *value = negative ? 0u - magnitude : magnitude;
    return true;
}

}  // namespace

Options::Options(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}

bool Options::hasKey(const std::string& key) const {
    for (const auto& pair : pairs_) {
        if (pair.first == key) return true;
    }
    return false;
}

std::string Options::getText(const std::string& key, const std::string& defaultText) const {
    for (const auto& pair : pairs_) {
        if (pair.first == key) return pair.second;
    }
    return defaultText;
}

uint32_t Options::getUnsigned(const std::string& key, uint32_t defaultValue) const {
    for (const auto& pair : pairs_) {
        if (pair.first != key) continue;
        uint32_t value = 0;
        return parseUnsigned(pair.second, &value) ? value : defaultValue;
    }
    return defaultValue;
}

std::vector<std::string> Options::getAll(const std::string& key) const {
    std::vector<std::string> values;
    for (const auto& pair : pairs_) {
        if (pair.first == key) values.push_back(pair.second);
    }
    return values;
}

std::set<std::string> Options::getTextSet(const std::string& key) const {
    std::set<std::string> values;
    for (const auto& pair : pairs_) {
        if (pair.first == key) values.insert(pair.second);
    }
    return values;
}

std::set<uint32_t> Options::getUnsignedSet(const std::string& key) const {
    std::set<uint32_t> values;
    for (const auto& pair : pairs_) {
        if (pair.first != key) continue;
        uint32_t value = 0;
        if (!parseUnsigned(pair.second, &value)) {
            throw InvalidOptionValue("option " + key + " is not a number: " + pair.second);
        }
        values.insert(value);
    }
    return values;
}

bool Options::hasOutputSelection() const {
    for (const auto& pair : pairs_) {
        if (pair.first == key::kOnlyLocator || pair.first.starts_with(key::kIncludePrefix)) {
            return true;
        }
    }
    return false;
}

Options parseOptions(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& rawLine : vxplatform::splitText(text, "\n")) {
        const std::string line = vxplatform::trimText(rawLine);
        if (line.empty()) continue;
        // Only a blank separates; further blanks belong to the value.
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) {
            pairs.emplace_back(line, std::string());
        } else {
            pairs.emplace_back(line.substr(0, blank), line.substr(blank + 1));
        }
    }
    return Options(std::move(pairs));
}

std::string rawText(const std::string& key, const std::string& optionText) {
    const size_t at = optionText.find(key);
    if (at == std::string::npos) return std::string();
    // The search for the blank does not stop at the line end, so a key
    // written without a value takes the value of a later line.
    const size_t blank = optionText.find(' ', at);
    if (blank == std::string::npos) return std::string();
    const size_t start = optionText.find_first_not_of(' ', blank);
    if (start == std::string::npos) return std::string();
    const size_t end = optionText.find_first_of("\r\n", start);
    return optionText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

uint32_t rawUnsigned(const std::string& key, const std::string& optionText, uint32_t defaultValue) {
    const std::string value = rawText(key, optionText);
    if (value.empty()) return defaultValue;
    uint32_t number = 0;
    // Not a number reads as 0; beyond 32 bits reads as the largest value.
    return convertUnsigned(value, Overflow::Saturate, &number) ? number : 0;
}

bool rawHas(const std::string& key, const std::string& optionText) {
    return optionText.find(key) != std::string::npos;
}

bool parseUnsigned(const std::string& text, uint32_t* value) {
    return convertUnsigned(text, Overflow::Refuse, value);
}

}  // namespace vxio
