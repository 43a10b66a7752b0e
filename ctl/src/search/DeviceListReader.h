#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vxctl {

// One device of a device list text: its properties, key to value.
using DeviceRecord = std::map<std::string, std::string>;

// The records of a device list text, one per non-empty line: pieces
// "key=value" joined by "|", each value unescaped. A piece that is not
// exactly two non-empty parts is skipped; a key's first value counts.
std::vector<DeviceRecord> readDeviceList(std::string_view text);

// A value with its escapes undone: "%0A", "%7C", "%3D", then "%25", each
// matched exactly and in that order.
std::string decodeValue(std::string_view text);

}  // namespace vxctl
