#include "core/OptionKeys.h"

#include <limits>

namespace vxio {

namespace {

constexpr uint32_t kNoLimit = std::numeric_limits<uint32_t>::max();

constexpr UnsignedOptionRule kUnsignedRules[] = {
    {key::kDiscoveryTimeout, 100, 0, kNoLimit, true},
    {key::kRxTimeout, 1000, 0, kNoLimit, true},
    {key::kTxTimeout, 1000, 0, kNoLimit, true},
    {key::kFtdiLatency, 2, 1, 255, false},
    {key::kHealthCheck, 250, 50, kNoLimit, true},
    // Required wherever it is read: the serial open has no default and a
    // USB open that names it must give a real rate.
    {key::kBaudrate, 0, 1, kNoLimit, false},
    {key::kXonXoff, 0, 0, kNoLimit, true},
    {key::kConnectTimeout, 5000, 0, kNoLimit, true},
    {key::kPort, 0, 0, 65535, true},
};

constexpr ChoiceOptionRule kChoiceRules[] = {
    {key::kLocatorFormatUsb, "sn", {"sn", "id", {}}},
    {key::kLocatorFormatNetwork, "sn", {"sn", "host", {}}},
    {key::kFtdiFlowControl, {}, {"none", "rtscts", "dtrdsr"}},
};

VX_IO_Result checkBounds(const UnsignedOptionRule& rule, uint32_t value) {
    if (value == 0 && rule.zeroAllowed) return VX_IO_OK;
    return value >= rule.lowest && value <= rule.highest ? VX_IO_OK : VX_IO_INVALID_OPTION;
}

}  // namespace

const UnsignedOptionRule* findUnsignedOptionRule(std::string_view key) {
    for (const UnsignedOptionRule& rule : kUnsignedRules) {
        if (rule.key == key) return &rule;
    }
    return nullptr;
}

const ChoiceOptionRule* findChoiceOptionRule(std::string_view key) {
    for (const ChoiceOptionRule& rule : kChoiceRules) {
        if (rule.key == key) return &rule;
    }
    return nullptr;
}

VX_IO_Result readUnsignedOption(const Options& options, std::string_view key, uint32_t* value) {
    const UnsignedOptionRule* rule = findUnsignedOptionRule(key);
    if (rule == nullptr) return VX_IO_INVALID_OPTION;
    *value = options.getUnsigned(std::string(key), rule->defaultValue);
    return checkBounds(*rule, *value);
}

VX_IO_Result readRawUnsignedOption(const std::string& optionText, std::string_view key,
                                   uint32_t* value) {
    const UnsignedOptionRule* rule = findUnsignedOptionRule(key);
    if (rule == nullptr) return VX_IO_INVALID_OPTION;
    *value = rawUnsigned(std::string(key), optionText, rule->defaultValue);
    return checkBounds(*rule, *value);
}

VX_IO_Result readChoiceOption(const Options& options, std::string_view key, std::string* value) {
    const ChoiceOptionRule* rule = findChoiceOptionRule(key);
    if (rule == nullptr) return VX_IO_INVALID_OPTION;
    *value = options.getText(std::string(key), std::string(rule->defaultValue));
    if (!options.hasKey(std::string(key))) return VX_IO_OK;
    for (std::string_view choice : rule->choices) {
        if (!choice.empty() && choice == *value) return VX_IO_OK;
    }
    return VX_IO_INVALID_OPTION;
}

}  // namespace vxio
