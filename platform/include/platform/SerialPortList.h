#pragma once

#include <string>
#include <vector>

namespace vxplatform {

// The serial ports of the machine: every terminal that has a device behind
// it, by full device path ("/dev/ttyUSB0"), in natural order (ttyS2 before
// ttyS10). Ports the UART driver registered without finding a UART are left
// out.
std::vector<std::string> listSerialPorts();

// The same scan over another tree: `ttyClassDir` in place of
// /sys/class/tty and `deviceDir` in place of /dev. For tests.
std::vector<std::string> listSerialPorts(const std::string& ttyClassDir,
                                         const std::string& deviceDir);

// Natural order: digit runs compare by their numeric value.
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace vxplatform
