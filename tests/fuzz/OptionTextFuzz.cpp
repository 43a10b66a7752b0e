// Option texts and locators as callers pass them: the first line is taken as
// a locator, the whole input as option text. Values escaped for a device
// list read back unchanged, and dotted addresses format back to themselves.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "core/DeviceList.h"
#include "core/Locator.h"
#include "core/OptionKeys.h"
#include "core/Options.h"
#include "network/NetworkLocator.h"
#include "platform/Text.h"

using namespace vxio;

namespace {

constexpr const char* kNumericKeys[] = {key::kFindUsbVid, key::kFindProtocolId, key::kFindDeviceType,
                                        key::kDiscoveryTimeout, key::kUsbVid};

void checkEscapeRoundTrip(const std::string& value) {
    const std::string escaped = escapeValue(value);
    FUZZ_CHECK(escaped.find_first_of("\n|=") == std::string::npos);
    FUZZ_CHECK(unescapeValue(escaped) == value);
}

// A device record with the value under two keys, listed with every pair and
// read back the way a caller splits the list.
void checkListed(const std::string& value) {
    const DeviceList list{{{"device-sn", value}, {"info", value + "|="}}};
    const std::string text = writeDeviceList(list, parseOptions(key::kIncludeAll));
    FUZZ_CHECK(text.find('\n') == std::string::npos);
    const auto pairs = vxplatform::splitText(text, "|");
    FUZZ_CHECK(pairs.size() == 2);
    FUZZ_CHECK(pairs[0].rfind("device-sn=", 0) == 0 && pairs[1].rfind("info=", 0) == 0);
    FUZZ_CHECK(unescapeValue(pairs[0].substr(10)) == value);
    FUZZ_CHECK(unescapeValue(pairs[1].substr(5)) == value + "|=");
}

void checkAddress(const std::string& text) {
    const uint32_t address = parseIPv4(text);
    if (address != 0) FUZZ_CHECK(parseIPv4(formatIPv4(address)) == address);
}

void parseLocatorText(const std::string& locator, const std::string& options) {
    int type = -1;
    const VX_IO_Result result = locatorInterfaceType(locator, &type);
    const ParsedLocator parsed = parseLocator(locator);
    FUZZ_CHECK((result == VX_IO_OK) == (parsed.transport != nullptr));
    if (!parsed.transport) return;
    FUZZ_CHECK(type == parsed.transport->interfaceType);
    for (const auto& piece : parsed.pieces) {
        FUZZ_CHECK(!piece.empty() && piece.find(':') == std::string::npos);
        checkAddress(piece);
    }
    if (std::string(parsed.transport->kind) != "network") return;
    // A serial number resolves to a fixed device: no discovery here.
    const SerialResolver resolve = [](const std::string&, const std::string&, ResolvedDevice& device) {
        device = {0x0100007F, 2000};
        return VX_IO_OK;
    };
    std::string host;
    uint16_t port = 0;
    if (parseNetworkLocator(options, parsed.pieces, resolve, host, port) == VX_IO_OK)
        FUZZ_CHECK(!host.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string locator = text.substr(0, text.find('\n'));

    const Options options = parseOptions(text);
    for (const auto& [key, value] : options.pairs()) {
        FUZZ_CHECK(key.find('\n') == std::string::npos);
        checkEscapeRoundTrip(key);
        checkEscapeRoundTrip(value);
        checkListed(value);
    }
    for (const char* key : kNumericKeys) {
        try {
            (void)options.getUnsignedSet(key);
        } catch (const InvalidOptionValue&) {
        }
        (void)rawUnsigned(key, text, 7);
        (void)rawHas(key, text);
    }
    (void)options.hasOutputSelection();
    uint32_t number = 0;
    (void)parseUnsigned(text, &number);

    checkEscapeRoundTrip(text);
    (void)unescapeValue(text);
    parseLocatorText(locator, text);
    return 0;
}
