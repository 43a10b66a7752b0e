#pragma once

#include <string>
#include <string_view>

namespace vxplatform {

// The device path of a serial port name: a path ("/dev/ttyUSB0") as it
// stands, a bare name ("ttyUSB0") below /dev.
std::string serialDevicePath(std::string_view portName);

// The device path a "serial:" locator names, by the rule above. Empty unless
// the locator is exactly "serial", a colon and a non-empty port name.
std::string serialPortPath(std::string_view locator);

}  // namespace vxplatform
