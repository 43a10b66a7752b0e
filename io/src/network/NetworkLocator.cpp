#include "network/NetworkLocator.h"

#include <vector>

#include "core/OptionKeys.h"
#include "core/Options.h"
#include "platform/Ipv4.h"

namespace vxio {

namespace {

constexpr uint32_t kMaxPort = 65535;

// A written port by the rule of every unsigned option value; false when it
// is not a number or above 65535.
bool parsePortText(const std::string& text, uint32_t& value) {
    return parseUnsigned(text, &value) && value <= kMaxPort;
}

}  // namespace

uint32_t parseIPv4(const std::string& text) { return vxplatform::parseIpv4(text).value_or(0); }

std::string formatIPv4(uint32_t address) { return vxplatform::formatIpv4(address); }

VX_IO_Result parseNetworkLocator(const std::string& optionText,
                                 const std::vector<std::string>& pieces,
                                 const SerialResolver& resolve, std::string& host, uint16_t& port) {
    uint32_t portOption = 0;
    if (readRawUnsignedOption(optionText, key::kPort, &portOption) != VX_IO_OK) return VX_IO_INVALID_OPTION;

    if (pieces.empty()) return VX_IO_INVALID_LOCATOR;

    if (pieces[0] == "sn" && (pieces.size() == 2 || pieces.size() == 3)) {
        ResolvedDevice device;
        VX_IO_Result found = resolve ? resolve(pieces[1], optionText, device) : VX_IO_DEVICE_NOT_FOUND;
        if (found != VX_IO_OK) return found;
        uint32_t written = 0;
        if (pieces.size() == 3 && !parsePortText(pieces[2], written)) return VX_IO_INVALID_OPTION;
        host = formatIPv4(device.address);
        if (written != 0)
            port = static_cast<uint16_t>(written);
        else if (portOption != 0)
            port = static_cast<uint16_t>(portOption);
        else if (device.port != 0)
            port = device.port;
        else
            return VX_IO_INVALID_OPTION;
        return VX_IO_OK;
    }

    if (pieces.size() == 1) {
        if (portOption == 0) return VX_IO_INVALID_OPTION;
        host = pieces[0];
        port = static_cast<uint16_t>(portOption);
        return VX_IO_OK;
    }
    if (pieces.size() == 2) {
        uint32_t written = 0;
        if (!parsePortText(pieces[1], written)) return VX_IO_INVALID_OPTION;
        if (written == 0 && portOption == 0) return VX_IO_INVALID_OPTION;
        host = pieces[0];
        port = static_cast<uint16_t>(written != 0 ? written : portOption);
        return VX_IO_OK;
    }
    return VX_IO_INVALID_LOCATOR;
}

}  // namespace vxio
