#include "core/Locator.h"

#include <string_view>

#include "core/Transports.h"
#include "platform/Text.h"

namespace vxio {

namespace {

// The row of the text before the first colon, and where that colon is.
const Transport* kindOf(const std::string& locator, size_t* colon) {
    *colon = locator.find(':');
    if (*colon == std::string::npos) return nullptr;
    return transportOfKind(std::string_view(locator).substr(0, *colon));
}

}  // namespace

ParsedLocator parseLocator(const std::string& locator) {
    ParsedLocator parsed;
    size_t colon = 0;
    parsed.transport = kindOf(locator, &colon);
    if (parsed.transport == nullptr) return parsed;
    parsed.rest = locator.substr(colon + 1);
    parsed.pieces = vxplatform::splitText(parsed.rest, ":");
    return parsed;
}

DeviceParams::DeviceParams(const char* locator, const char* options, void* userContext,
                           VX_IO_ReceiveCallback receive, VX_IO_ErrorCallback error)
    : locator(locator),
      options(options),
      userContext(userContext),
      receive(receive),
      error(error),
      parsed(locator != nullptr ? parseLocator(locator) : ParsedLocator()) {}

VX_IO_Result locatorInterfaceType(const std::string& locator, int* type) {
    size_t colon = 0;
    const Transport* transport = kindOf(locator, &colon);
    *type = transport != nullptr ? transport->interfaceType : VX_IO_IFACE_UNKNOWN;
    return transport != nullptr ? VX_IO_OK : VX_IO_INVALID_LOCATOR;
}

}  // namespace vxio
