#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vxio {

// A value of a numeric set option that is not a number; callers give 4.
class InvalidOptionValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Parsed option text: (key, value) pairs in line order, duplicates kept.
class Options {
public:
    Options() = default;
    explicit Options(std::vector<std::pair<std::string, std::string>> pairs);

    const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

    bool hasKey(const std::string& key) const;
    std::string getText(const std::string& key, const std::string& defaultText) const;
    uint32_t getUnsigned(const std::string& key, uint32_t defaultValue) const;
    std::vector<std::string> getAll(const std::string& key) const;
    std::set<std::string> getTextSet(const std::string& key) const;
    // Throws InvalidOptionValue for a value that is not a number.
    std::set<uint32_t> getUnsignedSet(const std::string& key) const;
    // "only-locator" or any key beginning with "include-".
    bool hasOutputSelection() const;

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

Options parseOptions(const std::string& text);

// Lookups straight in the unparsed text, for the calls that read their
// options this way (short device lists, serial and network opens).
std::string rawText(const std::string& key, const std::string& optionText);
uint32_t rawUnsigned(const std::string& key, const std::string& optionText, uint32_t defaultValue);
bool rawHas(const std::string& key, const std::string& optionText);

// Unsigned decimal by the C library's rule (blanks, optional sign, digits);
// false when no digit starts the text or the number needs more than 32 bits.
bool parseUnsigned(const std::string& text, uint32_t* value);

}  // namespace vxio
