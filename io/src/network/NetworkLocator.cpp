#include "network/NetworkLocator.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "core/OptionKeys.h"
#include "core/Options.h"
#include "core/Text.h"
#include "discovery/Address.h"

namespace vxio {

namespace {

constexpr uint32_t kMaxPort = 65535;

// A written port by the rule of every unsigned option value; false when it
// is not a number or above 65535.
bool parsePortText(const std::string& text, uint32_t& value) {
    return parseUnsigned(text, &value) && value <= kMaxPort;
}

}  // namespace

uint32_t parseIPv4(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        pieces.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (pieces.size() != 4) return 0;
    uint8_t bytes[4];
    for (size_t i = 0; i < 4; ++i) {
        const std::string& piece = pieces[i];
        if (piece.empty()) return 0;
        unsigned value = 0;
        for (char c : piece) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
            value = value * 10 + static_cast<unsigned>(c - '0');
            // Leading zeros are allowed however many there are.
            if (value > 255) return 0;
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    uint32_t address;
    static_assert(sizeof address == sizeof bytes);
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

std::string formatIPv4(uint32_t address) { return veltraxnd::addressText(veltraxnd::fromNetworkOrder(address)); }

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
