#include "platform/SerialPortPath.h"

#include <vector>

#include "platform/Text.h"

namespace vxplatform {

std::string serialDevicePath(std::string_view portName) {
    if (!portName.empty() && portName.front() == '/') return std::string(portName);
    return "/dev/" + std::string(portName);
}

std::string serialPortPath(std::string_view locator) {
    const std::vector<std::string> pieces = splitFields(locator, ':');
    if (pieces.size() != 2 || pieces[0] != "serial" || pieces[1].empty()) return {};
    return serialDevicePath(pieces[1]);
}

}  // namespace vxplatform
