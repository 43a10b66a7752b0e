#pragma once

// The option keys of the library, and the bounds and defaults of those
// whose values are checked in one place for every transport.

#include <cstdint>
#include <string>
#include <string_view>

#include "VeltraxIO.h"
#include "core/Options.h"

namespace vxio::key {

// Output selection of device lists.
inline constexpr char kOnlyLocator[] = "only-locator";
inline constexpr char kIncludeAll[] = "include-all";
inline constexpr char kIncludePrefix[] = "include-";

// Enumeration.
inline constexpr char kIfaceType[] = "iface-type";
inline constexpr char kForceRescan[] = "force-rescan";
inline constexpr char kLocatorFormatUsb[] = "locator-format-usb";
inline constexpr char kFindUsbProductName[] = "find-usb-product-name";
inline constexpr char kFindUsbVid[] = "find-usb-vid";
inline constexpr char kFindUsbPid[] = "find-usb-pid";
inline constexpr char kFindOnlyAvailable[] = "find-only-available";
inline constexpr char kFindProtocolId[] = "find-protocol-id";
inline constexpr char kFindDeviceSn[] = "find-device-sn";
inline constexpr char kFindDeviceType[] = "find-device-type";
inline constexpr char kDiscoveryTimeout[] = "discovery-timeout";

// Short USB list (read raw).
inline constexpr char kProductName[] = "product-name";
inline constexpr char kUsbVid[] = "usb-vid";
inline constexpr char kUsbPid[] = "usb-pid";
inline constexpr char kCanonicalLocator[] = "canonical-locator";
inline constexpr char kIncludeSn[] = "include-sn";
inline constexpr char kIncludeId[] = "include-id";
inline constexpr char kIncludeDs[] = "include-ds";
inline constexpr char kIncludeUsbVid[] = "include-usb-vid";
inline constexpr char kIncludeUsbPid[] = "include-usb-pid";

// Opening devices.
inline constexpr char kRxTimeout[] = "rx-timeout";
inline constexpr char kTxTimeout[] = "tx-timeout";
inline constexpr char kFtdiLatency[] = "ftdi-latency";
inline constexpr char kHealthCheck[] = "health-check";
inline constexpr char kBaudrate[] = "baudrate";
inline constexpr char kFtdiFlowControl[] = "ftdi-flow-control";
inline constexpr char kXonXoff[] = "xonxoff";
inline constexpr char kConnectTimeout[] = "connect-timeout";
inline constexpr char kPort[] = "port";
inline constexpr char kIface[] = "iface";

// Global options.
inline constexpr char kLocatorFormatNetwork[] = "locator-format-network";
inline constexpr char kDiscoveryIface[] = "discovery-iface";

}  // namespace vxio::key

namespace vxio {

// A numeric option: its default and the values it accepts. `zeroAllowed`
// admits 0 below `lowest` (0 switches the health check off).
struct UnsignedOptionRule {
    std::string_view key;
    uint32_t defaultValue;
    uint32_t lowest;
    uint32_t highest;
    bool zeroAllowed;
};

// An option that takes one of a few words. An empty default means the
// caller decides when the key is absent.
struct ChoiceOptionRule {
    std::string_view key;
    std::string_view defaultValue;
    std::string_view choices[3];
};

// Null for a key without a rule.
const UnsignedOptionRule* findUnsignedOptionRule(std::string_view key);
const ChoiceOptionRule* findChoiceOptionRule(std::string_view key);

// Value of a numeric option (the first pair, or the rule's default when
// absent or not a number); 4 when out of the rule's bounds.
VX_IO_Result readUnsignedOption(const Options& options, std::string_view key, uint32_t* value);
// The same for an option read raw from the unparsed text.
VX_IO_Result readRawUnsignedOption(const std::string& optionText, std::string_view key,
                                   uint32_t* value);
// Value of a word option with its default; 4 for a word the rule lacks.
VX_IO_Result readChoiceOption(const Options& options, std::string_view key, std::string* value);

}  // namespace vxio
