#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vxplatform {

// COM port names ("COM3") for programs that open serial ports by them. A
// name is an entry of the COM-name folder, normally a link to a device
// ("COM3" -> /dev/ttyUSB0); a name without an entry stands for the
// platform's own numbering, COM<n> for /dev/ttyS<n-1>.

// $XDG_CONFIG_HOME/Veltrax/serial, or ~/.config/Veltrax/serial when that
// variable is unset, empty or not an absolute path.
std::string comPortFolder();

// The device path of `name`: its entry in `folder` when there is one (even a
// link to nothing, which then fails to open), else /dev/ttyS<n-1> for
// "COM<n>" with n from 1. Empty for any other name.
std::string comPortPath(std::string_view name, const std::string& folder);
std::string comPortPath(std::string_view name);

// Each device path of `devicePaths`, in order, named by the COM name that
// reaches it (the first in natural order when several do), or left as its
// path when none does.
std::vector<std::string> comPortNames(const std::vector<std::string>& devicePaths,
                                      const std::string& folder);
std::vector<std::string> comPortNames(const std::vector<std::string>& devicePaths);

}  // namespace vxplatform
