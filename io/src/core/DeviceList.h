#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/Options.h"

namespace vxio {

// One found device or interface: property key -> text value.
using DeviceRecord = std::map<std::string, std::string>;
using DeviceList = std::vector<DeviceRecord>;

std::string escapeValue(const std::string& value);
std::string unescapeValue(const std::string& value);

// Device list text under the output selection of `options`.
std::string writeDeviceList(const DeviceList& list, const Options& options);

}  // namespace vxio
