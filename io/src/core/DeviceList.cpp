#include "core/DeviceList.h"

#include <string_view>

#include "core/OptionKeys.h"
#include "platform/Text.h"

namespace vxio {

namespace {

constexpr std::string_view kIncludePrefix = key::kIncludePrefix;

struct Escape {
    char plain;
    const char* escaped;
};

// '%' comes first so that the escapes written by the later rows stay intact.
constexpr Escape kEscapes[] = {{'%', "%25"}, {'\n', "%0A"}, {'|', "%7C"}, {'=', "%3D"}};

void appendPair(std::vector<std::string>& pairs, const std::string& key, const std::string& value) {
    pairs.push_back(key + "=" + escapeValue(value));
}

}  // namespace

std::string escapeValue(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value) {
        const char* replacement = nullptr;
        for (const Escape& escape : kEscapes) {
            if (escape.plain == c) replacement = escape.escaped;
        }
        if (replacement != nullptr) {
            escaped += replacement;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string unescapeValue(const std::string& value) {
    std::string plain;
    plain.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        bool replaced = false;
        if (value[i] == '%') {
            for (const Escape& escape : kEscapes) {
                if (value.compare(i, 3, escape.escaped) == 0) {
                    plain += escape.plain;
                    i += 2;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) plain += value[i];
    }
    return plain;
}

std::string writeDeviceList(const DeviceList& list, const Options& options) {
    std::vector<std::string> lines;
    if (options.hasKey(key::kOnlyLocator)) {
        for (const DeviceRecord& record : list) {
            const auto locator = record.find("locator");
            if (locator != record.end()) lines.push_back(locator->second);
        }
        return vxplatform::joinText(lines, "\n");
    }

    const bool all = options.hasKey(key::kIncludeAll);
    std::vector<std::string> selected;
    if (!all) {
        for (const auto& [key, value] : options.pairs()) {
            if (key.starts_with(kIncludePrefix)) selected.push_back(key.substr(kIncludePrefix.size()));
        }
    }
    for (const DeviceRecord& record : list) {
        std::vector<std::string> pairs;
        if (all) {
            for (const auto& [key, value] : record) appendPair(pairs, key, value);
        } else {
            for (const std::string& key : selected) {
                const auto property = record.find(key);
                if (property != record.end()) appendPair(pairs, key, property->second);
            }
        }
        if (!pairs.empty()) lines.push_back(vxplatform::joinText(pairs, "|"));
    }
    return vxplatform::joinText(lines, "\n");
}

}  // namespace vxio
